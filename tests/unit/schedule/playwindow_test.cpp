// The window that applies at a moment: a night belongs to the date it starts on, the next
// date's own line waits for its end or runs on from it, and its stop on a night the clocks
// change is found on the wall clock of that night.
#include "schedule/playwindow.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

namespace {

const QDate kFriday(2026, 12, 11);
const QDate kSaturday = kFriday.addDays(1);

// Every day 08:00 to 18:00, with Friday's (line 6) and Saturday's (line 7) lines as given.
WeekLines Week(const QString& friday, const QString& saturday = QStringLiteral("|08:00:00|18:00:00|0|0")) {
    QStringList lines(7, QStringLiteral("|08:00:00|18:00:00|0|0"));
    lines[5] = friday;
    lines[6] = saturday;
    return {true, lines};
}

QDateTime At(const QDate& date, int h, int m, int s = 0, int ms = 0) { return QDateTime(date, QTime(h, m, s, ms)); }
QDateTime Utc(const QDate& date, int h, int m) { return QDateTime(date, QTime(h, m), Qt::UTC); }

TEST(PlayWindow, ANightBelongsToItsStartDateUntilItsStopThenTheNextDateHasItsOwn) {
    const WeekLines week = Week(QStringLiteral("|18:00:00|02:00:00|0|0"));
    for (const QDateTime& now : {At(kFriday, 0, 0), At(kFriday, 19, 0), At(kSaturday, 1, 0), At(kSaturday, 2, 0)}) {
        const PlayWindow w = WindowAt(week, now);
        EXPECT_EQ(w.Open, At(kFriday, 18, 0)) << now.toString().toStdString();
        EXPECT_EQ(w.Close, At(kSaturday, 2, 0));
        EXPECT_EQ(w.StopDays(), 1);
        EXPECT_EQ(w.Times.Stop, QTime(2, 0));
        EXPECT_TRUE(w.InForce(now));
    }
    const PlayWindow night = WindowAt(week, At(kFriday, 19, 0));
    EXPECT_TRUE(night.Holds(At(kSaturday, 0, 0)));
    EXPECT_TRUE(night.Holds(At(kSaturday, 2, 0)));
    EXPECT_FALSE(night.InForce(At(kSaturday, 2, 0, 1)));

    const PlayWindow saturday = WindowAt(week, At(kSaturday, 2, 0, 1));
    EXPECT_EQ(saturday.Open, At(kSaturday, 8, 0));
    EXPECT_EQ(saturday.Close, At(kSaturday, 18, 0));
    EXPECT_EQ(saturday.StopDays(), 0);

    // A day-time window gives way at midnight, as it always did, also to a night.
    const PlayWindow thursday = WindowAt(week, At(kFriday.addDays(-1), 23, 0));
    EXPECT_TRUE(thursday.InForce(At(kFriday.addDays(-1), 23, 59, 59, 999)));
    EXPECT_FALSE(thursday.InForce(At(kFriday, 0, 0)));
}

TEST(PlayWindow, TheNextDatesWindowOpeningInsideTheNightIsOneStretchWithIt) {
    const WeekLines week = Week(QStringLiteral("|18:00:00|02:00:00|0|0"), QStringLiteral("|01:00:00|10:00:00|0|0"));
    const PlayWindow w = WindowAt(week, At(kFriday, 19, 0));
    EXPECT_EQ(w.Open, At(kFriday, 18, 0));
    EXPECT_EQ(w.Close, At(kSaturday, 10, 0));
    EXPECT_EQ(w.Times.Start, QTime(18, 0));
    EXPECT_EQ(w.Times.Stop, QTime(10, 0));
    EXPECT_TRUE(w.InForce(At(kSaturday, 12, 0)));  // Saturday's line is used up
    EXPECT_FALSE(w.InForce(At(kSaturday.addDays(1), 0, 0)));

    // Undefined and equal lines never join a night, whatever their start.
    for (const char* saturday : {"||||", "|01:00:00|01:00:00|0|0", "|01:00:00|xx|0|0"}) {
        const PlayWindow alone = WindowAt(Week(QStringLiteral("|18:00:00|02:00:00|0|0"), QString::fromLatin1(saturday)),
                                          At(kFriday, 19, 0));
        EXPECT_EQ(alone.Close, At(kSaturday, 2, 0)) << saturday;
    }
}

// Lisbon in 2026: at 01:00 UTC on Sunday 29 March the clocks go from 01:00 to 02:00; at 01:00
// UTC on Sunday 25 October from 02:00 back to 01:00.
TEST(PlayWindow, AStopInTheSkippedHourIsItsEndAndInTheRepeatedHourItsFirstOccurrence) {
    ScopedTimeZone lisbon("Europe/Lisbon");
    const QString night = QStringLiteral("|22:00:00|01:30:00|0|0");

    const PlayWindow spring = WindowAt(Week(QString(), night), At(QDate(2026, 3, 28), 23, 0));
    EXPECT_EQ(spring.Close.toUTC(), Utc(QDate(2026, 3, 29), 1, 0));
    EXPECT_EQ(spring.Close.time(), QTime(2, 0));
    EXPECT_EQ(spring.Open.toUTC(), Utc(QDate(2026, 3, 28), 22, 0));

    const PlayWindow autumn = WindowAt(Week(QString(), night), At(QDate(2026, 10, 24), 23, 0));
    EXPECT_EQ(autumn.Close.toUTC(), Utc(QDate(2026, 10, 25), 0, 30));
    EXPECT_EQ(autumn.Open.toUTC(), Utc(QDate(2026, 10, 24), 21, 0));
    // The second 01:15 of that night comes after the close: the window has given way.
    const QDateTime secondQuarterPast = QDateTime::fromMSecsSinceEpoch(Utc(QDate(2026, 10, 25), 1, 15).toMSecsSinceEpoch());
    ASSERT_EQ(secondQuarterPast.time(), QTime(1, 15));
    EXPECT_FALSE(autumn.Holds(secondQuarterPast));
    EXPECT_FALSE(autumn.InForce(secondQuarterPast));

    // Sao Paulo skipped its midnight: Saturday 3 November 2018 to 00:30 ends at 01:00 (-02).
    ScopedTimeZone saoPaulo("America/Sao_Paulo");
    const PlayWindow midnight = WindowAt(Week(QString(), QStringLiteral("|22:00:00|00:30:00|0|0")), At(QDate(2018, 11, 3), 23, 0));
    EXPECT_EQ(midnight.Close.toUTC(), Utc(QDate(2018, 11, 4), 3, 0));
    EXPECT_EQ(midnight.StopDays(), 1);
}

}  // namespace
