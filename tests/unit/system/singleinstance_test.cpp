#include "system/singleinstance.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

namespace {

// The other process: this same test program, started with SONARIS_SINGLE_CHILD set, runs
// only the test below. "try" exits 10 when it got the lock and 20 when refused; "hold"
// takes the lock, says so, and keeps it until it is killed.
TEST(SingleInstanceChild, Run) {
    const QByteArray mode = qgetenv("SONARIS_SINGLE_CHILD");
    if (mode.isEmpty()) GTEST_SKIP() << "runs only as the other process";
    SingleInstance instance;
    const bool acquired = instance.Acquire();
    if (mode == "hold" && acquired) {
        std::printf("locked\n");
        std::fflush(stdout);
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::_Exit(acquired ? 10 : 20);
}

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() {
        oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));  // private: a real player may run here
    }
    ~SingleInstanceTest() override { qputenv("XDG_RUNTIME_DIR", oldRuntime_); }

    void StartChild(QProcess& child, const char* mode) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SONARIS_SINGLE_CHILD", mode);
        child.setProcessEnvironment(env);
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({"--gtest_filter=SingleInstanceChild.Run"});
        child.start();
    }
    int ChildTries() {
        QProcess child;
        StartChild(child, "try");
        if (!child.waitForFinished(30000)) return -1;
        return child.exitCode();
    }

    QTemporaryDir runtime_;
    QByteArray oldRuntime_;
};

TEST_F(SingleInstanceTest, LockFileIsPerUserInTheRuntimeFolder) {
    SingleInstance instance;
    EXPECT_TRUE(instance.LockPath().startsWith(runtime_.path() + "/"));
    EXPECT_TRUE(instance.LockPath().contains(QString::number(getuid())));
    EXPECT_TRUE(instance.Acquire());
    EXPECT_TRUE(instance.Acquire());  // asking again while holding it
    EXPECT_TRUE(QFileInfo::exists(instance.LockPath()));
}

TEST_F(SingleInstanceTest, SecondProcessIsRefusedWhileTheFirstHoldsIt) {
    {
        SingleInstance first;
        ASSERT_TRUE(first.Acquire());
        EXPECT_EQ(ChildTries(), 20);
    }
    EXPECT_EQ(ChildTries(), 10);  // released with the object
}

TEST_F(SingleInstanceTest, LockOfACrashedRunIsTakenOver) {
    QProcess holder;
    StartChild(holder, "hold");
    bool locked = false;
    while (!locked && (holder.canReadLine() || holder.waitForReadyRead(30000))) {
        while (holder.canReadLine()) locked = locked || holder.readLine().trimmed() == "locked";
    }
    ASSERT_TRUE(locked);
    SingleInstance second;
    EXPECT_FALSE(second.Acquire());
    holder.kill();  // SIGKILL: the lock file stays behind
    ASSERT_TRUE(holder.waitForFinished(30000));
    EXPECT_TRUE(QFileInfo::exists(second.LockPath()));
    EXPECT_TRUE(second.Acquire());
}

}  // namespace
