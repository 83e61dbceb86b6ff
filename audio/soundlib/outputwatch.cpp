#include "audio/soundlib/outputwatch.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace soundlib {

namespace {
// The watches' sleep, shared by all of them: an announcement wakes every watch, and each looks
// at its own outputs.
struct Alarm {
    std::mutex lock;
    std::condition_variable wake;
    std::uint64_t calls = 0;  // rises with every LookNow
};
// Never destroyed: a library left to the process's end (an open still running at the quit)
// keeps its watch waiting on it, and destroying a condition variable that a thread waits on
// holds the exit until that wait times out.
Alarm& TheAlarm() {
    static Alarm* const alarm = new Alarm;
    return *alarm;
}
}  // namespace

void OutputWatch::LookNow() {
    Alarm& alarm = TheAlarm();
    {
        std::lock_guard<std::mutex> guard(alarm.lock);
        ++alarm.calls;
    }
    alarm.wake.notify_all();
}

OutputWatch::OutputWatch(std::string driver) : driver_(std::move(driver)) {
    thread_ = std::thread(&OutputWatch::Run, this);
}

OutputWatch::~OutputWatch() {
    {
        std::lock_guard<std::mutex> guard(TheAlarm().lock);
        quit_ = true;
    }
    TheAlarm().wake.notify_all();
    thread_.join();
}

void OutputWatch::Add(OutputDevice* output) {
    {
        std::lock_guard<std::mutex> sdl(SdlAudioLock());
        outputs_.push_back(output);
    }
    LookNow();  // one that did not open is lost from the start, and tried at once
}

void OutputWatch::Remove(OutputDevice* output) {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), output), outputs_.end());
}

void OutputWatch::Run() {
    pthread_setname_np(pthread_self(), "sound-watch");
    Alarm& alarm = TheAlarm();
    std::unique_lock<std::mutex> guard(alarm.lock);
    std::uint64_t seen = alarm.calls;
    // The first look comes one period after the start in any case: an output added before this
    // thread got here has had its call counted in `seen` already.
    bool watching = true;
    for (;;) {
        const std::chrono::milliseconds period = watching ? kPeriod : kIdlePeriod;
        alarm.wake.wait_for(guard, period, [&] { return quit_ || alarm.calls != seen; });
        if (quit_) return;
        seen = alarm.calls;
        guard.unlock();
        Tick(Clock::now());
        {
            std::lock_guard<std::mutex> sdl(SdlAudioLock());
            watching = anyLost_;
        }
        guard.lock();
    }
}

void OutputWatch::ReadRemovedEvents(Clock::time_point now) {
    // SDL queues these from its own threads; nobody else reads SDL's event queue, so the
    // added ones are dropped here too rather than left to pile up.
    SDL_Event events[16];
    int count;
    while ((count = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED)) > 0) {
        for (int i = 0; i < count; ++i) {
            const SDL_AudioDeviceEvent& event = events[i].adevice;
            if (event.type != SDL_AUDIODEVICEREMOVED || event.iscapture) continue;
            for (OutputDevice* output : outputs_)
                if (output->SdlId() == event.which) output->MarkLost(now);
        }
    }
}

void OutputWatch::RestartAudio() {
    for (OutputDevice* output : outputs_) output->CloseSdl();
    SDL_AudioQuit();
    SDL_AudioInit(driver_.empty() ? nullptr : driver_.c_str());  // fails while the server is away
}

bool OutputWatch::ServerConnectionGone() const {
    if (!SDL_GetCurrentAudioDriver()) return true;  // an earlier restart found no server
    // SDL hears of outputs that come and go over its connection to the sound server. An
    // output it still lists but cannot open tells that the connection itself is dead.
    const int count = SDL_GetNumAudioDevices(0);
    for (OutputDevice* output : outputs_) {
        const std::string name = output->SdlName();
        if (name.empty() && count > 0) return true;
        for (int i = 0; i < count; ++i)
            if (const char* listed = SDL_GetAudioDeviceName(i, 0); listed && name == listed) return true;
    }
    return false;
}

void OutputWatch::Tick(Clock::time_point now) {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    ReadRemovedEvents(now);
    bool anyLost = false, allLost = !outputs_.empty();
    for (OutputDevice* output : outputs_) {
        bool lost = output->CheckStatus(now);
        anyLost = anyLost || lost;
        allLost = allLost && lost;
    }
    anyLost_ = anyLost;
    if (!anyLost) {
        trying_ = false;
        return;
    }
    if (!trying_) {  // the first try at once: an output that was only replaced is there already
        trying_ = true;
        nextTry_ = now;
    }
    if (now < nextTry_) return;
    nextTry_ = now + kRetry;
    auto reopen = [&] {
        bool all = true;
        for (OutputDevice* output : outputs_)
            if (output->Lost()) all = output->Reopen(now - output->LostSince() >= kDefaultAfter) && all;
        return all;
    };
    // A restart closes every output SDL has open, so it waits until none of ours plays. It is
    // kept for a dead connection: SDL 2.26 crashes starting its PulseAudio driver against a
    // server that has no output at all, which is what a server whose one sink went away is.
    if (!reopen() && allLost && ServerConnectionGone()) {
        RestartAudio();
        reopen();
    }
}

}  // namespace soundlib
