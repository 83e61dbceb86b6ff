#pragma once
// TDailyRun: the shop's day. Activation and deactivation, the 500 ms tick (Timer_Geral) that
// waits for today's window, asks for the stream and closes the day, the 300 ms tick
// (Timer_sempre) of the lamps, the end of a local track and the sound output's loss, the day's
// account, and the day's state: after every event of the controller, Olha_Dia derives what the
// shop hears from the facts and hands it to the day (TDay), its one writer.
//
// "Active" is nothing but Timer_Geral's enabled flag. Everything runs on the window's thread,
// except SempreDue, which Timer_sempre's own thread asks.
#include "app/day.h"
#include "app/dayaccount.h"
#include "schedule/todaywindow.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class QTimer;
namespace soundlib {
class ISoundLib;
}
class THourlyVolume;
class TSpots;
class TThreadedTimer;
class Tfrm_sonarisv1AAC;

class TDailyRun : public QObject {
public:
    explicit TDailyRun(Tfrm_sonarisv1AAC& window);
    ~TDailyRun() override;

    QTimer* Timer_Geral = nullptr;
    TThreadedTimer* Timer_sempre = nullptr;
    TDay Day;
    TDayAccount DayAccount;
    std::int32_t ConnectTicks = 60;
    // The spots over the music (SPOTS.INI) and VOLUME.INI's volumes by the hour: both follow
    // the run's ticks. Made at the window's creation, once the players and the levels exist.
    std::unique_ptr<TSpots> Spots;
    std::unique_ptr<THourlyVolume> HourlyVolume;
    void Inicia_Spots(int device);

    bool IsActive() const;
    void Button1Click();
    void Timer_GeralTimer();
    // Whether a close is owed: something was wanted or started inside today's window, or
    // something still sounds.
    bool ScheduledCloseOwed();
    // The day's close at the first tick after TodayStop: both players fade out.
    void ScheduledClose();
    // The first tick after the window in force has given way: its close if still owed and its
    // account line, then the window that applies now.
    void NewDay();
    void Atualiza_whoje();
    void Timer_sempreTimer();
    bool SempreDue() const;  // on Timer_sempre's thread
    // The run stops without a deactivation's question or lines (the way out of the program).
    void Para();

    void Verifica_Saida();
    bool OutputLost() const { return outputLost_; }

    void Inicia_Conta();    // activation: the account's looks start now
    void Conta_Dia();       // a look at the players for the account
    void Escreve_Resumo();  // the account's line in the history

    // What the shop hears now, from the facts, into the day.
    void Olha_Dia(DayEvent why);

    // "Ativar" and "Desativar" without the question: the office's switch, and the button's.
    void Ativa();
    void Desativa();
    // The weekly schedule read again now (the office changed it): today's window as it is now,
    // and its close at once when the run has played and the new stop has already passed.
    void ReleJanela();

private:
    Tfrm_sonarisv1AAC& w_;
    // The daily run has ticked since its activation: a window that gives way was the run's own.
    bool runTicked_ = false;
    // The last reading of the output, for its loss and its return to be told once; the status
    // line the loss replaced, given back when an output opens.
    bool outputLost_ = false;
    QString statusBeforeLoss_;
    // What Timer_sempre's last tick saw, for its thread to skip a tick that would find the same.
    std::atomic<bool> sempreLooksAgain_{true};  // no players yet, a local track plays, output lost
    std::atomic<std::uint64_t> sempreWebSeen_{0}, sempreLocalSeen_{0}, sempreOutputSeen_{0};
    // Once the players exist, their changes and the output's are announced to that thread,
    // which then sleeps between them instead of looking every 300 ms.
    void AnnounceSempreChanges();
    bool sempreAnnounced_ = false;
    soundlib::ISoundLib* outputWatchLib_ = nullptr;
    int outputWatch_ = 0;
    // The weekly schedule as read at start: each new date takes its line from it.
    std::optional<WeekLines> week_;
};
