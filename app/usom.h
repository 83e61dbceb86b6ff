#pragma once
// Tfrm_sonarisv1AAC: the main window. It holds the window (widgets, menus, the tray icon, the
// dialogs, key preview) and the parts of the controller, each an object of its own:
//   TDailyRun   (dailyrun.h)    activation, the daily run's ticks, the close, the output, the
//                               day's account and the day's state (TDay, day.h)
//   TConnection (connection.h)  the stream: attempt, monitor, dead air, ramps
//   TLocalPlay  (localplay.h)   local music and "Atualizar Servidores"
//   TFleetLink  (fleetlink.h)   the chain's view of this shop (FROTA.INI)
// The handlers keep their designer names here and hand over to the part they belong to; the
// parts reach the players and the widgets through this window. Everything runs on the
// user-interface thread; the threaded timers deliver their ticks there, and the stream's open
// (TStreamAttempt) comes back there as a completion.
//   usom.cpp             creation (FormCreate), Define_Estacao, FormShow, FormActivate,
//                        Timer_aberturaTimer, window events, tray, menus, the ways out
//   usom_history.cpp     Salva_Historico and the day file
//   usom_diagnostics.cpp FormKeyDown and the Alt+I report
#include "app/connection.h"
#include "app/dailyrun.h"
#include "app/fleetlink.h"
#include "app/historylog.h"
#include "app/localplay.h"
#include "app/playerstate.h"
#include "audio/soundlib/soundlib.h"
#include "system/autostart.h"  // StartupLinkName, the link that marks a player left activated
#include "ui/thdtimer.h"

#include <QDate>
#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

QT_BEGIN_NAMESPACE
namespace Ui {
class Tfrm_sonarisv1AAC;
}
class QMenu;
class QSystemTrayIcon;
class QTimer;
QT_END_NAMESPACE

class TLoudness;
class TZorvanBass;
class Tform_about;
class Tform_volume;
class Tfrm_cfg;

// Base address of the default streaming server, ending with the colon before the port.
QString DefaultStreamBase();

class Tfrm_sonarisv1AAC : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate. The sound library is not owned.
    explicit Tfrm_sonarisv1AAC(soundlib::ISoundLib& lib, QWidget* parent = nullptr);
    ~Tfrm_sonarisv1AAC() override;

    // The program entry creates the other three windows after this one and hands them over.
    void SetWindows(Tform_about* about, Tform_volume* volume, Tfrm_cfg* cfg);
    soundlib::ISoundLib& Lib() const { return lib_; }

    // --- start-up (usom.cpp)
    void FormCreate();
    void FormShow();
    void FormActivate();
    void Timer_aberturaTimer();
    void Define_Estacao();
    // ESTACAO.INI's address when it gave one, else the built-in base and port.
    QString StationAddress() const;
    void VrLabel3Click();
    void MinimizeApplication();  // to the tray; an ordinary minimised window without one
    bool MinimizesToTray() const;  // the desktop has a notification area and the icon is in it
    void RestoreApplication();
    // The device the players open: DeviceIndex, or the system's default output when that
    // number names no device now, or when SERVER.INI's value was no number (`named` false).
    int PlayerDevice(TZorvanBass* player, bool named);

    // --- history (usom_history.cpp)
    void Salva_Historico(const QString& message);
    QString HistoryDayFile(const QDate& date) const;  // HistoryDir + YYYYMMDD.PCS

    // --- the ways out and the menus (usom.cpp)
    void BitBtn8Click();
    bool FormClose();  // true: the window may close
    void DesligarSonaris2Click();
    void Encerra_Programa();  // the program ends now, without a question
    void FimDaSessao();       // the session ends (logout, shutdown): the program ends, the start with the session kept
    void VrTrayIcon1DblClick() { RestoreApplication(); }
    void FormKeyPress(QChar key);
    void ControledeVolume1Click();
    void Configuraesdeacionamento1Click();

    // --- diagnostics (usom_diagnostics.cpp)
    // True when the key was handled (Alt+I alone).
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    QString DiagnosticsReport();

    // --- the handlers of the controller's parts
    bool IsActive() const { return Run->IsActive(); }
    void Button1Click() { Run->Button1Click(); }
    void Timer_GeralTimer() { Run->Timer_GeralTimer(); }
    void Timer_sempreTimer() { Run->Timer_sempreTimer(); }
    bool SempreDue() const { return Run->SempreDue(); }
    void Conecta_Web() { Connection->Conecta_Web(); }
    bool AttemptRunning() const { return Connection->AttemptRunning(); }
    QString ProxyTextFor() const { return Connection->ProxyTextFor(); }
    void timer_meterTimer() { Connection->timer_meterTimer(); }
    void timer_DiminuirVolumeTimer() { Connection->timer_DiminuirVolumeTimer(); }
    void timer_aumentarvolumeTimer() { Connection->timer_aumentarvolumeTimer(); }
    std::int32_t RampStep() const { return Connection->RampStep(); }
    void BitBtn13Click() { Local->BitBtn13Click(); }
    void PlayMusica(const QString& tag) { Local->PlayMusica(tag); }
    void BitBtn14Click() { Local->BitBtn14Click(); }
    void BitBtn15Click() { Local->BitBtn15Click(); }
    void Atualiza_Servidores() { Local->Atualiza_Servidores(); }
    void SpeedButton1Click() { Local->Atualiza_Servidores(); }
    FleetState EstadoFrota() const { return Fleet->EstadoFrota(); }

    // Components, under their designer names; the timers belong to the parts that run them.
    Ui::Tfrm_sonarisv1AAC* ui = nullptr;
    TDailyRun* Run = nullptr;
    TConnection* Connection = nullptr;
    TLocalPlay* Local = nullptr;
    TFleetLink* Fleet = nullptr;
    QTimer* Timer_Geral = nullptr;
    QTimer* timer_DiminuirVolume = nullptr;
    QTimer* timer_aumentarvolume = nullptr;
    TThreadedTimer* Timer_sempre = nullptr;
    TThreadedTimer* Timer_abertura = nullptr;
    TThreadedTimer* timer_meter = nullptr;
    QSystemTrayIcon* VrTrayIcon1 = nullptr;
    QMenu* PopupMenu2 = nullptr;  // context menu: Sobre (F1), Controle de Volume (F10), Configurações de acionamento (F11)
    QMenu* PopupMenu3 = nullptr;  // tray menu: Desligar Sonaris

    // Players, owned by the window.
    TZorvanBass* WebPlayer = nullptr;
    TZorvanBass* LocalPlayer = nullptr;

    std::int32_t GenreIndex = 0;
    std::unique_ptr<TLoudness> Loudness;  // none with NIVELAR=0

    Tform_about* AboutBox = nullptr;
    Tform_volume* VolumeDialog = nullptr;
    Tfrm_cfg* ScheduleEditor = nullptr;

signals:
    // The window has closed for good (FormClose let it); the program ends with it.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    soundlib::ISoundLib& lib_;
    bool activateHandled_ = false;  // FormActivate runs at the first activation only
    bool firstShowSeen_ = false;    // the first show also runs FormActivate, queued
    bool quitting_ = false;         // the tray's "Desligar Sonaris": close without FormClose
    // ESTACAO.INI named an address that cannot be a station's: the history says so at start.
    bool stationRefused_ = false;
    THistoryLog history_{[this](const QDate& day) { return HistoryDayFile(day); }};
};
