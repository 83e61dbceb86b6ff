// The threaded timer's contract on a real event loop: when ticks come, that they run on this
// thread one at a time, that nested loops serve them, and that destruction is prompt and
// final. Timings are lower bounds (a worker never ticks early) or generous upper bounds;
// everything else is order and counts.
#include "ui/thdtimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Serves events until `done` holds or `timeoutMs` passes; true when `done` held.
template <class Pred>
bool PumpUntil(Pred done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void Serve(int ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace

TEST(ThreadedTimerStart, FirstTickComesOneIntervalAfterEnablingOnThisThread) {
    TThreadedTimer timer;
    std::vector<double> ticks;
    std::thread::id tickThread;
    timer.SetInterval(100);
    const auto t0 = Clock::now();
    timer.OnTimer = [&](TThreadedTimer* sender) {
        EXPECT_EQ(sender, &timer);
        tickThread = std::this_thread::get_id();
        ticks.push_back(MsSince(t0));
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks.size() >= 3; }));
    EXPECT_GE(ticks[0], 95.0);
    EXPECT_GE(ticks[1] - ticks[0], 95.0);
    EXPECT_EQ(tickThread, std::this_thread::get_id());
}

TEST(ThreadedTimerStart, LayoutSettingEnabledBeforeIntervalTicksAtTheNewInterval) {
    TThreadedTimer timer;  // interval 1000 until the layout sets 300
    std::vector<double> ticks;
    const auto t0 = Clock::now();
    timer.OnTimer = [&](TThreadedTimer*) { ticks.push_back(MsSince(t0)); };
    timer.SetEnabled(true);
    timer.SetInterval(300);
    ASSERT_TRUE(PumpUntil([&] { return ticks.size() >= 2; }));
    EXPECT_GE(ticks[0], 295.0);
    EXPECT_LT(ticks[0], 1000.0);  // not the interval of 1000 it was enabled with
    EXPECT_LT(ticks[1], 2000.0);
}

TEST(ThreadedTimerStart, IntervalZeroGivesNoTicksUntilANonZeroIntervalIsSet) {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    Serve(300);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(timer.Enabled());
    timer.SetInterval(50);
    EXPECT_TRUE(PumpUntil([&] { return calls >= 2; }));
}

TEST(ThreadedTimerStart, DisabledTimerNeverTicks) {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer.SetInterval(20);
    Serve(200);
    EXPECT_EQ(calls, 0);
}

TEST(ThreadedTimerEnable, DisablingInsideOnTimerStopsAndReEnablingWaitsAFullInterval) {
    TThreadedTimer timer;
    int calls = 0;
    timer.SetInterval(100);
    timer.OnTimer = [&](TThreadedTimer* t) {
        ++calls;
        t->SetEnabled(false);
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    Serve(400);
    EXPECT_EQ(calls, 1);

    const auto t0 = Clock::now();
    double second = -1;
    timer.OnTimer = [&](TThreadedTimer* t) {
        ++calls;
        second = MsSince(t0);
        t->SetEnabled(false);
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
    EXPECT_GE(second, 95.0);
}

TEST(ThreadedTimerEnable, TickPostedBeforeARestartIsDropped) {
    // The worker posts a tick while this thread is busy; the timer is then disabled and
    // enabled again before the tick is served. The restart must wait a full interval.
    TThreadedTimer timer;
    std::vector<double> ticks;
    timer.SetInterval(50);
    timer.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the tick is posted now
    timer.SetInterval(200);  // a restart, as disabling and enabling is
    const auto t0 = Clock::now();
    timer.OnTimer = [&](TThreadedTimer*) { ticks.push_back(MsSince(t0)); };
    ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }));
    EXPECT_GE(ticks[0], 195.0);
}

TEST(ThreadedTimerEnable, TickPostedBeforeDisablingCallsNothing) {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer.SetInterval(30);
    timer.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    timer.SetEnabled(false);
    Serve(200);
    EXPECT_EQ(calls, 0);
}

TEST(ThreadedTimerHandOff, SlowHandlerIsCalledAgainOneIntervalAfterItReturns) {
    TThreadedTimer timer;
    struct Call {
        double start, end;
    };
    std::vector<Call> calls;
    bool inside = false;
    bool overlapped = false;
    const auto t0 = Clock::now();
    timer.SetInterval(100);
    timer.OnTimer = [&](TThreadedTimer*) {
        if (inside) overlapped = true;
        inside = true;
        const double start = MsSince(t0);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        calls.push_back({start, MsSince(t0)});
        inside = false;
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls.size() >= 3; }, 10000));
    timer.SetEnabled(false);
    EXPECT_FALSE(overlapped);
    for (size_t i = 1; i < calls.size(); ++i) {
        const double gap = calls[i].start - calls[i - 1].end;
        EXPECT_GE(gap, 95.0) << "call " << i << " piled up on the previous one";
        EXPECT_LT(gap, 1000.0);
    }
}

// A handler that once waited long (a box left open for hours) must not make the timer sleep
// as long again: the tick after it is followed by the next one an interval or so later.
TEST(ThreadedTimerHandOff, OneLongHandOffIsNotWaitedAgainAfterTheNextTick) {
    TThreadedTimer timer;
    std::vector<std::pair<double, double>> calls;  // start, end
    const auto t0 = Clock::now();
    timer.SetInterval(50);
    timer.OnTimer = [&](TThreadedTimer*) {
        const double start = MsSince(t0);
        if (calls.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        calls.push_back({start, MsSince(t0)});
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls.size() >= 3; }, 10000));
    timer.SetEnabled(false);
    EXPECT_LT(calls[2].first - calls[1].second, 1000.0) << "the 2 s hand-off was waited again";
}

