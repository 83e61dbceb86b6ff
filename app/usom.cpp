// The main window's creation, first show and activation, the station settings, today's
// window, and the wiring of widgets, timers, keys, menus and the tray icon to the handlers
// that the other files of this class implement.
#include "app/usom.h"

#include "app/about.h"
#include "app/sonarisicon.h"
#include "app/startupfiles.h"
#include "app/stationfile.h"
#include "audio/uzorvanbass.h"
#include "loudness/loudness.h"
#include "schedule/todaywindow.h"
#include "schedule/ucfg.h"
#include "system/autostart.h"
#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/jpegimage.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "ui/thdtimer.h"
#include "ui/uvolume.h"
#include "ui_usom.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
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

QFont PixelFont(int pixels, bool bold, const QString& family = QString()) {
    QFont f;
    if (!family.isEmpty()) f.setFamilies({family});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Colours through the palette (not style sheets), so that the handlers that recolour a
// label at run time only have to change its palette.
void Paint(QWidget* w, const QColor& text, const QColor& background = QColor()) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        p.setColor(QPalette::Window, background);
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

// --- the look of the window, as designed -------------------------------------------------

void SetUpWindow(Tfrm_sonarisv1AAC& w) {
    Ui::Tfrm_sonarisv1AAC* ui = w.ui;
    // A dialog-style frame: title bar and close box, no resizing.
    w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    w.setFixedSize(672, 405);
    w.setWindowIcon(SonarisIcon());
    w.setFont(PixelFont(11, false));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w.move(area.center() - QPoint(w.width() / 2, w.height() / 2));
    }

    // The music list: one column across the grid, white cells under a silver header row.
    ui->Stringgrid3->ApplyMusicListLook();

    // Only the tabs take the page control's bold font and hand cursor; the pages keep theirs.
    ui->PageControl1->tabBar()->setFont(PixelFont(13, true));
    ui->PageControl1->tabBar()->setCursor(Qt::PointingHandCursor);

    const QColor silver(192, 192, 192), yellow(255, 255, 0), white(255, 255, 255);
    Paint(ui->Panel2, silver, QColor(0, 0, 55));
    ui->Label10->setFont(PixelFont(16, false));
    Paint(ui->Label29, white, QColor(255, 0, 0));
    ui->Label29->setFont(PixelFont(11, true));
    ui->Label2->setFont(PixelFont(19, true));
    Paint(ui->Label2, white, QColor(128, 128, 128));
    for (QLabel* l : {ui->Label12, ui->Label14}) Paint(l, yellow);
    for (QLabel* l : {ui->Label13, ui->Label15, ui->Label21}) Paint(l, white);
    QPalette cream = ui->ComboBox1->palette();
    cream.setColor(QPalette::Base, QColor(250, 253, 227));
    cream.setColor(QPalette::Button, QColor(250, 253, 227));
    cream.setColor(QPalette::ButtonText, Qt::black);
    cream.setColor(QPalette::Text, Qt::black);
    ui->ComboBox1->setPalette(cream);
    ui->ComboBox6->setPalette(QApplication::palette());
    ui->SpeedButton1->setIcon(w.style()->standardIcon(QStyle::SP_BrowserReload));
    ui->meter1->SetOrientation(Qt::Horizontal);
    ui->MMLED1->SetColor(QColor(0, 45, 0));
    ui->MMLED2->SetColor(QColor(0, 45, 0));

    for (QLabel* l : {ui->Label5, ui->Label6}) l->setFont(PixelFont(13, false, QStringLiteral("Arial Black")));
    ui->VrClock1->setFont(PixelFont(19, true));
    ui->BitBtn8->setIcon(w.style()->standardIcon(QStyle::SP_DialogCloseButton));
    ui->Button1->setIcon(w.style()->standardIcon(QStyle::SP_MediaPlay));
    ui->Panel1->setFont(PixelFont(13, true));
    Paint(ui->Panel1, white, Qt::black);

    ui->BitBtn13->setIcon(w.style()->standardIcon(QStyle::SP_BrowserReload));
    ui->BitBtn14->setIcon(w.style()->standardIcon(QStyle::SP_MediaPlay));
    ui->BitBtn15->setIcon(w.style()->standardIcon(QStyle::SP_MediaStop));

    ui->VrLabel3->setFont(PixelFont(16, false, QStringLiteral("Arial")));
}

