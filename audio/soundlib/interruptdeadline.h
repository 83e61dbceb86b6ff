#pragma once
// FFmpeg's interrupt callback for one connection: it gives up a blocking FFmpeg call when the
// connection is being closed or when its deadline has passed. While the stream is being
// opened the deadline is the attempt's own, one for the name look-up, the connection, the
// redirects and the answer's headers together; once it plays, each read gets the network
// time-out anew. FFmpeg asks it about ten times a second while it waits, from whichever
// thread is in the call, so it is all atomics.
#include <atomic>
#include <chrono>
#include <cstdint>

extern "C" {
#include <libavformat/avio.h>
}

namespace soundlib {

class InterruptDeadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit InterruptDeadline(int timeoutMs) : timeoutMs_(timeoutMs) { Restart(); }

    // Starts a new wait: the deadline is the time-out from now.
    void Restart() { Until(Clock::now() + std::chrono::milliseconds(timeoutMs_)); }
    // The deadline is `until`, whatever the time-out.
    void Until(Clock::time_point until) {
        deadline_.store(until.time_since_epoch().count(), std::memory_order_relaxed);
        expired_.store(false, std::memory_order_relaxed);
    }
    void Abort() { aborted_.store(true); }
    bool Aborted() const { return aborted_.load(); }
    // True when the last interruption came from the deadline rather than from Abort.
    bool Expired() const { return expired_.load(); }
    int TimeoutMs() const { return timeoutMs_; }

    AVIOInterruptCB Callback() { return AVIOInterruptCB{&InterruptDeadline::Check, this}; }

private:
    static int Check(void* opaque) {
        auto* self = static_cast<InterruptDeadline*>(opaque);
        if (self->aborted_.load()) return 1;
        if (Clock::now().time_since_epoch().count() > self->deadline_.load(std::memory_order_relaxed)) {
            self->expired_.store(true);
            return 1;
        }
        return 0;
    }

    const int timeoutMs_;
    std::atomic<Clock::rep> deadline_{0};
    std::atomic<bool> aborted_{false};
    std::atomic<bool> expired_{false};
};

}  // namespace soundlib
