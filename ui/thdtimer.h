#pragma once
// TThreadedTimer: a timer whose interval elapses on a worker thread of its own while its
// OnTimer handler runs on the user-interface thread.
//
// Threads and locks: the worker only waits and hands off; everything else (the property
// writers, Tick, OnTimer, the destructor) runs on the thread that created the timer, the
// user-interface thread. `mutex_` guards the fields shared with the worker (the interval,
// the parked flag, the stop and hand-off flags); OnTimer is never called with it held.
//
// Contract:
//  - A disabled timer's worker is parked: it neither counts intervals nor hands off ticks.
//  - Enabling (interval > 0) starts a fresh full interval: the first tick comes one interval
//    after enabling. Changing the interval of an enabled timer restarts it the same way.
//  - Each elapsed interval posts one tick to the user-interface thread and blocks until it has
//    run, so ticks never overlap or pile up, and the next interval starts after the handler.
//    The tick is an ordinary posted event: it is served by any event loop of that thread,
//    the nested loops of modal message boxes and dialogs included.
//  - A tick already posted when the timer is disabled reaches Tick, which calls nothing; one
//    posted before the timer was restarted (enabled again, new interval) is dropped.
//  - Destruction ends the worker promptly, also when it is blocked in a hand-off.
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThreadedTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadedTimer(QObject* owner = nullptr);
    ~TThreadedTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    std::uint32_t Interval() const;
    void SetInterval(std::uint32_t value);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority value);

    // Called on the user-interface thread with the timer as sender.
    std::function<void(TThreadedTimer*)> OnTimer;
    // Optional, set before enabling: asked on the worker thread when an interval has run out.
    // False means the handler would find nothing to do: the tick is skipped and the next
    // interval starts at once, without waking the user-interface thread. It must be safe to
    // call from the worker (atomics only).
    void SetDue(std::function<bool()> due);
    // With announced changes the worker does not look again at every interval's end after a
    // skipped tick: it sleeps until DueMayHaveChanged, then looks at the next end of an interval
    // counted from the skipped one, where a look every interval would have found the change.
    // Set once every change of the due check is announced (before enabling, or from a tick).
    void SetDueChangesAnnounced(bool announced);
    // From any thread, after a change that may make the due check true.
    void DueMayHaveChanged();
    // DueMayHaveChanged as a function that may outlive the timer (then it does nothing): for a
    // library thread that announces changes and knows nothing of the timer's life.
    std::function<void()> DueAnnouncer() const;
    int Tag = 0;

    // Runs one tick on the calling (user-interface) thread: OnTimer when enabled and assigned.
    void Tick();

private:
    struct Shared;
    void Run(std::shared_ptr<Shared> shared);
    void Post(const std::shared_ptr<Shared>& shared, std::uint64_t generation);
    void Park(bool parked);

    std::shared_ptr<Shared> shared_;
    std::thread worker_;
    bool enabled_ = false;
    TThreadPriority priority_ = TThreadPriority::tpNormal;
};
