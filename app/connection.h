#pragma once
// TConnection: the stream. One attempt at a time to open the station on the stream player
// (through the proxy of PROXY.INI when one is set), its open on a thread of its own
// (TStreamAttempt) and what follows it as a completion; webStop, where the stream ends; the
// connection monitor (timer_meter, 100 ms), which judges the stream by its buffer and by its
// sound (dead air) and gives it up for local music; and the two volume ramps.
//
// The drops it counts are those of a stream the day still wanted: one the day switched off
// (deactivation, the way out) ends without being lost.
#include "app/deadair.h"
#include "app/streamattempt.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

class QTimer;
class TThreadedTimer;
class TZorvanBass;
class Tfrm_sonarisv1AAC;

class TConnection : public QObject {
public:
    explicit TConnection(Tfrm_sonarisv1AAC& window);

    TThreadedTimer* timer_meter = nullptr;
    QTimer* timer_DiminuirVolume = nullptr;
    QTimer* timer_aumentarvolume = nullptr;
    TDeadAirWatch DeadAir;

    // Starts an attempt and returns; what follows the open comes as its completion.
    void Conecta_Web();
    bool AttemptRunning() const { return !attempt_->Idle(); }
    void Abandon() { attempt_->Abandon(); }
    void webStop(TZorvanBass* sender);
    // The proxy text for the current proxy state; empty for no proxy.
    QString ProxyTextFor() const;
    QDateTime LastDrop() const { return lastDrop_; }

    void timer_meterTimer();
    void timer_DiminuirVolumeTimer();
    void timer_aumentarvolumeTimer();
    std::int32_t RampStep() const;
    // Gives the stream up for local music: the history line, the fade-out, WebError -1, and
    // inside the window a local track when `startLocal` and none plays.
    void GiveUpStream(const QString& historyLine, bool startLocal);
    // A new playing volume (the office's): the stream reaches it with the fade-in ramp, a local
    // track at once.
    void NovoVolume(int volume);
    // A new station (the office's): a playing stream fades out, local music meanwhile, and the
    // next daily-run tick connects the new address through the ordinary attempt.
    void TrocaEstacao();
    // At the end of a local track: true when the stream held behind it was silent all along
    // and has been given up (local music goes on).
    bool GiveUpSilentHeldStream();
    // The monitor's thread skips its ticks (see LookWhetherMonitorRests).
    bool MonitorRests() const { return monitorRests_->load(); }

private:
    void StreamOpened(const QString& url, bool activeAtStart, const TStreamAttempt::Result& result);
    void Conexao_Concluida(std::exception_ptr error);  // what follows an attempt, with WebError as it stands
    void Conta_Queda();                                // a stream lost while the day wanted it
    // The stream faded out with the drop's fade, wanted again (WebError -1), told to the day.
    void FadeStreamOut();
    // At a monitor tick: true when the stream is (being) given up for its silence.
    bool WatchDeadAir();
    // While nobody sees the window, a stream that plays steadily gives the monitor nothing to
    // do: its tick would only move the level gauge. Whenever the window's thread is about to
    // sleep it looks whether that is so; the monitor's thread then skips its ticks until the
    // stream player sees its buffer fall or its sound go quiet, or this look finds otherwise.
    void LookWhetherMonitorRests();
    bool MonitorWouldRest();

    Tfrm_sonarisv1AAC& w_;
    TStreamAttempt* attempt_ = nullptr;
    QDateTime lastDrop_;  // the last stream lost, for the fleet
    // Read by the monitor's thread (shared, since that thread may ask after this is gone).
    std::shared_ptr<std::atomic<bool>> monitorRests_ = std::make_shared<std::atomic<bool>>(false);
    bool tickedSinceRest_ = true;  // a rest ended by the player's watch waits for a tick first
};
