// The main window's creation, first show and activation, the station settings, the wiring of
// widgets, timers, keys, menus and the tray icon to their handlers, and the ways out.
#include "app/usom.h"

#include "app/about.h"
#include "app/sonarisapplication.h"
#include "app/sonarisicon.h"
#include "app/startupfiles.h"
#include "app/stationfile.h"
#include "app/windowlook.h"
#include "audio/uzorvanbass.h"
#include "loudness/loudness.h"
#include "schedule/ucfg.h"
#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "ui/uvolume.h"
#include "ui_usom.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QShowEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

#include <exception>

namespace {
const QString kCaption = QStringLiteral("Vendrasil Sonaris-V1-DEMONSTRATIVO");
const QString kStationLabel = QStringLiteral("SONARIS-V1 DEMONSTRATIVO");
const QString kStationPort = QStringLiteral("9500");
const QString kTrayHint = QStringLiteral("Vendrasil Sonaris");

}  // namespace

Tfrm_sonarisv1AAC::Tfrm_sonarisv1AAC(soundlib::ISoundLib& lib, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::Tfrm_sonarisv1AAC), lib_(lib) {
    ui->setupUi(this);
    SetUpWindow(*this);
    Run = new TDailyRun(*this);
    Connection = new TConnection(*this);
    Local = new TLocalPlay(*this);
    Fleet = new TFleetLink(*this);
    Timer_Geral = Run->Timer_Geral;
    Timer_sempre = Run->Timer_sempre;
    timer_meter = Connection->timer_meter;
    timer_DiminuirVolume = Connection->timer_DiminuirVolume;
    timer_aumentarvolume = Connection->timer_aumentarvolume;
    Timer_abertura = new TThreadedTimer(this);
    Timer_abertura->SetInterval(3000);
    Timer_abertura->OnTimer = [this](TThreadedTimer*) { Timer_aberturaTimer(); };
    SetUpMenus(*this);
    ConnectButtons(*this);

    // Present from the start, but deaf to the mouse (no menu, no double-click) until the
    // window's first activation.
    VrTrayIcon1 = new QSystemTrayIcon(SonarisIcon(), this);
    VrTrayIcon1->setToolTip(kTrayHint);
    connect(VrTrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (activateHandled_ && reason == QSystemTrayIcon::DoubleClick) VrTrayIcon1DblClick();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) VrTrayIcon1->show();

    // Key preview and the window-wide context menu see the events of every child first.
    qApp->installEventFilter(this);
    FormCreate();
    // The only timer running from the start.
    Timer_sempre->SetEnabled(true);
}

Tfrm_sonarisv1AAC::~Tfrm_sonarisv1AAC() {
    qApp->removeEventFilter(this);
    Connection->Abandon();  // nothing of the attempt may reach the players being deleted
    Fleet->Stop();          // the offline state, while the players still answer nothing
    // The timers and the players go before the widgets that their handlers write to.
    delete Run->Timer_sempre;
    delete Timer_abertura;
    delete Connection->timer_meter;
    Run->Timer_sempre = Timer_sempre = Timer_abertura = Connection->timer_meter = timer_meter = nullptr;
    Timer_Geral->stop();
    timer_DiminuirVolume->stop();
    timer_aumentarvolume->stop();
    for (TZorvanBass** player : {&WebPlayer, &LocalPlayer}) {
        if (*player) (*player)->OnStop = nullptr;
        delete *player;
        *player = nullptr;
    }
    delete VrTrayIcon1;
    VrTrayIcon1 = nullptr;
    delete ui;
    ui = nullptr;
}

void Tfrm_sonarisv1AAC::SetWindows(Tform_about* about, Tform_volume* volume, Tfrm_cfg* cfg) {
    AboutBox = about;
    VolumeDialog = volume;
    ScheduleEditor = cfg;
    if (volume) volume->OnSaved = [this] { Fleet->AlteradaNaLoja(); };
    if (cfg) cfg->OnSaved = [this] { Fleet->AlteradaNaLoja(); };
}

