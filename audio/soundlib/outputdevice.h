#pragma once
// OutputDevice: one opened SDL output and the mixer of the channels playing on it.
//
// Threads: SDL's audio thread calls Callback about every 46 ms (2048 frames at 44.1 kHz) and
// mixes; the user-interface thread attaches and detaches channels and closes the device; the
// library's output watch (outputwatch.h) marks it lost and opens it again, under
// SdlAudioLock().
// lock_ guards channels_; it is held by the callback for one mix and by Attach/Detach for a
// push or an erase (storage is reserved up front, so the callback never allocates). Each
// channel's own state is under the channel's lock. nameLock_ guards name_ and sdlName_, which
// the watch changes when it opens another output and the user-interface thread reads. id_ and
// lost_ are atomics: the callback reads them.
//
// While the output is lost the callback mixes nothing: the channels keep their positions and
// their buffers, and go on from there on the output that replaces it. The callback asks SDL's
// own status (an atomic read), so the moment SDL gives the device up is the moment the
// channels stop, without waiting for the watch; and it wakes the watch, which sleeps while
// every output plays.
#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace soundlib {

class Channel;

// Every call into SDL's audio subsystem other than the callback's status read goes under this
// lock: the watch may restart the subsystem at any moment.
std::mutex& SdlAudioLock();

// Device n (1..10) is SDL's output device n-1. A driver that lists none but opens a default
// output (a sound server without enumeration) offers that default as device 1.
std::optional<std::string> OutputDeviceName(int device);
// The number of the system's default output in that list; 1 when the driver does not tell.
int DefaultOutputNumber();

// Rises after every output is opened, let go, lost or back: read from any thread
// (RealSoundLib::OutputStatusChanges).
std::atomic<std::uint64_t>& OutputStatusChanges();
// The rise, and the calls of the watches, on the thread that made the change (under
// SdlAudioLock): each watch must be quick and take no lock of the library.
void RaiseOutputStatusChanges();
int WatchOutputStatusChanges(std::function<void()> changed);
void UnwatchOutputStatusChanges(int watch);

class OutputDevice {
public:
    using Clock = std::chrono::steady_clock;

    // nullptr and code 23 for a number that names no device. When the output is there but
    // does not open (or SDL's audio is not running), a lost device with code 3, waiting.
    static std::unique_ptr<OutputDevice> Open(int device, int& code);
    ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    // The format the channels were made for; an output opened later gets it too (SDL converts).
    int Rate() const { return spec_.freq; }
    int Frames() const { return spec_.samples; }

    void Attach(Channel* channel);
    void Detach(Channel* channel);

    bool Lost() const { return lost_.load(); }
    bool NeverOpened() const { return neverOpened_.load(); }
    std::string Name() const;  // the output in use (or last used)

    // The watch's side, under SdlAudioLock().
    // Marks the output lost when SDL has given it up; true when it is lost.
    bool CheckStatus(Clock::time_point now);
    void MarkLost(Clock::time_point now);
    SDL_AudioDeviceID SdlId() const { return id_.load(); }
    std::string SdlName() const;  // empty: opened as the default output
    Clock::time_point LostSince() const { return lostSince_; }
    // Lets SDL's device go, so that the audio subsystem can be restarted under it.
    void CloseSdl();
    // Opens the output it had, by its name; failing that and with `orDefault`, the system's
    // default output. True when sound flows again.
    bool Reopen(bool orDefault);

    // About 46 ms at 44.1 kHz: the output thread wakes some 21 times a second, which is most of
    // what a player idling in the tray costs, and a volume change or a slide is still heard
    // within that time, since gains are applied as each piece is mixed.
    static constexpr int kFrames = 2048;

private:
    OutputDevice() = default;
    static void SDLCALL Callback(void* self, Uint8* stream, int length);
    SDL_AudioDeviceID OpenSdl(const char* name, SDL_AudioSpec* have, int allowedChanges);

    std::atomic<SDL_AudioDeviceID> id_{0};
    std::atomic<bool> lost_{false};
    std::atomic<bool> neverOpened_{false};
    Clock::time_point lostSince_{};
    SDL_AudioSpec spec_{};
    std::mutex lock_;
    std::vector<Channel*> channels_;
    mutable std::mutex nameLock_;
    std::string name_;     // as shown to the user
    std::string sdlName_;  // as SDL opens it; empty = the default output
};

}  // namespace soundlib
