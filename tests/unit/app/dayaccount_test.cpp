// The day's account: a whole scripted day on the fake clock, each daily-run tick 500 ms after
// the previous one, and the line the scheduled close and the deactivation write; and the account
// itself across midnight.
#include "ui_usom.h"
#include "controllerfixture.h"

#include "app/dayaccount.h"

namespace {
QString Account(const QStringList& history) {
    const QStringList lines = history.filter("RESUMO DO DIA");
    return lines.size() == 1 ? lines.first() : "lines: " + lines.join(" | ");
}
}  // namespace

class DayAccountTest : public ControllerFixture {
protected:
    // Daily-run ticks every 500 ms up to and including `t` (the clock sits on `t` afterwards).
    void TickUntil(const QTime& t) {
        while (clock.Now().time() < t) {
            clock.Advance(500);
            TickGeral();
        }
    }
    // The end of a local track while the stream is held: the stream comes back with its ramp.
    void LocalTrackEndsAndStreamReturns() {
        EndLocalTrack();
        ASSERT_EQ(History().last(), "Sonaris - No AR");
        while (w->timer_aumentarvolume->isActive()) w->timer_aumentarvolumeTimer();
    }
};

TEST_F(DayAccountTest, AWholeDayIsAccountedToTheSecondAtTheScheduledClose) {
    WriteWindow(QTime(8, 0), QTime(12, 0));
    window.reset();
    Create();
    w = window.get();
    PutMusic({"A.MP3", "B.MP3"});

    At(7, 59, 50);
    w->Button1Click();
    TickUntil(QTime(8, 0, 13));  // the first attempt at the 26th tick inside the window
    ASSERT_EQ(PlayerState.WebError, 0);
    ASSERT_EQ(WebChannel()->volume, 100u);

    // The station ends its stream: local music until the stream is back and the track ends.
    TickUntil(QTime(9, 0));
    lib.EndChannel(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    TickUntil(QTime(9, 3));
    ASSERT_EQ(PlayerState.WebError, 0);
    ASSERT_EQ(WebChannel()->volume, 0u);  // held behind the local track
    LocalTrackEndsAndStreamReturns();

    // The monitor gives an empty stream up; its fade's end is the same drop, not a second.
    TickUntil(QTime(10, 0));
    SetFill(0);
    TickMeter(36);
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    TickUntil(QTime(10, 30));
    LocalTrackEndsAndStreamReturns();

    TickUntil(QTime(12, 0, 0));
    EXPECT_TRUE(History().filter("RESUMO DO DIA").isEmpty());
    TickUntil(QTime(12, 0, 0, 500));

    // Silence until the stream is heard at 08:00:13; the stream from 08:00:13 to 09:00:00.5,
    // 09:03:00.5 to 10:00:00.5 and 10:30:00.5 to 12:00; local music from 09:00:00.5 to
    // 09:03:00.5 and 10:00:00.5 to 10:30:00.5: each look stands until the next tick.
    EXPECT_EQ(History().mid(History().size() - 2),
              QStringList({"Encerrando Conexão PROGRAMADA: 12:00:00",
                           "RESUMO DO DIA - Streaming: 03:26:47  Músicas Locais: 00:33:00  Silêncio: 00:00:13  Quedas: 2"}));

    // After the close nothing more is counted: the next day's first tick writes no line.
    TickUntil(QTime(12, 1));
    At(23, 59, 59);
    TickGeral();
    clock.Advance(1000);
    TickGeral();
    EXPECT_EQ(History().filter("RESUMO DO DIA").size(), 1);
}

TEST_F(DayAccountTest, DeactivationWritesTheRunSoFarAndItsStreamFadeIsNoDrop) {
    At(10, 0);
    w->Button1Click();
    TickUntil(QTime(10, 5));  // the stream from the attempt at 10:00:13, heard from the next look
    ASSERT_EQ(PlayerState.WebError, 0);
    boxes.answers = {true};
    w->Button1Click();
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_EQ(Account(History()), QString("RESUMO DO DIA - Streaming: 00:04:46  Músicas Locais: 00:00:00  Silêncio: 00:00:13  Quedas: 0"));

    // Switched on again 20 s later: the time switched off is no part of the next run's line.
    ClearHistory();
    At(10, 5, 20);
    w->Button1Click();
    TickUntil(QTime(10, 6));
    boxes.answers = {true};
    w->Button1Click();
    EXPECT_EQ(Account(History()), QString("RESUMO DO DIA - Streaming: 00:00:26  Músicas Locais: 00:00:00  Silêncio: 00:00:13  Quedas: 0"));
}

TEST(DayAccount, ASpanAcrossMidnightIsBookedInTheWindowInForceAndALongGapNotAtAll) {
    const QDate day(2026, 12, 8);
    const QDate next = day.addDays(1);
    const QDateTime open(day, QTime(0, 0)), close(day, QTime(23, 59, 59));
    // The next date's window is in force from the first look on that date.
    const QDateTime nextOpen(next, QTime(0, 0)), nextClose(next, QTime(23, 59, 59));
    TDayAccount account;
    account.Start(QDateTime(day, QTime(23, 59, 58)), {true, false});
    account.Look(QDateTime(day, QTime(23, 59, 59)), open, close, {true, false});
    // The last second of the day is outside its window; the first of the next is inside.
    account.Look(QDateTime(next, QTime(0, 0, 1)), nextOpen, nextClose, {false, true});
    account.Look(QDateTime(next, QTime(0, 1, 0)), nextOpen, nextClose, {false, true});
    account.Look(QDateTime(next, QTime(0, 2, 1)), nextOpen, nextClose, {false, false});  // 61 s: slept
    account.Look(QDateTime(next, QTime(0, 1, 30)), nextOpen, nextClose, {false, false});  // set back
    ASSERT_TRUE(account.Holds());
    EXPECT_EQ(account.TakeLine(), QString("RESUMO DO DIA - Streaming: 00:00:02  Músicas Locais: 00:00:59  Silêncio: 00:00:00  Quedas: 0"));
    EXPECT_FALSE(account.Holds());
}
