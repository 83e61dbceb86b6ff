// The file layer of CFG.ACI: fixed-position reading, "|"-joined writing, and the replacement
// of the whole file that never leaves a broken one behind.
#include "schedule/cfgfile.h"

#include "tests/support/testsupport.h"
#include "tests/unit/schedule/writefailure.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

TEST(CfgDayLine, ReaderTakesFixedPositionsWhateverTheSeparators) {
    const DaySchedule day = ParseDayLine(QStringLiteral("X08:00:00Y18:30:00Z7W9"));
    EXPECT_EQ(day.Start, QStringLiteral("08:00:00"));
    EXPECT_EQ(day.Stop, QStringLiteral("18:30:00"));
    EXPECT_EQ(day.Reserved1, QStringLiteral("7"));
    EXPECT_EQ(day.Reserved2, QStringLiteral("9"));
}

TEST(CfgDayLine, ShortLinesGiveShorterOrEmptyFields) {
    const DaySchedule half = ParseDayLine(QStringLiteral("|08:00"));
    EXPECT_EQ(half.Start, QStringLiteral("08:00"));
    EXPECT_TRUE(half.Stop.isEmpty());
    EXPECT_TRUE(half.Reserved2.isEmpty());
    const DaySchedule empty = ParseDayLine(QString());
    EXPECT_TRUE(empty.Start.isEmpty() && empty.Stop.isEmpty() && empty.Reserved1.isEmpty() && empty.Reserved2.isEmpty());
}

TEST(CfgDayLine, DefinedLineRoundTripsUnchanged) {
    const QString line = QStringLiteral("|08:00:00|18:30:00|0|0");
    EXPECT_EQ(FormatDayLine(ParseDayLine(line)), line);
    const QString odd = QStringLiteral("|06:00:00|07:00:00|5|ç");  // reserved fields nobody reads
    EXPECT_EQ(FormatDayLine(ParseDayLine(odd)), odd);
}

TEST(CfgDayLine, UndefinedLineGrowsToSevenBarsAndStaysBounded) {
    QString line = QStringLiteral("||||");
    line = FormatDayLine(ParseDayLine(line));
    EXPECT_EQ(line, QStringLiteral("|||||||"));
    // Saved again and again it never outgrows the layout's 22 characters.
    for (int i = 0; i < 20; ++i) line = FormatDayLine(ParseDayLine(line));
    EXPECT_LE(line.size(), 22);
    EXPECT_EQ(line.count(QLatin1Char('|')), line.size());
}

TEST(CfgSchedule, ShortListLeavesMissingDaysUndefinedAndExtraLinesAreIgnored) {
    WeekSchedule days;
    for (DaySchedule& d : days) d = {QStringLiteral("old"), QStringLiteral("old"), QStringLiteral("1"), QStringLiteral("1")};
    EXPECT_EQ(ParseSchedule({QStringLiteral("|01:00:00|02:00:00|0|0"), QStringLiteral("||||"), QStringLiteral("x")}, days), 3);
    EXPECT_EQ(days[0].Start, QStringLiteral("01:00:00"));
    EXPECT_EQ(days[1].Start, QStringLiteral("|||"));
    for (int i = 3; i < 7; ++i) EXPECT_EQ(FormatDayLine(days[i]), QStringLiteral("||||")) << i;

    QStringList nine;
    for (int i = 0; i < 9; ++i) nine << QStringLiteral("|0%1:00:00|1%1:00:00|0|0").arg(i);
    EXPECT_EQ(ParseSchedule(nine, days), 7);
    EXPECT_EQ(FormatSchedule(days), nine.mid(0, 7));
}

TEST(CfgWrite, SevenLinesInCodePage1252WithCrLf) {
    TempProgramFolder folder;
    WeekSchedule days;
    days[6] = {QStringLiteral("08:00:00"), QStringLiteral("18:00:00"), QStringLiteral("0"), QStringLiteral("ç")};
    ASSERT_TRUE(WriteSchedule(CfgFilePath(folder.Path()), days));
    QByteArray expected;
    for (int i = 0; i < 6; ++i) expected += "||||\r\n";
    expected += "|08:00:00|18:00:00|0|\xE7\r\n";
    EXPECT_EQ(ReadBytes(folder.File(QStringLiteral("CFG.ACI"))), expected);
    EXPECT_TRUE(CfgFileExists(folder.Path()));
}

TEST(CfgWrite, FolderNamedLikeTheFileDoesNotCountAsTheFile) {
    TempProgramFolder folder;
    QDir(folder.Path()).mkdir(QStringLiteral("CFG.ACI"));
    EXPECT_FALSE(CfgFileExists(folder.Path()));
}

class CfgWriteFailure : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(path, old);
        days[0] = {QStringLiteral("09:00:00"), QStringLiteral("17:00:00"), QStringLiteral("0"), QStringLiteral("0")};
    }
    void ExpectOldFileOnly() {
        EXPECT_EQ(ReadBytes(path), old);
        EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("CFG.ACI")});
    }
    TempProgramFolder folder;
    const QString path = CfgFilePath(folder.Path());
    const QByteArray old = "|08:00:00|18:00:00|0|0\r\n||||\r\n";
    WeekSchedule days;
};

TEST_F(CfgWriteFailure, ReadOnlyFolderReportsFailureAndKeepsTheOldFile) {
    ImmutableFolder readOnly(folder.Path());
    if (!readOnly.Effective()) GTEST_SKIP() << "chattr +i not supported here";
    EXPECT_FALSE(WriteSchedule(path, days));
    EXPECT_EQ(ReadBytes(path), old);
}

TEST_F(CfgWriteFailure, FullDiskReportsFailureAndKeepsTheOldFile) {
    bool written = true;
    {
        FullDisk full;
        written = WriteSchedule(path, days);
    }
    EXPECT_FALSE(written);
    ExpectOldFileOnly();
}

}  // namespace
