#pragma once
// OutputDevice: one opened SDL output and the mixer of the channels playing on it.
//
// Threads: SDL's audio thread calls Callback about every 23 ms (1024 frames at 44.1 kHz) and
// mixes; the user-interface thread attaches and detaches channels and closes the device.
// lock_ guards channels_; it is held by the callback for one mix and by Attach/Detach for a
// push or an erase (storage is reserved up front, so the callback never allocates). Each
// channel's own state is under the channel's lock.
#include <SDL2/SDL.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace soundlib {

class Channel;

// Device n (1..10) is SDL's output device n-1. A driver that lists none but opens a default
// output (a sound server without enumeration) offers that default as device 1.
std::optional<std::string> OutputDeviceName(int device);

class OutputDevice {
public:
    // nullptr and a library code when the device cannot be opened.
    static std::unique_ptr<OutputDevice> Open(int device, int& code);
    ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    int Rate() const { return spec_.freq; }
    int Frames() const { return spec_.samples; }

    void Attach(Channel* channel);
    void Detach(Channel* channel);

    // About 46 ms at 44.1 kHz: the output thread wakes some 21 times a second, which is most of
    // what a player idling in the tray costs, and a volume change or a slide is still heard
    // within that time, since gains are applied as each piece is mixed.
    static constexpr int kFrames = 2048;

private:
    OutputDevice() = default;
    static void SDLCALL Callback(void* self, Uint8* stream, int length);

    SDL_AudioDeviceID id_ = 0;
    SDL_AudioSpec spec_{};
    std::mutex lock_;
    std::vector<Channel*> channels_;
};

}  // namespace soundlib
