#pragma once
// Tfrm_sonarisv1AAC: the main window and player controller. One class, its handlers split
// into files by concern:
//   usom.cpp             creation (FormCreate), Define_Estacao, FormShow, FormActivate,
//                        Timer_aberturaTimer, Atualiza_whoje, window events, tray, menus
//   usom_history.cpp     Salva_Historico and the day file
//   usom_dailyrun.cpp    activation, Timer_GeralTimer, Timer_sempreTimer, the ways out, keys
//   usom_connection.cpp  Conecta_Web, webStop, the proxy text
//   usom_monitor.cpp     timer_meterTimer and the two volume ramps
//   usom_localplay.cpp   the music list refresh, PlayMusica, StopMusica, Play/Stop buttons,
//                        Atualiza_Servidores
//   usom_diagnostics.cpp FormKeyDown and the Alt+I report
// Everything runs on the user-interface thread; the threaded timers deliver their ticks there.
#include "app/playerstate.h"
#include "audio/soundlib/soundlib.h"
#include "local/shuffle.h"
#include "system/autostart.h"  // StartupLinkName, the link that marks a player left activated

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

class TThreadedTimer;
class TZorvanBass;
class ServedOpenSoundLib;
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
    void Atualiza_whoje();
    void VrLabel3Click();
    void MinimizeApplication();  // to the tray; an ordinary minimised window without one
    void RestoreApplication();

    // --- history (usom_history.cpp)
    void Salva_Historico(const QString& message);
    QString HistoryDayFile(const QDate& date) const;  // HistoryDir + YYYYMMDD.PCS

    // --- daily run (usom_dailyrun.cpp)
    bool IsActive() const;  // Timer_Geral enabled
    void Button1Click();
    void Timer_GeralTimer();
    void Timer_sempreTimer();
    void BitBtn8Click();
    bool FormClose();  // true: the window may close
    void DesligarSonaris2Click();
    void VrTrayIcon1DblClick();
    void FormKeyPress(QChar key);
    void ControledeVolume1Click();
    void Configuraesdeacionamento1Click();

    // --- stream connection (usom_connection.cpp)
    void Conecta_Web();
    void webStop(TZorvanBass* sender);
    // The proxy text for the current proxy state; empty for no proxy.
    QString ProxyTextFor() const;

    // --- connection monitor and ramps (usom_monitor.cpp)
    void timer_meterTimer();
    void timer_DiminuirVolumeTimer();
    void timer_aumentarvolumeTimer();
    std::int32_t RampStep() const;

    // --- local playback (usom_localplay.cpp)
    void BitBtn13Click();
    void PlayMusica(const QString& tag);
    void StopMusica(TZorvanBass* sender);
    void BitBtn14Click();
    void BitBtn15Click();
    void Atualiza_Servidores();
    void SpeedButton1Click();

    // --- diagnostics (usom_diagnostics.cpp)
    // True when the key was handled (Alt+I alone).
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    QString DiagnosticsReport();

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
    // The stream player's way to the library: its open runs away from this thread (Conecta_Web).
    std::unique_ptr<ServedOpenSoundLib> webLib_;
    bool activateHandled_ = false;  // FormActivate runs at the first activation only
    bool quitting_ = false;         // the tray's "Desligar Sonaris": close without FormClose
    // Conecta_Web lets messages through (and its fall-back may open a message box). Qt does not
    // hand a QTimer's tick to its own running handler, but the attempt does not rely on that: a
    // daily-run tick that arrives inside an attempt counts, and never starts a second one.
    bool attemptRunning_ = false;
    // PlayMusica is opening and starting a track: the local player's stop events of that moment
    // (the previous channel's close, a reopen) are no end of a track, and a second start from a
    // box shown meanwhile would be overwritten by this one.
    bool openingTrack_ = false;
};
