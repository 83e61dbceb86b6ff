#include "system/strftimeformat.h"

#include "tests/support/testsupport.h"

#include <locale.h>

#include <gtest/gtest.h>

namespace {

TEST(StrftimeFormat, CommonLocaleFormats) {
    EXPECT_EQ(QtFormatFromStrftime("%H:%M:%S"), "HH:mm:ss");
    EXPECT_EQ(QtFormatFromStrftime("%T"), "HH:mm:ss");
    EXPECT_EQ(QtFormatFromStrftime("%d/%m/%Y"), "dd/MM/yyyy");
    EXPECT_EQ(QtFormatFromStrftime("%m/%d/%y"), "MM/dd/yy");
    EXPECT_EQ(QtFormatFromStrftime("%D"), "MM/dd/yy");
    EXPECT_EQ(QtFormatFromStrftime("%d.%m.%Y"), "dd.MM.yyyy");
    EXPECT_EQ(QtFormatFromStrftime("%F"), "yyyy-MM-dd");
}

TEST(StrftimeFormat, TwelveHourAndUnpaddedHours) {
    EXPECT_EQ(QtFormatFromStrftime("%r", "%I:%M:%S %p"), "hh:mm:ss AP");
    EXPECT_EQ(QtFormatFromStrftime("%r"), "hh:mm:ss AP");
    EXPECT_EQ(QtFormatFromStrftime("%l:%M %P"), "h:mm ap");
    EXPECT_EQ(QtFormatFromStrftime("%-H:%M:%S"), "H:mm:ss");
    EXPECT_EQ(QtFormatFromStrftime("%k:%M"), "H:mm");
    EXPECT_EQ(QtFormatFromStrftime("%e/%-m/%Y"), "d/M/yyyy");
}

TEST(StrftimeFormat, LiteralLettersAreQuoted) {
    EXPECT_EQ(QtFormatFromStrftime("%Hh%M"), "HH'h'mm");
    EXPECT_EQ(QtFormatFromStrftime("%H時%M分"), "HH'時'mm'分'");
    EXPECT_EQ(QtFormatFromStrftime("%d de %B"), "dd' de 'MMMM");
    EXPECT_EQ(QtFormatFromStrftime("100%%"), "100%");
}

bool LocaleInstalled(const char* name) {
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return false;
    freelocale(loc);
    return true;
}

class LocaleEnvironment : public ::testing::Test {
protected:
    ~LocaleEnvironment() override { qputenv("LC_ALL", old_); }
    void Use(const char* name) {
        if (!LocaleInstalled(name)) GTEST_SKIP() << name << " is not installed (localedef it)";
        qputenv("LC_ALL", name);
    }
    QByteArray old_ = qgetenv("LC_ALL");
};

TEST_F(LocaleEnvironment, BrazilianLocaleHasTheProgramsFormats) {
    Use("pt_BR.UTF-8");
    EXPECT_EQ(LocaleTimeFormat(), "HH:mm:ss");
    EXPECT_EQ(LocaleShortDateFormat(), "dd/MM/yyyy");
}

TEST_F(LocaleEnvironment, AmericanLocaleIsTwelveHourMonthFirst) {
    Use("en_US.UTF-8");
    EXPECT_EQ(LocaleTimeFormat(), "hh:mm:ss AP");
    EXPECT_EQ(LocaleShortDateFormat(), "MM/dd/yyyy");
}

TEST_F(LocaleEnvironment, MissingLocaleFallsBackToC) {
    Use("C.UTF-8");
    qputenv("LC_ALL", "xx_NOWHERE.UTF-8");
    EXPECT_EQ(LocaleTimeFormat(), "HH:mm:ss");
    EXPECT_EQ(LocaleShortDateFormat(), "MM/dd/yy");
}

}  // namespace
