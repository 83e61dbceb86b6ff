#include "system/shellcommand.h"

#include "tests/support/testsupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

bool AppearsWithin(const QString& path, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (QFileInfo::exists(path)) return true;
        PumpEvents(20);
    }
    return QFileInfo::exists(path);
}

TEST(StartDetached, RunsTheProgramWithoutAShell) {
    TempProgramFolder folder;
    // With a shell this would make two files; without one it is one odd name.
    const QString odd = folder.File("a; touch b");
    EXPECT_TRUE(StartDetached("touch", {odd}));
    EXPECT_TRUE(AppearsWithin(odd, 10000));
    EXPECT_FALSE(QFileInfo::exists(folder.File("b")));
}

TEST(StartDetached, MissingProgramIsAFalseNotACrash) {
    EXPECT_FALSE(StartDetached("/nonexistent/program", {}));
    FlushDnsCache();  // resolvectl may be missing here; either way nothing is reported
}

}  // namespace