// --- creation ------------------------------------------------------------------------------

void Tfrm_sonarisv1AAC::FormCreate() {
    const QString folder = ProgramFolder();
    if (QFileInfo::exists(folder + QStringLiteral("DATA.INI")))
        UseUserProgramFormats();
    else
        UseFixedProgramFormats();

    PlayerState.DeviceIndex = 1;
    PlayerState.WebError = -1;
    PlayerState.StreamUrl.clear();
    PlayerState.BufferMark = 0;
    Run->ConnectTicks = 60;
    Local->FlushCount = 0;

    MoveClienteIni(folder);

    const ServerSettings server = ReadServerIni(folder);
    GenreIndex = server.GenreIndex;
    PlayerState.DeviceIndex = server.DeviceIndex;

    Run->Atualiza_whoje();

    PlayerState.NormalVolume = ReadNormalVolume(folder);

    const auto handle = reinterpret_cast<void*>(winId());
    WebPlayer = new TZorvanBass(lib_, this);
    WebPlayer->OnStop = [this](TZorvanBass* sender) { Connection->webStop(sender); };
    // SERVER.INI keeps the device as a place in the list of the day it was chosen; a device
    // unplugged since must not leave the shop silent. The stored number stays for its return.
    const int device = PlayerDevice(WebPlayer, server.DeviceIsNumber);
    WebPlayer->InitDevice(device, handle);
    WebPlayer->BufferLength = 3000;
    WebPlayer->UseAac = 1;

    LocalPlayer = new TZorvanBass(lib_, this);
    LocalPlayer->OnStop = [this](TZorvanBass* sender) { Local->StopMusica(sender); };
    LocalPlayer->InitDevice(device, handle);
    LocalPlayer->BufferLength = 3000;

    setWindowTitle(kCaption);

    QDir().mkpath(folder + QStringLiteral("MUSICAS"));
    QDir().mkpath(folder + QStringLiteral("HISTORICO"));
    PlayerState.HistoryDir = folder + QStringLiteral("HISTORICO/");
    if (!server.DeviceIsNumber || device != PlayerState.DeviceIndex)
        Salva_Historico(QStringLiteral("DISPOSITIVO DE ÁUDIO %1 AUSENTE - USANDO SAÍDA PADRÃO")
                            .arg(server.DeviceIsNumber ? QString::number(PlayerState.DeviceIndex) : server.DeviceText));
    PlayerState.MusicDir = folder + QStringLiteral("MUSICAS/");

    PlayerState.CloseArmed = false;
    ui->ComboBox6->setCurrentIndex(0);

    ReadProxyIni(folder, PlayerState);

    const StationSettings station = ReadStationIni(folder);
    PlayerState.StationUrl = station.Url;
    PlayerState.StationName = station.Label;
    PlayerState.SilenceDb = station.SilenceDb;
    PlayerState.SilenceSeconds = station.SilenceSeconds;
    PlayerState.Nivelar = station.Level;
    stationRefused_ = station.UrlRefused;
    if (PlayerState.Nivelar) {
        Loudness = std::make_unique<TLoudness>(lib_, folder + kLevelsIni, PlayerState.MusicDir);
        WebPlayer->DecodedTap = Loudness->StreamTap();
    }

    QDir().mkpath(folder + QStringLiteral("LOGO"));
    LoadLogo(*this, folder);

    if (GenreIndex > ui->ComboBox1->count() - 1) GenreIndex = 0;
    ui->ComboBox1->setCurrentIndex(GenreIndex < 0 ? -1 : GenreIndex);

    Define_Estacao();
}

void Tfrm_sonarisv1AAC::Define_Estacao() {
    PlayerState.StationLabel = PlayerState.StationName.isEmpty() ? kStationLabel : PlayerState.StationName;
    PlayerState.StreamPort = kStationPort;
    ui->Panel1->setText(PlayerState.StationLabel);
    ui->Label29->setText(QStringLiteral("AAC"));
    PlayerState.StreamUrl = StationAddress();
}

