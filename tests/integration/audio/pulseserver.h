#pragma once
// A PulseAudio server of the test's own: `pulseaudio -n` with one null sink and the native
// protocol on a socket in a temporary folder, so that nothing of the machine's own sound is
// touched and tests can kill it, start it again, and take its sink away. What reaches the sink
// is recorded from its monitor with `parec`.
//
// UseThisServer() points SDL (pulseaudio driver) and libpulse in this process at it; the
// choice takes effect when SDL's audio next starts (a new RealSoundLib).
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/childprocess.h"
#include "tests/integration/audio/pcmanalysis.h"

#include <chrono>
#include <memory>
#include <string>

namespace audiotest {

class PulseServer {
public:
    static constexpr char kSink[] = "sonaris_test";
    static constexpr char kSinkDescription[] = "Null Output";

    PulseServer();  // started
    ~PulseServer();

    void UseThisServer() const;
    bool Start();  // true once it answers (a few seconds at most)
    // When the last Start saw the server accept connections.
    std::chrono::steady_clock::time_point UpAt() const { return upAt_; }
    void KillHard();  // SIGKILL, as a crash or an out-of-memory kill would
    bool UnloadSink();
    bool LoadSink();

    // Records the sink's monitor into a new file (s16le stereo 44.1 kHz) until the next
    // StartRecording, StopRecording or the server's end. Its first frame is what the sink
    // played up to about 2 s after the call (a null sink's monitor delivers nothing before its
    // first block ends); from then on it runs in real time, its end being what the sink plays
    // now.
    void StartRecording(const std::string& name);
    void StopRecording();
    Heard Recording(const std::string& name) const;
    // The frames recorded in `name` so far, read from its size alone (cheap enough to ask at
    // every step of a loop, to know which frame the sink plays at that moment).
    std::size_t RecordedFrames(const std::string& name) const;
    // Seconds of recorded sound in `name` so far before the first frame above `threshold`;
    // negative while there is none.
    double SecondsToFirstSound(const std::string& name, float threshold = 0.05f) const;

private:
    bool Pactl(const std::string& arguments, std::string* output = nullptr) const;

    TempDir dir_;
    std::string socket_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> recorder_;
    std::unique_ptr<ChildProcess> silence_;
    std::chrono::steady_clock::time_point upAt_{};
};

}  // namespace audiotest
