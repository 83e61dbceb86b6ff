#include "ui/thdtimer.h"

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
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s->interval);
        const bool woken = s->wake.wait_until(lock, deadline, [&] { return s->terminate || s->parked || s->restart; });
        if (woken) continue;  // signalled: no tick
        // The interval ran out: hand the tick to the user-interface thread and wait for it.
        s->tickPending = true;
        lock.unlock();
        QMetaObject::invokeMethod(
            self.data(),
            [self, s] {
                if (self) self->Tick();
                {
                    std::lock_guard l(s->mutex);
                    s->tickPending = false;
                }
                s->wake.notify_all();
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
        if (!parked) shared_->restart = true;
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
