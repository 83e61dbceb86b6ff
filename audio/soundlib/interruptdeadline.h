#pragma once
// FFmpeg's interrupt callback for one connection: it gives up a blocking FFmpeg call when the
// connection is being closed or when the current wait has outlasted the network time-out.
// FFmpeg asks it about ten times a second while it waits, from whichever thread is in the call.
#include <atomic>
#include <chrono>
#include <cstdint>

extern "C" {
#include <libavformat/avio.h>
}

namespace soundlib {

class InterruptDeadline {
public:
    explicit InterruptDeadline(int timeoutMs) : timeoutMs_(timeoutMs) { Restart(); }

    // Starts a new wait: the deadline is the time-out from now.
    void Restart() {
        deadline_.store(NowMs() + timeoutMs_, std::memory_order_relaxed);
        expired_.store(false, std::memory_order_relaxed);
    }
    void Abort() { aborted_.store(true); }
    bool Aborted() const { return aborted_.load(); }
    // True when the last interruption came from the deadline rather than from Abort.
    bool Expired() const { return expired_.load(); }
    int TimeoutMs() const { return timeoutMs_; }

    AVIOInterruptCB Callback() { return AVIOInterruptCB{&InterruptDeadline::Check, this}; }

private:
    static std::int64_t NowMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    static int Check(void* opaque) {
        auto* self = static_cast<InterruptDeadline*>(opaque);
        if (self->aborted_.load()) return 1;
        if (NowMs() > self->deadline_.load(std::memory_order_relaxed)) {
            self->expired_.store(true);
            return 1;
        }
        return 0;
    }

    const int timeoutMs_;
    std::atomic<std::int64_t> deadline_{0};
    std::atomic<bool> aborted_{false};
    std::atomic<bool> expired_{false};
};

}  // namespace soundlib
