// The sound output goes away while the stream plays and comes back as another device: one
// history line each way, the status line while it is away, the run's latest status given back.
#include "ui_usom.h"
#include "controllerfixture.h"
#include "ui/uvolume.h"

TEST_F(ControllerFixture, LostOutputIsToldOnceAndItsReturnGivesTheStatusBack) {
    ActivateAndConnect();
    ASSERT_NE(WebChannel(), nullptr);
    w->ui->Label10->setText("Conexão Estabilizada...");
    ClearHistory();

    lib.LoseOutput(1);
    w->Timer_sempreTimer();
    w->Timer_sempreTimer();
    EXPECT_EQ(History(), QStringList{"SAÍDA DE ÁUDIO PERDIDA"});
    EXPECT_EQ(w->ui->Label10->text(), "Saída de Áudio Indisponível - Aguardando Dispositivo...");
    EXPECT_EQ(WebChannel()->active, soundlib::BASS_ACTIVE_PLAYING);  // the run goes on: the channel waits
    w->ui->Label10->setText("PRONTO...Aguardando Servidor...");  // the monitor's word meanwhile
    w->Timer_sempreTimer();
    EXPECT_EQ(w->ui->Label10->text(), "Saída de Áudio Indisponível - Aguardando Dispositivo...");

    lib.RestoreOutput(1, "Alto-falantes USB");
    w->Timer_sempreTimer();
    w->Timer_sempreTimer();
    EXPECT_EQ(History(), (QStringList{"SAÍDA DE ÁUDIO PERDIDA", "SAÍDA DE ÁUDIO RESTABELECIDA: Alto-falantes USB"}));
    EXPECT_EQ(w->ui->Label10->text(), "PRONTO...Aguardando Servidor...");
    EXPECT_EQ(WebChannel()->active, soundlib::BASS_ACTIVE_PLAYING);
}

// The always-running timer's thread wakes the window only for a tick that has something to set:
// a lamp behind its player, the output's loss and return, the status line while it is away.
TEST_F(ControllerFixture, AlwaysRunningTimerSkipsOnlyTicksThatWouldSetNothing) {
    lib.countOutputChanges = true;
    ActivateAndConnect();
    w->Timer_sempreTimer();
    EXPECT_TRUE(w->ui->MMLED1->Lit());
    EXPECT_FALSE(w->SempreDue());

    lib.LoseOutput(1);
    EXPECT_TRUE(w->SempreDue());
    w->Timer_sempreTimer();
    EXPECT_EQ(History().back(), "SAÍDA DE ÁUDIO PERDIDA");
    EXPECT_TRUE(w->SempreDue());
    lib.RestoreOutput(1, "Alto-falantes USB");
    w->Timer_sempreTimer();
    EXPECT_EQ(History().back(), "SAÍDA DE ÁUDIO RESTABELECIDA: Alto-falantes USB");
    EXPECT_FALSE(w->SempreDue());

    w->WebPlayer->Stop();
    EXPECT_TRUE(w->SempreDue());
    w->Timer_sempreTimer();
    EXPECT_FALSE(w->ui->MMLED1->Lit());
    EXPECT_FALSE(w->SempreDue());
}

class MissingDeviceTest : public WindowFixture {};

TEST_F(MissingDeviceTest, ADeviceNumberThatNamesNoDeviceOpensTheDefaultOutputAndSaysSo) {
    WriteFile("SERVER.INI", {"DEVICE=3", "INDEX_SERVER=0", "INDEX_GENERO=0"});
    lib.deviceDescriptions[2] = "HDMI";
    lib.defaultDevice = 2;
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(w.WebPlayer->Device, 2);
    EXPECT_EQ(w.LocalPlayer->Device, 2);
    EXPECT_EQ(PlayerState.DeviceIndex, 3);  // kept for the day the device is back
    EXPECT_TRUE(w.ui->Memo1->toPlainText().endsWith("DISPOSITIVO DE ÁUDIO 3 AUSENTE - USANDO SAÍDA PADRÃO"));
    EXPECT_TRUE(boxes.boxes.empty());
}

// A damaged DEVICE= names no device either: the program's windows start on the default output
// and say so in the history, with no box to hold the start (the device dialog's player
// included, which starts with them).
TEST_F(MissingDeviceTest, ADeviceValueThatIsZeroNegativeOrNoNumberOpensTheDefaultOutputAndSaysSo) {
    lib.deviceDescriptions[2] = "HDMI";
    lib.defaultDevice = 2;
    for (const QString value : {"0", "-5", "x"}) {
        SCOPED_TRACE(value.toStdString());
        WriteFile("SERVER.INI", {"DEVICE=" + value, "INDEX_SERVER=0", "INDEX_GENERO=0"});
        Tfrm_sonarisv1AAC& w = Create();
        Tform_volume volume(lib, PlayerState.DeviceIndex, PlayerState.NormalVolume, PlayerState.StreamUrl);
        EXPECT_EQ(w.WebPlayer->Device, 2);
        EXPECT_EQ(w.LocalPlayer->Device, 2);
        EXPECT_TRUE(w.ui->Memo1->toPlainText().endsWith("DISPOSITIVO DE ÁUDIO " + value + " AUSENTE - USANDO SAÍDA PADRÃO"));
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(" | ").toStdString();
        window.reset();
        TZorvanBass::ResetProgramWideState();
        lib.initialisedDevices.clear();
        boxes.Clear();
    }
}

// At a logon the session's sound server may come up after the player: the library keeps the
// device and opens it later. That is the output's loss and return, not a failed start.
TEST_F(MissingDeviceTest, ADeviceWaitingForItsOutputAtTheStartIsNoFailureAndItsArrivalIsTold) {
    lib.outputComesLater = {1};
    Tfrm_sonarisv1AAC& w = Create();
    Tform_volume volume(lib, PlayerState.DeviceIndex, PlayerState.NormalVolume, PlayerState.StreamUrl);
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(" | ").toStdString();
    EXPECT_EQ(lib.CountCalls("BASS_Init "), 1);
    w.ui->Memo1->clear();
    w.Timer_sempreTimer();
    EXPECT_EQ(w.ui->Memo1->toPlainText().section(" - ", 1), "SAÍDA DE ÁUDIO PERDIDA");
    EXPECT_EQ(w.ui->Label10->text(), "Saída de Áudio Indisponível - Aguardando Dispositivo...");

    lib.RestoreOutput(1, "Null Output");
    w.Timer_sempreTimer();
    EXPECT_TRUE(w.ui->Memo1->toPlainText().endsWith(" - SAÍDA DE ÁUDIO RESTABELECIDA: Null Output"));
}