void SetUpTimers(Tfrm_sonarisv1AAC& w) {
    Tfrm_sonarisv1AAC* self = &w;
    w.Timer_Geral = new QTimer(&w);
    w.Timer_Geral->setInterval(5000);
    QObject::connect(w.Timer_Geral, &QTimer::timeout, &w, [self] { self->Timer_GeralTimer(); });

    w.Timer_sempre = new TThreadedTimer(&w);
    w.Timer_sempre->SetInterval(300);
    w.Timer_sempre->OnTimer = [self](TThreadedTimer*) { self->Timer_sempreTimer(); };
    w.Timer_sempre->SetDue([self] { return self->SempreDue(); });

    w.Timer_abertura = new TThreadedTimer(&w);
    w.Timer_abertura->SetInterval(3000);
    w.Timer_abertura->OnTimer = [self](TThreadedTimer*) { self->Timer_aberturaTimer(); };

    w.timer_meter = new TThreadedTimer(&w);
    w.timer_meter->SetInterval(100);
    w.timer_meter->Tag = 1;
    w.timer_meter->OnTimer = [self](TThreadedTimer*) { self->timer_meterTimer(); };

    w.timer_DiminuirVolume = new QTimer(&w);
    w.timer_DiminuirVolume->setInterval(100);
    QObject::connect(w.timer_DiminuirVolume, &QTimer::timeout, &w, [self] { self->timer_DiminuirVolumeTimer(); });

    w.timer_aumentarvolume = new QTimer(&w);
    w.timer_aumentarvolume->setInterval(100);
    QObject::connect(w.timer_aumentarvolume, &QTimer::timeout, &w, [self] { self->timer_aumentarvolumeTimer(); });

    // The only timer running from the start.
    w.Timer_sempre->SetEnabled(true);
}

void SetUpMenus(Tfrm_sonarisv1AAC& w) {
    Tfrm_sonarisv1AAC* self = &w;
    // The shortcuts are the window's own keys (see eventFilter); the menu only shows them.
    w.PopupMenu2 = new QMenu(&w);
    w.PopupMenu2->addAction(QStringLiteral("Sobre\tF1"));
    QAction* volume = w.PopupMenu2->addAction(QStringLiteral("Controle de Volume\tF10"));
    volume->setObjectName(QStringLiteral("ControledeVolume1"));
    QObject::connect(volume, &QAction::triggered, &w, [self] { self->ControledeVolume1Click(); });
    QAction* schedule = w.PopupMenu2->addAction(QStringLiteral("Configurações de acionamento\tF11"));
    schedule->setObjectName(QStringLiteral("Configuraesdeacionamento1"));
    QObject::connect(schedule, &QAction::triggered, &w, [self] { self->Configuraesdeacionamento1Click(); });

    // The tray icon's menu; the icon shows it only from the first activation on.
    w.PopupMenu3 = new QMenu(&w);
    QAction* off = w.PopupMenu3->addAction(QStringLiteral("Desligar Sonaris"));
    off->setObjectName(QStringLiteral("DesligarSonaris2"));
    QObject::connect(off, &QAction::triggered, &w, [self] { self->DesligarSonaris2Click(); });
}

void ConnectButtons(Tfrm_sonarisv1AAC& w) {
    Tfrm_sonarisv1AAC* self = &w;
    Ui::Tfrm_sonarisv1AAC* ui = w.ui;
    QObject::connect(ui->Button1, &QPushButton::clicked, &w, [self] { self->Button1Click(); });
    QObject::connect(ui->BitBtn8, &QPushButton::clicked, &w, [self] { self->BitBtn8Click(); });
    QObject::connect(ui->BitBtn13, &QPushButton::clicked, &w, [self] { self->BitBtn13Click(); });
    QObject::connect(ui->BitBtn14, &QPushButton::clicked, &w, [self] { self->BitBtn14Click(); });
    QObject::connect(ui->BitBtn15, &QPushButton::clicked, &w, [self] { self->BitBtn15Click(); });
    QObject::connect(ui->SpeedButton1, &QToolButton::clicked, &w, [self] { self->SpeedButton1Click(); });
}

