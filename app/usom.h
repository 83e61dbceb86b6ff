#pragma once
// Tfrm_sonarisv1AAC: the main window and player controller. One class, its handlers split
// into files by concern:
//   usom.cpp             creation (FormCreate), Define_Estacao, FormShow, FormActivate,
//                        Timer_aberturaTimer, Atualiza_whoje, window events, tray, menus
//   usom_history.cpp     Salva_Historico and the day file
//   usom_dailyrun.cpp    activation, Timer_GeralTimer, Timer_sempreTimer, the ways out, keys
//   usom_connection.cpp  Conecta_Web, webStop, the proxy text
//   usom_monitor.cpp     timer_meterTimer, the giving up of a stream and the two volume ramps
//   usom_deadair.cpp     the monitor's watch on a stream that carries silence
//   usom_localplay.cpp   the music list refresh, PlayMusica, StopMusica, Play/Stop buttons,
//                        Atualiza_Servidores, the loudness measurement's queue
//   usom_diagnostics.cpp FormKeyDown and the Alt+I report
//   usom_dayaccount.cpp  the day's account: what was heard, fed by the daily run, and its line
//   usom_output.cpp      Verifica_Saida: the sound output lost and back
//   usom_fleet.cpp       the chain's view of this shop (FROTA.INI)
// Everything runs on the user-interface thread; the threaded timers deliver their ticks there,
// and the stream's open (TStreamAttempt) comes back there as a completion.
#include "app/dayaccount.h"
#include "app/deadair.h"
#include "app/historylog.h"
#include "app/playerstate.h"
#include "app/streamattempt.h"
#include "audio/soundlib/soundlib.h"
#include "local/shuffle.h"
#include "schedule/todaywindow.h"
#include "system/autostart.h"  // StartupLinkName, the link that marks a player left activated
#include "telemetry/fleetpublisher.h"

#include <QDate>
#include <QDateTime>
#include <QMainWindow>
#include <QString>

#include <atomic>
#include <exception>
#include <cstdint>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
namespace Ui {
class Tfrm_sonarisv1AAC;
}
class QMenu;
class QSystemTrayIcon;
class QTimer;
QT_END_NAMESPACE

