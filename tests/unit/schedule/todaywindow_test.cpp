// Today's playing window from the line of today's weekday in CFG.ACI: each status text, the
// window itself, and files that are short, hand-edited or garbage.
#include "schedule/todaywindow.h"

#include "system/clock.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

namespace {

const QDate kSunday(2026, 12, 6);
const QDate kFriday(2026, 12, 11);

class TodayWindowTest : public ::testing::Test {
protected:
    void WriteFile(const QByteArray& bytes) { WriteBytes(folder.File(QStringLiteral("CFG.ACI")), bytes); }
    TodayWindow ReadToday() { return ReadTodayWindow(folder.Path(), WeekdayNumber(Today())); }

    TempProgramFolder folder;
    ScopedFakeClock clock{QDateTime(kSunday, QTime(7, 0))};
};

TEST_F(TodayWindowTest, NoFileIsAScheduleNotDefined) {
    const TodayWindow w = ReadToday();
    EXPECT_EQ(w.StatusText, QStringLiteral("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA"));
    EXPECT_EQ(w.Start, QTime(0, 0));
    EXPECT_EQ(w.Stop, QTime(0, 0));
    EXPECT_FALSE(w.ShowTimes);
}

TEST_F(TodayWindowTest, SundayWindowFromTheFirstLine) {
    WriteFile("|08:00:00|18:30:00|0|0\r\n||||\r\n||||\r\n||||\r\n||||\r\n||||\r\n||||\r\n");
    const TodayWindow w = ReadToday();
    EXPECT_TRUE(w.ShowTimes);
    EXPECT_TRUE(w.StatusText.isEmpty());
    EXPECT_EQ(w.Start, QTime(8, 0));
    EXPECT_EQ(w.Stop, QTime(18, 30));
}

TEST_F(TodayWindowTest, EachWeekdayReadsItsOwnLine) {
    QByteArray bytes;
    for (int n = 1; n <= 7; ++n) bytes += QStringLiteral("|0%1:00:00|1%1:00:00|0|0\r\n").arg(n).toLatin1();
    WriteFile(bytes);
    for (int d = 0; d < 7; ++d) {
        clock.Set(QDateTime(kSunday.addDays(d), QTime(12, 0)));
        const TodayWindow w = ReadToday();
        EXPECT_EQ(w.Start, QTime(d + 1, 0)) << kSunday.addDays(d).toString().toStdString();
        EXPECT_EQ(w.Stop, QTime(10 + d + 1, 0));
    }
}

TEST_F(TodayWindowTest, UndefinedShortAndGarbageLinesAreNotProgrammed) {
    const QString notProgrammed = QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO...");
    clock.Set(QDateTime(kFriday, QTime(9, 0)));

    WriteFile("||||\r\n||||\r\n||||\r\n||||\r\n||||\r\n||||\r\n||||\r\n");
    EXPECT_EQ(ReadToday().StatusText, notProgrammed) << "day never saved";

    WriteFile("|08:00:00|18:00:00|0|0\r\n|08:00:00|18:00:00|0|0\r\n|08:00:00|18:00:00|0|0\r\n");
    EXPECT_EQ(ReadToday().StatusText, notProgrammed) << "three lines on a Friday";

    WriteFile("\r\n\r\n\r\n\r\n\r\n\x01\xff garbage |25:00:00|99:99:99|\r\n\r\n");
    EXPECT_EQ(ReadToday().StatusText, notProgrammed) << "garbage";

    WriteFile("\r\n\r\n\r\n\r\n\r\n|8:00:00|18:00:00|0|0\r\n");
    EXPECT_EQ(ReadToday().StatusText, notProgrammed) << "hour without its leading zero";

    WriteFile("");
    EXPECT_EQ(ReadToday().StatusText, notProgrammed) << "empty file";
}

TEST_F(TodayWindowTest, UnreadableStopKeepsTheStartAndAnEmptyWindow) {
    WriteFile("|08:00:00|xx:00:00|0|0\r\n");
    const TodayWindow w = ReadToday();
    EXPECT_EQ(w.StatusText, QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO..."));
    EXPECT_EQ(w.Start, QTime(8, 0));
    EXPECT_EQ(w.Stop, QTime(0, 0));
    EXPECT_FALSE(w.ShowTimes);
}

TEST_F(TodayWindowTest, EqualTimesAreNotDefined) {
    WriteFile("|10:00:00|10:00:00|0|0\r\n");
    const TodayWindow w = ReadToday();
    EXPECT_EQ(w.StatusText, QStringLiteral("ACIONAMENTO PARA HOJE NÃO DEFINIDA"));
    EXPECT_EQ(w.Start, QTime(10, 0));
    EXPECT_EQ(w.Stop, QTime(10, 0));
    EXPECT_FALSE(w.ShowTimes);
}

TEST_F(TodayWindowTest, HandEditedStartAfterStopIsShownLikeAWindow) {
    WriteFile("|22:00:00|02:00:00|0|0\r\n");
    const TodayWindow w = ReadToday();
    EXPECT_TRUE(w.ShowTimes);
    EXPECT_EQ(w.Start, QTime(22, 0));
    EXPECT_EQ(w.Stop, QTime(2, 0));
}

}  // namespace
