#include "tests/integration/audio/outputgap.h"

#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/pulseserver.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

namespace audiotest {

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;
constexpr double kTrackSeconds = 60;

void PutLE(std::vector<unsigned char>& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void WritePositionTrack(const std::string& path) {
    const auto frames = static_cast<std::uint32_t>(kTrackSeconds * kRate);
    std::vector<unsigned char> bytes;
    bytes.reserve(44 + frames * 4);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    PutLE(bytes, 36 + frames * 4, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(bytes, 16, 4);
    PutLE(bytes, 1, 2);
    PutLE(bytes, 2, 2);
    PutLE(bytes, kRate, 4);
    PutLE(bytes, kRate * 4, 4);
    PutLE(bytes, 4, 2);
    PutLE(bytes, 16, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    PutLE(bytes, frames * 4, 4);
    for (std::uint32_t f = 0; f < frames; ++f) {
        auto ramp = static_cast<std::int16_t>(std::lround(-32768.0 + 65535.0 * f / frames));
        auto tone = static_cast<std::int16_t>(std::lround(16384.0 * std::sin(2 * M_PI * 1000.0 * f / kRate)));
        PutLE(bytes, static_cast<std::uint16_t>(ramp), 2);
        PutLE(bytes, static_cast<std::uint16_t>(tone), 2);
    }
    WriteBytes(path, bytes);
}

// Source milliseconds of a heard frame, read from its left channel.
double SourceMs(const Heard& heard, std::size_t frame) {
    double ramp = std::lround(heard.left[frame] * 32768.0);
    return (ramp + 32768.0) / 65535.0 * kTrackSeconds * 1000.0;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
}  // namespace

GapRun RunServerGap(int gapMs) {
    using namespace soundlib;
    GapRun run;
    TempDir dir;
    const std::string track = dir.File("position.wav");
    WritePositionTrack(track);

    PulseServer pulse;
    pulse.UseThisServer();
    RealSoundLib lib;
    if (!lib.BASS_Init(1, 44100, 0, nullptr, nullptr)) return run;
    HSTREAM channel = lib.BASS_StreamCreateFile(false, track.c_str(), 0, 0, 0);
    pulse.StartRecording("before.raw");
    if (channel == 0 || !lib.BASS_ChannelPlay(channel, false)) return run;
    run.started = WaitUntil(5000, [&] { return pulse.SecondsToFirstSound("before.raw") >= 0; });
    if (!run.started) return run;
    Wait(1000);

    pulse.KillHard();
    const auto killedAt = Clock::now();
    if (WaitUntil(3000, [&] { return lib.GetOutputStatus(1).lost; })) run.noticedMs = Ms(Clock::now() - killedAt);
    const QWORD held = lib.BASS_ChannelGetPosition(channel);
    Wait(std::max(0, gapMs - static_cast<int>(Ms(Clock::now() - killedAt))));
    run.positionHeld = lib.BASS_ChannelGetPosition(channel) == held;
    run.levelsSilent = lib.BASS_ChannelGetLevel(channel) == 0;

    // The sink is recorded from as soon as the server answers. The recorder takes a moment to
    // start, and then delivers in real time: the wall time of a recorded frame is that of the
    // first data seen, less what it held then, plus the frame's offset (within ~20 ms).
    if (!pulse.Start()) return run;
    pulse.StartRecording("after.raw");
    std::optional<Clock::time_point> recordingStart, reopened;
    const bool back = WaitUntil(10000, [&] {
        if (!reopened && !lib.GetOutputStatus(1).lost) reopened = Clock::now();
        const Heard heard = pulse.Recording("after.raw");
        if (!recordingStart && heard.Frames() > 0)
            recordingStart = Clock::now() - std::chrono::microseconds(heard.Frames() * 1000000 / kRate);
        return pulse.SecondsToFirstSound("after.raw") >= 0;
    });
    if (back && recordingStart) {
        const auto soundAt = *recordingStart + std::chrono::microseconds(static_cast<long>(pulse.SecondsToFirstSound("after.raw") * 1e6));
        run.soundBackSeconds = Ms(soundAt - pulse.UpAt()) / 1000.0;
        if (reopened) run.reopenedSeconds = Ms(*reopened - pulse.UpAt()) / 1000.0;
        Wait(200);
        const Heard before = pulse.Recording("before.raw");
        const Heard after = pulse.Recording("after.raw");
        run.positionErrorMs = SourceMs(after, FirstSound(after.right, 0.05f)) - SourceMs(before, LastSound(before.right, 0.05f));
    }
    OutputStatus status = lib.GetOutputStatus(1);
    run.lostAfter = status.lost;
    run.nameAfter = status.name;
    return run;
}

}  // namespace audiotest
