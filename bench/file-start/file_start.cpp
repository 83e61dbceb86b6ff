// file-start: how long a local MP3 takes from the player's Load (BASS_StreamCreateFile) and
// Play to its first sample reaching the output device, on SDL's dummy driver (paced like a
// sound card). The channel's position counts the frames the device callback has taken, so
// the first non-zero position is the moment the first sample went to the device.
//
//   file-start [MP3]    (without MP3, one is made with the ffmpeg command line;
//                        FILE_START_RUNS sets the number of runs, 40 by default)
// Prints file_start_ms=MEDIAN file_start_p90_ms=.. file_start_max_ms=.. over the runs.
#include "audio/soundlib/realsoundlib.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kDefaultRuns = 40;

bool MakeMp3(const std::string& path) {
    std::string command = "ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=20 -ac 2 "
                          "-c:a libmp3lame -b:a 192k '" + path + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace soundlib;
    using Clock = std::chrono::steady_clock;
    std::string path;
    std::string made;
    if (argc > 1) {
        path = argv[1];
    } else {
        made = "/tmp/file-start-" + std::to_string(getpid()) + ".mp3";
        if (!MakeMp3(made)) {
            std::fprintf(stderr, "could not make a test MP3 with ffmpeg\n");
            return 1;
        }
        path = made;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const int runCount = std::getenv("FILE_START_RUNS") ? std::max(1, std::atoi(std::getenv("FILE_START_RUNS"))) : kDefaultRuns;

    std::vector<double> runs;
    {
        RealSoundLib lib;
        if (!lib.BASS_Init(1, 44100, 0, nullptr, nullptr)) {
            std::fprintf(stderr, "BASS_Init failed: %d\n", lib.BASS_ErrorGetCode());
            return 1;
        }
        lib.BASS_SetConfig(BASS_CONFIG_BUFFER, 3000);  // as the program's players set it
        for (int run = 0; run < runCount; ++run) {
            // Start at a random moment of the device's period, as a user's click would.
            std::this_thread::sleep_for(std::chrono::microseconds(std::rand() % 23000 + 5000));
            auto start = Clock::now();
            HSTREAM h = lib.BASS_StreamCreateFile(false, path.c_str(), 0, 0, 0);
            if (!h || !lib.BASS_ChannelPlay(h, false)) {
                std::fprintf(stderr, "open/play failed: %d\n", lib.BASS_ErrorGetCode());
                return 1;
            }
            while (lib.BASS_ChannelGetPosition(h) == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
            runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            lib.BASS_StreamFree(h);
        }
    }
    if (!made.empty()) unlink(made.c_str());
    std::sort(runs.begin(), runs.end());
    std::printf("file_start_ms=%.1f\nfile_start_p90_ms=%.1f\nfile_start_max_ms=%.1f\n", runs[runs.size() / 2], runs[runs.size() * 9 / 10],
                runs.back());
    return 0;
}
