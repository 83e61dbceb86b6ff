#pragma once
// OutputWatch: the library thread that notices a lost output and brings sound back.
//
// While every output plays it sleeps: the output callback reads SDL's status of its device at
// every period anyway, and wakes the watch the first time it finds the device given up, so a
// loss is noticed within a period of the output, and a player left in the tray all day is not
// woken for it. Every 5 s it still reads the device events SDL queues, which nobody else
// drains. From a loss until every output plays again it looks every 250 ms: SDL's status of
// every output the library opened, and its device-removed events. A lost output is tried again every 2 s by its name, and
// from 10 s after the loss also the system's default output. When that fails, no output of
// the library is alive any more and SDL's own connection to the sound server is dead (the
// server went away, and may be back), the audio subsystem is restarted with the same driver
// and the outputs tried once more. The channels stay attached to their OutputDevice through
// all of it.
//
// Threads: the watch thread runs Tick; the user-interface thread adds and removes outputs.
// Both hold SdlAudioLock() for it, which also guards outputs_ and driver_.
#include "audio/soundlib/outputdevice.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace soundlib {

class OutputWatch {
public:
    using Clock = OutputDevice::Clock;
    static constexpr auto kPeriod = std::chrono::milliseconds(250);  // while an output is lost
    static constexpr auto kIdlePeriod = std::chrono::seconds(5);    // while every output plays
    static constexpr auto kRetry = std::chrono::seconds(2);
    static constexpr auto kDefaultAfter = std::chrono::seconds(10);

    // driver: the SDL audio driver the library started with ("" = SDL's own choice).
    explicit OutputWatch(std::string driver);
    ~OutputWatch();  // stops and joins the thread
    OutputWatch(const OutputWatch&) = delete;
    OutputWatch& operator=(const OutputWatch&) = delete;

    void Add(OutputDevice* output);
    void Remove(OutputDevice* output);

    // One look at the outputs (the thread calls it every kPeriod while one is lost, when woken
    // and every kIdlePeriod otherwise); `now` decides the retries.
    void Tick(Clock::time_point now);

    // From any thread, the output callback's included: an output may have been lost, look now.
    // It takes a lock that no watch holds for longer than it takes to go to sleep.
    static void LookNow();

private:
    void Run();
    void ReadRemovedEvents(Clock::time_point now);
    void RestartAudio();
    bool ServerConnectionGone() const;

    std::string driver_;
    std::vector<OutputDevice*> outputs_;
    Clock::time_point nextTry_{};
    bool trying_ = false;

    bool anyLost_ = false;  // what the last Tick found, under SdlAudioLock()
    bool quit_ = false;     // under the lock of LookNow
    std::thread thread_;
};

}  // namespace soundlib
