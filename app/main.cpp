// The program entry: one player per user, the regional format check, then the four windows
// that live until the program ends, and the message loop.
#include "app/about.h"
#include "app/playerstate.h"
#include "app/sonarisapplication.h"
#include "app/streamattempt.h"
#include "app/toolkitlanguage.h"
#include "app/usom.h"
#include "audio/soundlib/realsoundlib.h"
#include "schedule/ucfg.h"
#include "system/allocator.h"
#include "system/messageboxes.h"
#include "system/regional.h"
#include "system/sessionend.h"
#include "system/singleinstance.h"
#include "ui/uvolume.h"

#include <memory>

int main(int argc, char** argv) {
    KeepFreedMemoryReturnable();
    // The toolkit must exist before the first message box; no window is made before the checks.
    SonarisApplication app(argc, argv);
    InstallToolkitTranslations(app);

    SingleInstance instance;
    if (!instance.Acquire()) {
        MessageBoxes().Message(QStringLiteral("SONARIS já está aberto. Verifique !"), QStringLiteral("SONARIS já aberto"));
        return 0;
    }
    if (!CheckRegionalFormats()) return 0;

    // The application title captions the plain message boxes. It is the application name
    // rather than Qt's display name, which X11 would append to every window's caption.
    QApplication::setApplicationName(QStringLiteral("Vendrasil Sonaris-V1 - DEMONSTRATIVO"));

    auto lib = std::make_unique<soundlib::RealSoundLib>();
    int code = 0;
    {
        Tfrm_sonarisv1AAC mainWindow(*lib);
        Tform_about about;
        Tform_volume volume(*lib, PlayerState.DeviceIndex, PlayerState.NormalVolume, PlayerState.StreamUrl);
        Tfrm_cfg cfg;
        mainWindow.SetWindows(&about, &volume, &cfg);
        EndWithMainWindow(mainWindow);
        OnSessionEnd(&mainWindow, [&mainWindow] { mainWindow.FimDaSessao(); });
        mainWindow.show();
        code = app.exec();
    }
    // A connection attempt abandoned at the end may still be opening inside the library on its
    // own thread: the library then goes with the process instead of being destroyed under it.
    if (TStreamAttempt::OpensOut() > 0) static_cast<void>(lib.release());
    return code;
}