QString Tfrm_sonarisv1AAC::StationAddress() const {
    if (!PlayerState.StationUrl.isEmpty()) return PlayerState.StationUrl;
    return DefaultStreamBase() + PlayerState.StreamPort.trimmed();
}

// --- show and first activation -------------------------------------------------------------

void Tfrm_sonarisv1AAC::FormShow() { ui->PageControl1->setCurrentIndex(0); }

void Tfrm_sonarisv1AAC::FormActivate() {
    if (activateHandled_) return;
    activateHandled_ = true;

    // The tray icon now answers the mouse.
    VrTrayIcon1->setContextMenu(PopupMenu3);
    if (QSystemTrayIcon::isSystemTrayAvailable() && !VrTrayIcon1->isVisible()) VrTrayIcon1->show();

    BitBtn13Click();

    if (StartupShortcutExists(StartupLinkName)) {
        try {
            Button1Click();
        } catch (const std::exception& e) {
            MessageBoxes().Error(QString::fromLocal8Bit(e.what()), ApplicationTitle());
        }
        PlayerState.AutoStarted = true;
    }
    PlayerState.StreamUrl = StationAddress();
    if (PlayerState.AutoStarted) Timer_abertura->SetEnabled(true);

    const QString dayFile = HistoryDayFile(Today());
    if (QFileInfo::exists(dayFile)) {
        // A day file that cannot be read leaves the memo as it is; the next entry rewrites it.
        bool ok = false;
        const QStringList lines = ReadLines1252(dayFile, &ok);
        if (ok) ui->Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    }
    Salva_Historico(QStringLiteral("** INICIADO O SISTEMA **"));
    // Written here, not when the file was read: the history of the day is in the memo only now.
    if (stationRefused_) Salva_Historico(QStringLiteral("ESTACAO.INI: endereço inválido - usando a estação padrão"));
    Fleet->Inicia_Frota();
}

void Tfrm_sonarisv1AAC::Timer_aberturaTimer() {
    Timer_abertura->SetEnabled(false);
    ui->Label10->setText(QStringLiteral("Estabilizando Sistema...Aguarde"));
    // Already running after the automatic activation; starting it again would restart its count.
    if (!Timer_Geral->isActive()) Timer_Geral->start();
    if (PlayerState.AutoStarted) MinimizeApplication();
}

void Tfrm_sonarisv1AAC::VrLabel3Click() {
    if (AboutBox) {
        AboutBox->exec();
        return;
    }
    Tform_about box(this);
    box.exec();
}

