#include "system/formats.h"
#include "system/userformats.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

namespace {

class ProgramFormats : public ::testing::Test {
protected:
    ~ProgramFormats() override { UseFixedProgramFormats(); }
    TempProgramFolder folder;
};

TEST_F(ProgramFormats, FixedFormatsAreInForceFromTheStart) {
    EXPECT_EQ(ProgramTimeFormat(), "HH:mm:ss");
    EXPECT_EQ(ProgramDateFormat(), "dd/MM/yyyy");
    EXPECT_EQ(FormatTime(QTime(9, 5, 3)), "09:05:03");
    EXPECT_EQ(FormatDate(QDate(2026, 3, 5)), "05/03/2026");
}

TEST_F(ProgramFormats, ParsingIsStrict) {
    bool ok = false;
    EXPECT_EQ(ParseTime("23:59:59", &ok), QTime(23, 59, 59));
    EXPECT_TRUE(ok);
    EXPECT_EQ(ParseTime("00:00:00", &ok), QTime(0, 0));
    EXPECT_TRUE(ok);
    for (const char* bad : {"25:00:00", "", "||||", "9:00:00", "12:60:00", " 12:00:00", "12:00:00 ", "12:00"}) {
        EXPECT_FALSE(ParseTime(bad, &ok).isValid()) << bad;
        EXPECT_FALSE(ok) << bad;
    }
}

TEST_F(ProgramFormats, UserFormatsAreTakenOnceAndKept) {
    ASSERT_TRUE(SetUserTimeFormat("hh:mm:ss AP"));
    ASSERT_TRUE(SetUserShortDateFormat("MM/dd/yy"));
    UseUserProgramFormats();
    EXPECT_EQ(FormatTime(QTime(0, 0)), "12:00:00 AM");
    EXPECT_EQ(FormatDate(QDate(2003, 1, 2)), "01/02/03");
    EXPECT_EQ(ParseTime("01:30:00 PM"), QTime(13, 30));
    ASSERT_TRUE(SetUserTimeFormat("HH:mm:ss"));  // a later change of the user's settings
    EXPECT_EQ(ProgramTimeFormat(), "hh:mm:ss AP");
    UseFixedProgramFormats();
    EXPECT_EQ(FormatTime(QTime(0, 0)), "00:00:00");
}

}  // namespace
