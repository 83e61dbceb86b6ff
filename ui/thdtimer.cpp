#include "ui/thdtimer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

#include <pthread.h>


namespace {
using Clock = std::chrono::steady_clock;

// Ticks posted to the user-interface thread that have not started yet, over every timer. A
// handler may open a modal box, and the glib dispatcher's nested loop only looks at the queue
// of posted events again after a new wake-up: the ticks queued behind that handler would wait
// for the box. The dispatcher is woken before it blocks whenever one is queued, instead of at
// every tick, so an idle player's ticks cost one wake-up each.
std::atomic<int> queuedTicks{0};

// Timers are created on the user-interface thread; its dispatcher gets the hook once.
void HookDispatcher() {
    static QPointer<QAbstractEventDispatcher> hooked;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || dispatcher == hooked) return;
    hooked = dispatcher;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [dispatcher] {
        if (queuedTicks.load(std::memory_order_acquire) > 0) dispatcher->wakeUp();
    });
}

// Counts one queued tick from its posting until its handler starts, or until the posted call is
// dropped unrun (its timer gone): a count left behind would keep the dispatcher awake for good.
class QueuedTick {
public:
    QueuedTick() { queuedTicks.fetch_add(1, std::memory_order_acq_rel); }
    QueuedTick(QueuedTick&& other) noexcept : counted_(std::exchange(other.counted_, false)) {}
    QueuedTick(const QueuedTick&) = delete;
    QueuedTick& operator=(const QueuedTick&) = delete;
    ~QueuedTick() { Started(); }
    void Started() {
        if (std::exchange(counted_, false)) queuedTicks.fetch_sub(1, std::memory_order_acq_rel);
    }

private:
    bool counted_ = true;
};
}  // namespace

struct TThreadedTimer::Shared {
    std::mutex mutex;
    std::condition_variable wake;  // the worker waits on it: interval, park, stop, hand-off done
    std::uint32_t interval = 1000;
    bool parked = true;      // disabled, or interval 0
    bool restart = false;    // enabling or a new interval cuts the current wait short, no tick
    bool terminate = false;
    bool tickPending = false;      // a tick is posted and has not run yet
    bool awaitingHandOff = false;  // the worker sleeps until the pending tick has run
    std::function<bool()> due;     // empty: every interval ticks
    bool dueAnnounced = false;     // a skipped tick sleeps until dueChanged
    bool dueChanged = false;
    bool awaitingDue = false;      // the worker sleeps until dueChanged
    Clock::time_point handedBackAt;  // when the last tick's handler returned
    // Counts the starts (enabling, a new interval). A posted tick carries the count of the
    // interval that produced it and is dropped when the timer was restarted meanwhile, so a
    // re-enabled timer always waits a full interval before its first call.
    std::uint64_t generation = 0;
};

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner), shared_(std::make_shared<Shared>()) {
    HookDispatcher();
    worker_ = std::thread([this, shared = shared_] { Run(shared); });
}

TThreadedTimer::~TThreadedTimer() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->terminate = true;
    }
    shared_->wake.notify_all();
    // The worker never waits for this thread without also watching `terminate`, so the join
    // cannot deadlock; a tick it posted and that has not run yet finds the timer gone.
    if (worker_.joinable()) worker_.join();
}

