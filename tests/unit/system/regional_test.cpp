#include "system/regional.h"

#include "system/codepage1252.h"

#include "tests/support/testsupport.h"

#include <QDir>

#include <locale.h>

#include <gtest/gtest.h>

namespace {

const QString kTimeQuestion = QStringLiteral(
    "O Formato de HORA Padrão do Windows está em modo incompatível com o sistema Vendrasil\r\r"
    "DESEJA QUE O SOFTWARE ACERTE O FORMATO PADRÃO PARA HH:mm:ss ??");
const QString kDateQuestion = QStringLiteral(
    "O Formato de DATA Padrão do Windows está em modo incompatível com o sistema Vendrasil\r\r"
    "DESEJA QUE O SOFTWARE ACERTE O FORMATO PADRÃO PARA dd/MM/aaaa ??");
const QString kFailed = QStringLiteral("Não foi possível efetuar a correção - Verifique");

class RegionalCheck : public ::testing::Test {
protected:
    ~RegionalCheck() override { qputenv("LC_ALL", oldLocale_); }

    // Runs the check under a real locale.
    void UseLocale(const char* name) {
        locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
        if (loc == static_cast<locale_t>(nullptr)) GTEST_SKIP() << name << " is not installed (localedef it)";
        freelocale(loc);
        qputenv("LC_ALL", name);
    }
    // The user's override file, as "setting the user's format" writes it.
    void Override(const QStringList& lines) {
        QDir().mkpath(folder.ConfigHome() + "/sonaris");
        ASSERT_TRUE(WriteLines1252(UserFormatsFile(), lines));
    }
    QStringList OverrideLines() const { return ReadLines1252(UserFormatsFile()); }

    TempProgramFolder folder;
    RecordingMessageBoxes boxes;
    QByteArray oldLocale_ = qgetenv("LC_ALL");
};

TEST_F(RegionalCheck, BrazilianLocalePassesSilently) {
    UseLocale("pt_BR.UTF-8");
    EXPECT_TRUE(CheckRegionalFormats());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(boxes.beeps, 0);
}

TEST_F(RegionalCheck, DataIniSwitchesTheCheckOff) {
    UseLocale("C.UTF-8");  // its short date MM/dd/yy would be asked about
    WriteBytes(folder.File("DATA.INI"), "");
    EXPECT_TRUE(CheckRegionalFormats());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(RegionalCheck, TwelveHourLocaleIsAskedAndCorrectedThenPasses) {
    UseLocale("en_US.UTF-8");  // 12:00:00 AM; its MM/dd/yyyy writes 01/01/2003 unchanged
    boxes.answers = {true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), QStringList{kTimeQuestion});
    EXPECT_EQ(boxes.boxes[0].caption, "Tavon Sistemas");
    EXPECT_EQ(boxes.beeps, 1);
    EXPECT_EQ(OverrideLines(), QStringList{"TIME_FORMAT=HH:mm:ss"});
    EXPECT_EQ(UserTimeFormat(), "HH:mm:ss");

    boxes.Clear();  // the next start
    EXPECT_TRUE(CheckRegionalFormats());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(RegionalCheck, TwoDigitYearIsAskedAboutTheDate) {
    UseLocale("C.UTF-8");
    boxes.answers = {true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), QStringList{kDateQuestion});
    EXPECT_EQ(UserShortDateFormat(), "dd/MM/yyyy");
    EXPECT_EQ(UserTimeFormat(), "HH:mm:ss");  // the locale's, untouched
}

TEST_F(RegionalCheck, HoursWithoutLeadingZeroAreAskedAbout) {
    UseLocale("pt_BR.UTF-8");
    Override({"TIME_FORMAT=H:mm:ss"});
    boxes.answers = {true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), QStringList{kTimeQuestion});
    EXPECT_EQ(OverrideLines(), QStringList{"TIME_FORMAT=HH:mm:ss"});
}

TEST_F(RegionalCheck, RefusedCorrectionChangesNothing) {
    UseLocale("pt_BR.UTF-8");
    Override({"TIME_FORMAT=h:mm:ss AP", "SHORT_DATE_FORMAT=d/M/yyyy"});
    boxes.answers = {false, false};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{kTimeQuestion, kDateQuestion}));
    EXPECT_EQ(OverrideLines(), (QStringList{"TIME_FORMAT=h:mm:ss AP", "SHORT_DATE_FORMAT=d/M/yyyy"}));
}

TEST_F(RegionalCheck, BothWrongAsksTimeThenDateAndEndsOnce) {
    UseLocale("en_US.UTF-8");
    Override({"SHORT_DATE_FORMAT=d/M/yyyy"});
    boxes.answers = {true, true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{kTimeQuestion, kDateQuestion}));
    EXPECT_EQ(OverrideLines(), (QStringList{"SHORT_DATE_FORMAT=dd/MM/yyyy", "TIME_FORMAT=HH:mm:ss"}));
    boxes.Clear();
    EXPECT_TRUE(CheckRegionalFormats());
}

TEST_F(RegionalCheck, OtherDateSeparatorReportsTheFormatThenAsks) {
    UseLocale("pt_BR.UTF-8");
    Override({"SHORT_DATE_FORMAT=dd.MM.yyyy"});
    boxes.answers = {true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("Formato de Data Inválido:dd.MM.yyyy"), kDateQuestion}));
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(UserShortDateFormat(), "dd/MM/yyyy");
}

TEST_F(RegionalCheck, OtherTimeSeparatorReportsTheShortTimeFormatThenAsks) {
    UseLocale("pt_BR.UTF-8");
    Override({"TIME_FORMAT=HH.mm.ss"});
    boxes.answers = {false};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("Formato de Hora Inválido:HH.mm"), kTimeQuestion}));
}

TEST_F(RegionalCheck, YearFirstDateCannotReadTheTestDate) {
    UseLocale("pt_BR.UTF-8");
    Override({"SHORT_DATE_FORMAT=yyyy/MM/dd"});  // year 1, month 1, day 2003
    boxes.answers = {false};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("Formato de Data Inválido:yyyy/MM/dd"), kDateQuestion}));
}

TEST_F(RegionalCheck, ImpossibleCorrectionIsReported) {
    UseLocale("C.UTF-8");
    // A configuration folder below a regular file cannot be created, not even by root.
    WriteBytes(folder.File("plainfile"), "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.File("plainfile/config")));
    boxes.answers = {true};
    EXPECT_FALSE(CheckRegionalFormats());
    EXPECT_EQ(boxes.Texts(), (QStringList{kDateQuestion, kFailed}));
    EXPECT_EQ(ReadBytes(folder.File("plainfile")), "x");
}

}  // namespace