bool Tfrm_sonarisv1AAC::MinimizesToTray() const {
    return VrTrayIcon1 && VrTrayIcon1->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void Tfrm_sonarisv1AAC::MinimizeApplication() {
    // Hidden, the window leaves the taskbar too: withdrawn, it is no client of the window
    // manager any more, which needs no _NET_WM_STATE_SKIP_TASKBAR and works the same on
    // Wayland, where a client cannot take itself off the taskbar at all.
    if (MinimizesToTray())
        hide();
    else
        showMinimized();
}

void Tfrm_sonarisv1AAC::RestoreApplication() {
    showNormal();
    raise();
    activateWindow();
}

// --- window events ---------------------------------------------------------------------------

void Tfrm_sonarisv1AAC::closeEvent(QCloseEvent* event) {
    if (!quitting_ && !FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing the main window ends the program, also while the other windows are open.
    for (QWidget* other : {static_cast<QWidget*>(AboutBox), static_cast<QWidget*>(VolumeDialog),
                           static_cast<QWidget*>(ScheduleEditor)}) {
        if (other) other->close();
    }
    emit Closed();
}

void Tfrm_sonarisv1AAC::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
    // The first activation is what starts a player left activated, and it comes only when the
    // window manager hands the window the focus: at a logon with focus-stealing prevention,
    // behind a locked screen or without a window manager yet, it never does. So the first show
    // also runs it, once everything queued by the show has been served; when the activation
    // came first, this call finds it done.
    if (!firstShowSeen_) {
        firstShowSeen_ = true;
        QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
    }
}

bool Tfrm_sonarisv1AAC::event(QEvent* event) {
    // Minimised by the window manager (its menu, a key, "minimise all"): to the tray as well,
    // so no taskbar button is left behind. Wayland does not tell a client that the compositor
    // minimised it, so there this works only for the program's own minimising.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible() && MinimizesToTray())
        QMetaObject::invokeMethod(this, [this] { if (isMinimized() && MinimizesToTray()) hide(); }, Qt::QueuedConnection);
    if (event->type() == QEvent::WindowActivate && !activateHandled_) {
        const bool result = QMainWindow::event(event);
        FormActivate();
        return result;
    }
    return QMainWindow::event(event);
}

bool Tfrm_sonarisv1AAC::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || !ui) return QMainWindow::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::KeyPress:
        // Key preview: the window sees each key once, as it reaches the control with the focus.
        if (isActiveWindow() && widget == (QApplication::focusWidget() ? QApplication::focusWidget() : this))
            return PreviewKey(*this, static_cast<QKeyEvent*>(event));
        break;
    case QEvent::ContextMenu:
        PopupMenu2->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::MouseButtonRelease:
        if (widget == ui->VrLabel3 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            ui->VrLabel3->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            VrLabel3Click();
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- the ways out and the menus -------------------------------------------------------------

void Tfrm_sonarisv1AAC::BitBtn8Click() {
    if (IsActive()) {
        MinimizeApplication();
        return;
    }
    Run->Para();
    // A player that still holds a channel raises OnStop here; with the run switched off its
    // handler starts nothing.
    WebPlayer->Stop();
    LocalPlayer->Stop();
    Salva_Historico(QStringLiteral("ENCERRANDO SISTEMA  - PELO USUÁRIO"));
    close();  // closeEvent asks FormClose
}

bool Tfrm_sonarisv1AAC::FormClose() {
    if (IsActive()) {
        MinimizeApplication();
        return false;
    }
    if (!ConfirmBox(QStringLiteral("Deseja Realmente Desativar o Sistema ??"))) return false;
    Salva_Historico(QStringLiteral("*** SISTEMA DESLIGADO ***"));
    Salva_Historico(QString(37, QLatin1Char('=')));
    WebPlayer->Close();
    return true;
}

void Tfrm_sonarisv1AAC::DesligarSonaris2Click() {
    DeleteStartupShortcut(StartupLinkName);
    Encerra_Programa();
}

// No question and no closing lines: closeEvent lets the window go without FormClose, and
// exit() leaves every event loop without asking the windows to close. An attempt still
// opening is left to finish by itself: nothing of it plays or is written, and nobody waits.
void Tfrm_sonarisv1AAC::Encerra_Programa() {
    Connection->Abandon();
    quitting_ = true;
    QCoreApplication::exit(0);
}

// A logout or shutdown ends the program as the tray's "Desligar Sonaris" does, but the start
// with the session stays: an activated player comes back at the next logon.
void Tfrm_sonarisv1AAC::FimDaSessao() { Encerra_Programa(); }

void Tfrm_sonarisv1AAC::FormKeyPress(QChar key) {
    if (key == QLatin1Char('C') || key == QLatin1Char('c')) MessageBoxes().Message(PlayerState.StreamUrl, ApplicationTitle());
}

void Tfrm_sonarisv1AAC::ControledeVolume1Click() {
    if (VolumeDialog) VolumeDialog->exec();
    Define_Estacao();
}

void Tfrm_sonarisv1AAC::Configuraesdeacionamento1Click() {
    if (ScheduleEditor) ScheduleEditor->show();
}

int Tfrm_sonarisv1AAC::PlayerDevice(TZorvanBass* player, bool named) {
    return named ? player->DeviceOrDefault(PlayerState.DeviceIndex) : int(lib_.GetDefaultDevice());
}