void TThreadedTimer::Run(std::shared_ptr<Shared> s) {
    pthread_setname_np(pthread_self(), "thd-timer");
    std::unique_lock lock(s->mutex);
    const auto signalled = [&] { return s->terminate || s->parked || s->restart; };
    const auto interval = [&] { return Clock::duration(std::chrono::milliseconds(s->interval)); };
    // Sleeps until `until`; false when a park, a restart or the end cut the sleep short.
    const auto sleepUntil = [&](Clock::time_point until) { return !s->wake.wait_until(lock, until, signalled); };
    // How long the last hand-off took, from the posting to the handler's return, but never
    // more than an interval: a handler that once waited hours on a box must not make the
    // worker sleep as long again after the next tick.
    Clock::duration handOff{};
    while (!s->terminate) {
        if (s->parked) {
            s->wake.wait(lock, [&] { return s->terminate || !s->parked; });
            continue;
        }
        s->restart = false;
        const std::uint64_t generation = s->generation;
        Clock::time_point next = Clock::now() + interval();  // the end of the interval that runs
        while (sleepUntil(next)) {
            s->dueChanged = false;  // under the lock with the check: a change after it is seen
            if (s->due && !s->due()) {
                const Clock::time_point skipped = Clock::now();
                next = skipped + interval();
                if (s->dueAnnounced) {
                    // Nothing to look at until a change is announced; then the next interval's
                    // end counted from the skipped one, where a look every interval would be.
                    s->awaitingDue = true;
                    s->wake.wait(lock, [&] { return signalled() || s->dueChanged; });
                    s->awaitingDue = false;
                    if (signalled()) break;
                    next = skipped + interval() * ((Clock::now() - skipped) / interval() + 1);
                }
                continue;
            }
            s->tickPending = true;
            const Clock::time_point postedAt = Clock::now();
            lock.unlock();
            Post(s, generation);
            lock.lock();
            // The next interval's end if the handler takes as long as the last one: a quick
            // handler then costs this thread one wake-up per tick.
            const bool cut = !sleepUntil(postedAt + handOff + interval());
            if (s->tickPending) {  // a handler that is slow or waits in a box: nothing overlaps it
                s->awaitingHandOff = true;
                s->wake.wait(lock, [&] { return s->terminate || !s->tickPending; });
                s->awaitingHandOff = false;
            }
            if (s->terminate) return;
            if (cut || signalled()) break;  // parked, or a fresh interval from now
            handOff = std::min(s->handedBackAt - postedAt, interval());
            next = s->handedBackAt + interval();
        }
    }
}

void TThreadedTimer::Post(const std::shared_ptr<Shared>& s, std::uint64_t generation) {
    QPointer<TThreadedTimer> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, s, generation, queued = QueuedTick()]() mutable {
            queued.Started();
            // Releases the worker however the handler leaves, an exception included:
            // otherwise one failing handler would stop this timer for good.
            struct HandOffDone {
                Shared& s;
                ~HandOffDone() {
                    bool notify;
                    {
                        std::lock_guard l(s.mutex);
                        s.tickPending = false;
                        s.handedBackAt = Clock::now();
                        notify = s.awaitingHandOff;
                    }
                    if (notify) s.wake.notify_all();
                }
            } done{*s};
            bool current;
            {
                std::lock_guard l(s->mutex);
                current = s->generation == generation;
            }
            if (!self || !current) return;
            self->Tick();
        },
        Qt::QueuedConnection);
}

void TThreadedTimer::Park(bool parked) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->parked = parked;
        if (!parked) {
            shared_->restart = true;
            ++shared_->generation;
        }
    }
    shared_->wake.notify_all();
}

void TThreadedTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    Park(!(enabled_ && Interval() > 0));
}

std::uint32_t TThreadedTimer::Interval() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->interval;
}

void TThreadedTimer::SetInterval(std::uint32_t value) {
    if (value == Interval()) return;
    const bool wasEnabled = enabled_;
    SetEnabled(false);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->interval = value;
    }
    SetEnabled(wasEnabled);
}

void TThreadedTimer::SetThreadPriority(TThreadPriority value) {
    // Under Linux's default scheduler every thread has the same static priority and raising
    // it needs privileges the program does not have; the worker only waits, so the choice is
    // kept for readers of the property and has no effect on the timing.
    priority_ = value;
}

void TThreadedTimer::SetDue(std::function<bool()> due) {
    std::lock_guard lock(shared_->mutex);
    shared_->due = std::move(due);
}

void TThreadedTimer::SetDueChangesAnnounced(bool announced) {
    std::lock_guard lock(shared_->mutex);
    shared_->dueAnnounced = announced;
}

namespace {
template <typename Shared>
void AnnounceDue(Shared& s) {
    bool notify;
    {
        std::lock_guard lock(s.mutex);
        s.dueChanged = true;
        notify = s.awaitingDue;  // otherwise the worker looks at the due check by itself
    }
    if (notify) s.wake.notify_all();
}
}  // namespace

void TThreadedTimer::DueMayHaveChanged() { AnnounceDue(*shared_); }

std::function<void()> TThreadedTimer::DueAnnouncer() const {
    return [weak = std::weak_ptr<Shared>(shared_)] {
        if (const auto s = weak.lock()) AnnounceDue(*s);
    };
}

void TThreadedTimer::Tick() {
    if (enabled_ && OnTimer) OnTimer(this);
}