TEST(ThreadedTimerHandOff, TicksKeepComingInsideAModalMessageBox) {
    TThreadedTimer timer;
    int calls = 0;
    timer.SetInterval(30);
    timer.OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer.SetEnabled(true);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sonaris"), QStringLiteral("modal"), QMessageBox::Ok);
    QTimer::singleShot(400, &box, [&] { box.accept(); });
    box.exec();
    EXPECT_GE(calls, 3);
}

TEST(ThreadedTimerHandOff, HandlerWaitingInANestedLoopGetsNoTickWhileOthersTick) {
    TThreadedTimer waiting;
    TThreadedTimer other;
    int waitingCalls = 0;
    int otherCalls = 0;
    int otherCallsInside = 0;
    bool reentered = false;
    bool inside = false;
    waiting.SetInterval(20);
    other.SetInterval(20);
    other.OnTimer = [&](TThreadedTimer*) {
        ++otherCalls;
        if (inside) ++otherCallsInside;
    };
    waiting.OnTimer = [&](TThreadedTimer* t) {
        if (inside) reentered = true;
        ++waitingCalls;
        if (waitingCalls > 1) return;
        inside = true;
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        inside = false;
        t->SetEnabled(false);
    };
    waiting.SetEnabled(true);
    other.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return waitingCalls >= 1 && !inside && !waiting.Enabled(); }));
    EXPECT_FALSE(reentered);
    EXPECT_EQ(waitingCalls, 1);
    EXPECT_GE(otherCallsInside, 3) << "calls of the other timer: " << otherCalls;
}

TEST(ThreadedTimerHandOff, HandlerThatThrowsDoesNotStopTheTimer) {
    TThreadedTimer timer;
    int calls = 0;
    timer.SetInterval(30);
    timer.OnTimer = [&](TThreadedTimer*) {
        if (++calls == 1) throw std::runtime_error("handler failed");
    };
    timer.SetEnabled(true);
    // The program's application object reports such errors and goes on; here the loop
    // serving the tick sees the exception and carries on likewise.
    bool thrown = false;
    QElapsedTimer t;
    t.start();
    while (calls < 3 && t.elapsed() < 5000) {
        try {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(thrown);
    EXPECT_GE(calls, 3);
}

// An idle player's poll: while the worker finds nothing due, no tick reaches this thread;
// the first interval after something becomes due ticks.
TEST(ThreadedTimerHandOff, NothingDueSkipsTicksAndTheFirstDueIntervalTicks) {
    TThreadedTimer timer;
    std::atomic<bool> due{false};
    std::atomic<int> asked{0};
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetDue([&] {
        ++asked;
        return due.load();
    });
    timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return asked.load() >= 5; }));
    Serve(30);
    EXPECT_EQ(ticks, 0);
    due = true;
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }, 1000));
}

// A poll whose changes are announced: the worker sleeps through the intervals after a skipped
// tick, and an announcement that finds nothing due puts it back to sleep; a change that makes
// the tick due is not lost.
TEST(ThreadedTimerHandOff, AnnouncedChangesLetTheWorkerSleepUntilOneComes) {
    TThreadedTimer timer;
    std::atomic<bool> due{false};
    std::atomic<int> asked{0};
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetDue([&] {
        ++asked;
        return due.load();
    });
    timer.SetDueChangesAnnounced(true);
    timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return asked.load() >= 1; }));
    Serve(200);
    EXPECT_EQ(asked.load(), 1);
    timer.DueMayHaveChanged();
    ASSERT_TRUE(PumpUntil([&] { return asked.load() >= 2; }));
    Serve(200);
    EXPECT_EQ(asked.load(), 2);
    EXPECT_EQ(ticks, 0);
    due = true;
    timer.DueMayHaveChanged();
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }, 1000));
}

TEST(ThreadedTimerDestroy, EndsPromptlyWhetherEnabledOrNotAndNoTickFollows) {
    for (const bool enabled : {true, false}) {
        int calls = 0;
        auto timer = std::make_unique<TThreadedTimer>();
        timer->SetInterval(60000);
        timer->OnTimer = [&](TThreadedTimer*) { ++calls; };
        timer->SetEnabled(enabled);
        Serve(50);
        const auto t0 = Clock::now();
        timer.reset();
        EXPECT_LT(MsSince(t0), 2000.0) << "enabled " << enabled;
        Serve(100);
        EXPECT_EQ(calls, 0);
    }
}

TEST(ThreadedTimerDestroy, EndsPromptlyWhenBlockedInAHandOffAndTheTickNeverArrives) {
    int calls = 0;
    auto timer = std::make_unique<TThreadedTimer>();
    timer->SetInterval(20);
    timer->OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer->SetEnabled(true);
    // This thread is busy: the worker posts its tick and blocks waiting for it.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto t0 = Clock::now();
    timer.reset();
    EXPECT_LT(MsSince(t0), 2000.0);
    Serve(150);
    EXPECT_EQ(calls, 0);
}

TEST(ThreadedTimerDestroy, HandlerMayDestroyItsOwnTimer) {
    int calls = 0;
    auto* timer = new TThreadedTimer;
    timer->SetInterval(20);
    timer->OnTimer = [&](TThreadedTimer* t) {
        ++calls;
        delete t;
    };
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    Serve(150);
    EXPECT_EQ(calls, 1);
}

TEST(ThreadedTimerDestroy, OwnerDestroysItsTimer) {
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    auto* timer = new TThreadedTimer(owner.get());
    timer->SetInterval(20);
    timer->OnTimer = [&](TThreadedTimer*) { ++calls; };
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls >= 1; }));
    owner.reset();
    const int seen = calls;
    Serve(100);
    EXPECT_EQ(calls, seen);
}
