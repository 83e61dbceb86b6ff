#pragma once
// OutputWatch: the library thread that notices a lost output and brings sound back.
//
// Every 250 ms it reads SDL's status of every output the library opened, and the
// device-removed events SDL queues: a loss is noticed well within a second, and a player left
// in the tray all day is not woken ten times a second for it. A lost output is tried again every 2 s by its name, and
// from 10 s after the loss also the system's default output. When that fails, no output of
// the library is alive any more and SDL's own connection to the sound server is dead (the
// server went away, and may be back), the audio subsystem is restarted with the same driver
// and the outputs tried once more. The channels stay attached to their OutputDevice through
// all of it.
//
// Threads: the watch thread runs Tick; the user-interface thread adds and removes outputs.
// Both hold SdlAudioLock() for it, which also guards outputs_ and driver_.
#include "audio/soundlib/outputdevice.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace soundlib {

class OutputWatch {
public:
    using Clock = OutputDevice::Clock;
    static constexpr auto kPeriod = std::chrono::milliseconds(250);
    static constexpr auto kRetry = std::chrono::seconds(2);
    static constexpr auto kDefaultAfter = std::chrono::seconds(10);

    // driver: the SDL audio driver the library started with ("" = SDL's own choice).
    explicit OutputWatch(std::string driver);
    ~OutputWatch();  // stops and joins the thread
    OutputWatch(const OutputWatch&) = delete;
    OutputWatch& operator=(const OutputWatch&) = delete;

    void Add(OutputDevice* output);
    void Remove(OutputDevice* output);

    // One look at the outputs (the thread calls it every kPeriod); `now` decides the retries.
    void Tick(Clock::time_point now);

private:
    void Run();
    void ReadRemovedEvents(Clock::time_point now);
    void RestartAudio();
    bool ServerConnectionGone() const;

    std::string driver_;
    std::vector<OutputDevice*> outputs_;
    Clock::time_point nextTry_{};
    bool trying_ = false;

    std::mutex quitLock_;
    std::condition_variable quitWake_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace soundlib