void LoadLogo(Ui::Tfrm_sonarisv1AAC* ui, const QString& folder) {
    const QString path = folder + QStringLiteral("LOGO/LOGO.JPG");
    QImage logo;
    if (QFileInfo::exists(path)) logo = LoadJpegFile(path);
    if (!logo.isNull()) {
        ui->Image1->setPixmap(QPixmap::fromImage(logo));
        ui->Image1->setToolTip(QString());
        ui->Image1->setFrameShape(QFrame::NoFrame);
        return;
    }
    // A missing or undecodable logo: an outlined empty area whose hint tells the operator
    // where to put one.
    ui->Image1->clear();
    ui->Image1->setFrameShape(QFrame::Box);
    // The hint's lines are parted by bare carriage returns, as the Windows hints showed them;
    // Qt's tool tips break only at line feeds.
    QString hint = QStringLiteral("LOGO DA EMPRESA\rTAMANHO 50X250 PIXELS\rARQUIVO: ") + folder + QStringLiteral("LOGO/LOGO.JPG");
    ui->Image1->setToolTip(hint.replace(QLatin1Char('\r'), QLatin1Char('\n')));
}

// Key preview: F1, F10, F11 and Alt+I are the window's; other characters go to FormKeyPress
// and on to the control. True when the key is used up.
bool PreviewKey(Tfrm_sonarisv1AAC& w, QKeyEvent* event) {
    if (w.FormKeyDown(event->key(), event->modifiers())) return true;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_F1:  // "Sobre": nothing is bound to it
            return true;
        case Qt::Key_F10:
            w.ControledeVolume1Click();
            return true;
        case Qt::Key_F11:
            w.Configuraesdeacionamento1Click();
            return true;
        default:
            break;
        }
    }
    // Characters typed with Ctrl or Alt are commands, not characters.
    if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && !event->text().isEmpty())
        w.FormKeyPress(event->text().at(0));
    return false;
}
}  // namespace

Tfrm_sonarisv1AAC::Tfrm_sonarisv1AAC(soundlib::ISoundLib& lib, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::Tfrm_sonarisv1AAC), lib_(lib) {
    ui->setupUi(this);
    SetUpWindow(*this);
    SetUpTimers(*this);
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
}

Tfrm_sonarisv1AAC::~Tfrm_sonarisv1AAC() {
    qApp->removeEventFilter(this);
    if (attempt_) attempt_->Abandon();  // nothing of it may reach the players being deleted
    if (fleet_) fleet_->Stop();         // the offline state, while the players still answer nothing
    // The timers and the players go before the widgets that their handlers write to.
    delete Timer_sempre;
    delete Timer_abertura;
    delete timer_meter;
    Timer_sempre = Timer_abertura = timer_meter = nullptr;
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
    ConnectTicks = 60;
    FlushCount = 0;

    MoveClienteIni(folder);

    const ServerSettings server = ReadServerIni(folder);
    GenreIndex = server.GenreIndex;
    PlayerState.DeviceIndex = server.DeviceIndex;

    Atualiza_whoje();

    PlayerState.NormalVolume = ReadNormalVolume(folder);

    const auto handle = reinterpret_cast<void*>(winId());
    attempt_ = new TStreamAttempt(this);
    WebPlayer = new TZorvanBass(lib_, this);
    WebPlayer->OnStop = [this](TZorvanBass* sender) { webStop(sender); };
    // SERVER.INI keeps the device as a place in the list of the day it was chosen; a device
    // unplugged since must not leave the shop silent. The stored number stays for its return.
    const int device = PlayerDevice(WebPlayer, server.DeviceIsNumber);
    WebPlayer->InitDevice(device, handle);
    WebPlayer->BufferLength = 3000;
    WebPlayer->UseAac = 1;

    LocalPlayer = new TZorvanBass(lib_, this);
    LocalPlayer->OnStop = [this](TZorvanBass* sender) { StopMusica(sender); };
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
    LoadLogo(ui, folder);

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

void Tfrm_sonarisv1AAC::Atualiza_whoje() {
    if (!week_) week_ = ReadWeekLines(ProgramFolder());
    PlayerState.Window = WindowAt(*week_, NowDateTime());
    const TodayWindow& today = PlayerState.Window.Times;
    PlayerState.TodayStart = today.Start;
    PlayerState.TodayStop = today.Stop;
    if (!today.StatusText.isEmpty()) ui->Label10->setText(today.StatusText);
    if (today.ShowTimes) {
        ui->Label13->setText(FormatTime(today.Start));
        // A stop after midnight says so, or 18:00 to 02:00 would read as a mistake.
        const int days = PlayerState.Window.StopDays();
        ui->Label15->setText(FormatTime(today.Stop) + (days > 0 ? QStringLiteral(" (+%1)").arg(days) : QString()));
    }
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
    Inicia_Frota();
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
