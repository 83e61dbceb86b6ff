#include "system/funcoes.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadSetting, EmptyListOrNoMatchGivesTheDefault) {
    EXPECT_EQ(ReadSetting({}, "DEVICE", "1"), "1");
    EXPECT_EQ(ReadSetting({"VOLUME_NORMAL=80"}, "DEVICE", "1"), "1");
}

TEST(ReadSetting, FirstMatchingLineWins) {
    EXPECT_EQ(ReadSetting({"A=1", "B=2", "A=3"}, "A", "x"), "1");
}

TEST(ReadSetting, KeyMatchesAnywhereInTheLine) {
    EXPECT_EQ(ReadSetting({"PROXY_PORT=8080", "PORT=80"}, "PORT", ""), "8080");
    EXPECT_EQ(ReadSetting({"XDEVICE=7", "DEVICE=2"}, "DEVICE", ""), "7");
}

TEST(ReadSetting, CaseAndBlanksMatter) {
    EXPECT_EQ(ReadSetting({"device=2", "DEVICE = 2"}, "DEVICE", "1"), "1");
    EXPECT_EQ(ReadSetting({"PROXY_PASS= a b "}, "PROXY_PASS", ""), " a b ");
}

TEST(ReadSetting, ValueStartsAfterTheFirstEqualsOfTheLine) {
    EXPECT_EQ(ReadSetting({"X=a=b"}, "X", ""), "a=b");
    EXPECT_EQ(ReadSetting({"Z=1 X=2"}, "X", ""), "1 X=2");
}

TEST(ReadSetting, LongValueIsCutTo255) {
    const QString value(300, QLatin1Char('v'));
    EXPECT_EQ(ReadSetting({"K=" + value}, "K", ""), value.left(255));
}

TEST(ReadSetting, ServesListsLongerThanASignedSixteenBitCount) {
    QStringList lines;
    for (int i = 0; i < 40000; ++i) lines << QStringLiteral("L%1=x").arg(i);
    lines << "LAST=yes";
    EXPECT_EQ(ReadSetting(lines, "LAST", "no"), "yes");
}

TEST(PadLeftZeros, FillsToTheWidthIgnoringLeadingBlanks) {
    EXPECT_EQ(PadLeftZeros("7", 2), "07");
    EXPECT_EQ(PadLeftZeros("12", 2), "12");
    EXPECT_EQ(PadLeftZeros(" 7", 2), "07");
    EXPECT_EQ(PadLeftZeros("\t7", 3), "007");
    EXPECT_EQ(PadLeftZeros("", 2), "00");
    EXPECT_EQ(PadLeftZeros("123", 2), "123");
}

TEST(PadLeftZeros, LongEnoughTextKeepsItsBlanks) {
    EXPECT_EQ(PadLeftZeros(" 12", 2), " 12");
    EXPECT_EQ(PadLeftZeros(" 5", 0), " 5");
    EXPECT_EQ(PadLeftZeros("5", -3), "5");
}

TEST(DescramblePassword, LowersEveryByteByTheKey) {
    EXPECT_EQ(DescramblePassword("", 433), "");
    EXPECT_EQ(DescramblePassword("bcd", 1), "abc");
    EXPECT_EQ(DescramblePassword(QString(QChar(0)), 1), QString(QChar(0xFF)));  // byte 255 is ÿ
    // 433 = 256 + 177: 'a' (97) - 177 wraps to 176, the degree sign.
    EXPECT_EQ(DescramblePassword("a", 433), QString(QChar(0xB0)));
}

TEST(DescramblePassword, WorksOnCodePageBytesNotOnCharacters) {
    // '€' is byte 0x80 in code page 1252; one lower is 0x7F, and 0x81 (undefined) gives '€'.
    EXPECT_EQ(DescramblePassword(QStringLiteral("€"), 1), QString(QChar(0x7F)));
    EXPECT_EQ(DescramblePassword(QString(QChar(0x81)), 1), QStringLiteral("€"));
    EXPECT_EQ(DescramblePassword(QStringLiteral("ã"), 1), QStringLiteral("â"));
}

TEST(DescramblePassword, ZeroOrNegativeKeyGivesOneBlankPerByte) {
    EXPECT_EQ(DescramblePassword("abc", 0), "   ");
    EXPECT_EQ(DescramblePassword("abc", -5), "   ");
}

TEST(DescramblePassword, HugeKeyTakesNoTime) {
    EXPECT_EQ(DescramblePassword("a", 2147483647), QString(QChar((97 - 2147483647 % 256 + 256) % 256)));
}

TEST(WeekdayName, SundayIsOneSaturdaySeven) {
    EXPECT_EQ(WeekdayName(1), "Domingo");
    EXPECT_EQ(WeekdayName(3), QStringLiteral("Terça-Feira"));
    EXPECT_EQ(WeekdayName(7), QStringLiteral("Sábado"));
    EXPECT_EQ(WeekdayName(0), "");
    EXPECT_EQ(WeekdayName(8), "");
}

TEST(MessageHelpers, BeepThenTheBoxWithItsCaption) {
    RecordingMessageBoxes boxes;
    boxes.answers = {false, true};
    BeepMessage("Pasta não encontrada");
    EXPECT_FALSE(ConfirmBox("Deseja Realmente Desligar o Sistema ??"));
    EXPECT_TRUE(ConfirmBox("Deseja Realmente Desativar o Sistema ??"));
    EXPECT_EQ(boxes.beeps, 3);
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes.boxes[0].caption, "Vendrasil Sonaris-V1 - DEMONSTRATIVO");
    EXPECT_EQ(boxes.boxes[1].kind, RecordingMessageBoxes::Box::Confirm);
    EXPECT_EQ(boxes.boxes[1].caption, "Tavon Sistemas");
}

TEST(GetWindowsFolder, ConfigHomeWithoutTrailingSlashElseHomeConfig) {
    TempProgramFolder folder;
    qputenv("XDG_CONFIG_HOME", "/srv/cfg/");
    EXPECT_EQ(GetWindowsFolder(), "/srv/cfg");
    qputenv("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
    EXPECT_EQ(GetWindowsFolder(), qEnvironmentVariable("HOME") + "/.config");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/loja/");
    EXPECT_EQ(GetWindowsFolder(), "/home/loja/.config");
}

}  // namespace
