#pragma once
// SDL's disk driver writes the mixed output to a file, paced in real time: what a listener
// would have heard. The choice takes effect when SDL's audio next starts, which each
// RealSoundLib does on its first call.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace audiotest {

inline void UseDiskOutput(const std::string& path) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
}

inline void UseDummyOutput() { setenv("SDL_AUDIODRIVER", "dummy", 1); }

inline void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls `condition` every 20 ms for at most `ms`; true as soon as it holds.
template <typename Condition>
bool WaitUntil(int ms, Condition condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        Wait(20);
    }
    return condition();
}

}  // namespace audiotest