class TLoudness;
class TThreadedTimer;
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

    // --- start-up (usom.cpp)
    void FormCreate();
    void FormShow();
    void FormActivate();
    void Timer_aberturaTimer();
    void Define_Estacao();
    // ESTACAO.INI's address when it gave one, else the built-in base and port.
    QString StationAddress() const;
    void Atualiza_whoje();
    void VrLabel3Click();
    void MinimizeApplication();  // to the tray; an ordinary minimised window without one
    bool MinimizesToTray() const;  // the desktop has a notification area and the icon is in it
    void RestoreApplication();

    // --- history (usom_history.cpp)
    void Salva_Historico(const QString& message);
    QString HistoryDayFile(const QDate& date) const;  // HistoryDir + YYYYMMDD.PCS

    // --- daily run (usom_dailyrun.cpp)
    bool IsActive() const;  // Timer_Geral enabled
    void Button1Click();
    void Timer_GeralTimer();
    // The day's close at the first tick after TodayStop: both players fade out.
    void ScheduledClose();
    // Whether a close is owed: something was wanted or started inside today's window, or
    // something still sounds.
    bool ScheduledCloseOwed();
    // The first tick after the window in force has given way: its close if still owed and its
    // account line, then the window that applies now.
    void NewDay();
    void Timer_sempreTimer();
    bool SempreDue() const;  // on Timer_sempre's thread
    void BitBtn8Click();
    bool FormClose();  // true: the window may close
    void DesligarSonaris2Click();
    void Encerra_Programa();  // the program ends now, without a question
    void FimDaSessao();       // the session ends (logout, shutdown): the program ends, the start with the session kept
    void VrTrayIcon1DblClick();
    void FormKeyPress(QChar key);
    void ControledeVolume1Click();
    void Configuraesdeacionamento1Click();

    // --- stream connection (usom_connection.cpp)
    // Starts an attempt and returns; what follows the open comes as its completion.
    void Conecta_Web();
    bool AttemptRunning() const { return !attempt_->Idle(); }
    void webStop(TZorvanBass* sender);
    // The proxy text for the current proxy state; empty for no proxy.
    QString ProxyTextFor() const;

    // --- connection monitor and ramps (usom_monitor.cpp)
    void timer_meterTimer();
    void timer_DiminuirVolumeTimer();
    void timer_aumentarvolumeTimer();
    std::int32_t RampStep() const;
    // Gives the stream up for local music: the history line, the fade-out, WebError -1, and
    // inside the window a local track when `startLocal` and none plays.
    void GiveUpStream(const QString& historyLine, bool startLocal);

    // --- dead air (usom_deadair.cpp)
    // At a monitor tick: true when the stream is (being) given up for its silence.
    bool WatchDeadAir();
    // At the end of a local track: true when the stream held behind it was silent all along
    // and has been given up (local music goes on).
    bool GiveUpSilentHeldStream();

    // --- local playback (usom_localplay.cpp)
    void BitBtn13Click();
    void PlayMusica(const QString& tag);
    void StopMusica(TZorvanBass* sender);
    void BitBtn14Click();
    void BitBtn15Click();
    void Atualiza_Servidores();
    void SpeedButton1Click();
    // Atualiza_Servidores' refusal while the stream plays: one box at a time, opened from the
    // event loop rather than inside the handler that asked for it.
    void ShowServersRefusal();
    // The loudness measurement's queue: the rows in the order they will play, the next first.
    // After a refresh of the list (`wholeFolder`) files no longer there are forgotten.
    void Nivela_Fila(bool wholeFolder);

    // --- the chain's view of this shop (usom_fleet.cpp)
    void Inicia_Frota();  // at start: FROTA.INI read, the publisher started when it names a broker
    void Olha_Frota();    // the state compared with the last one published
    FleetState EstadoFrota();

    // --- the sound output that goes away and comes back (usom_output.cpp)
    void Verifica_Saida();
    // The device the players open: DeviceIndex, or the system's default output when that
    // number names no device now, or when SERVER.INI's value was no number (`named` false).
    int PlayerDevice(TZorvanBass* player, bool named);

    // --- diagnostics (usom_diagnostics.cpp)
    // True when the key was handled (Alt+I alone).
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    QString DiagnosticsReport();

    // --- the day's account (usom_dayaccount.cpp)
    void Inicia_Conta();       // activation: the account's looks start now
    void Conta_Dia();          // a look at the players for the account
    void Conta_Queda();        // a stream lost while the run is active
    void Escreve_Resumo();     // the account's line in the history

    // Components, under their designer names.
    Ui::Tfrm_sonarisv1AAC* ui = nullptr;
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

    // Window fields.
    std::int32_t ConnectTicks = 60;
    std::int32_t GenreIndex = 0;
    std::int32_t FlushCount = 0;
    TRandomDraw Shuffle;  // the local shuffle's draw, never seeded
    TDayAccount DayAccount;
    TDeadAirWatch DeadAir;
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
    // The connection attempt: its open runs away from this thread (Conecta_Web).
    TStreamAttempt* attempt_ = nullptr;
    void StreamOpened(const QString& url, bool activeAtStart, const TStreamAttempt::Result& result);
    void Conexao_Concluida(std::exception_ptr error);  // what follows an attempt, with WebError as it stands
    bool activateHandled_ = false;  // FormActivate runs at the first activation only
    bool firstShowSeen_ = false;    // the first show also runs FormActivate, queued
    bool quitting_ = false;         // the tray's "Desligar Sonaris": close without FormClose
    // PlayMusica is choosing, opening and starting a track: the local player's stop events of
    // that moment (the previous channel's close, a failed open, a reopen) are no end of a track.
    bool openingTrack_ = false;
    // The sound output is lost; the status line it replaced, given back when an output opens.
    bool outputLost_ = false;
    QString statusBeforeLoss_;
    // What Timer_sempre's last tick saw, for its thread to skip a tick that would find the same.
    std::atomic<bool> sempreLooksAgain_{true};  // no players yet, a local track plays, output lost
    std::atomic<std::uint64_t> sempreWebSeen_{0}, sempreLocalSeen_{0}, sempreOutputSeen_{0};
    // ESTACAO.INI named an address that cannot be a station's: the history says so at start.
    bool stationRefused_ = false;
    bool serversRefusalWaiting_ = false;  // a refusal box is queued or open
    // The daily run has ticked since its activation: a window that gives way was the run's own.
    bool runTicked_ = false;
    TFleetPublisher* fleet_ = nullptr;  // only with a usable FROTA.INI
    QDateTime lastDrop_;                // the last stream lost, for the fleet
    // The weekly schedule as read at start: each new date takes its line from it.
    std::optional<WeekLines> week_;
    THistoryLog history_{[this](const QDate& day) { return HistoryDayFile(day); }};  // Salva_Historico's day file
};
