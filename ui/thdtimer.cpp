#include "ui/thdtimer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>

#include <chrono>


struct TThreadedTimer::Shared {
    std::mutex mutex;
    std::condition_variable wake;  // the worker waits on it: interval, park, stop, hand-off done
    std::uint32_t interval = 1000;
    bool parked = true;      // disabled, or interval 0
    bool restart = false;    // enabling or a new interval cuts the current wait short, no tick
    bool terminate = false;
    bool tickPending = false;  // a tick is posted and has not run yet
    // Counts the starts (enabling, a new interval). A posted tick carries the count of the
    // interval that produced it and is dropped when the timer was restarted meanwhile, so a
    // re-enabled timer always waits a full interval before its first call.
    std::uint64_t generation = 0;
};

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner), shared_(std::make_shared<Shared>()) {
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
    QPointer<TThreadedTimer> self(this);
    std::unique_lock lock(s->mutex);
    while (!s->terminate) {
        if (s->parked) {
            s->wake.wait(lock, [&] { return s->terminate || !s->parked; });
            continue;
        }
        s->restart = false;
        const std::uint64_t generation = s->generation;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s->interval);
        const bool woken = s->wake.wait_until(lock, deadline, [&] { return s->terminate || s->parked || s->restart; });
        if (woken) continue;  // signalled: no tick
        // The interval ran out: hand the tick to the user-interface thread and wait for it.
        s->tickPending = true;
        lock.unlock();
        QMetaObject::invokeMethod(
            self.data(),
            [self, s, generation] {
                // Releases the worker however the handler leaves, an exception included:
                // otherwise one failing handler would stop this timer for good.
                struct HandOffDone {
                    Shared& s;
                    ~HandOffDone() {
                        {
                            std::lock_guard l(s.mutex);
                            s.tickPending = false;
                        }
                        s.wake.notify_all();
                    }
                } done{*s};
                bool current;
                {
                    std::lock_guard l(s->mutex);
                    current = s->generation == generation;
                }
                if (!self || !current) return;
                // A handler may open a modal box; its nested loop must also serve the ticks
                // of other timers already queued behind this one. The glib dispatcher only
                // looks at the queue again after a new wake-up, so give it one.
                if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
                self->Tick();
            },
            Qt::QueuedConnection);
        lock.lock();
        s->wake.wait(lock, [&] { return s->terminate || !s->tickPending; });
    }
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

void TThreadedTimer::Tick() {
    if (enabled_ && OnTimer) OnTimer(this);
}
