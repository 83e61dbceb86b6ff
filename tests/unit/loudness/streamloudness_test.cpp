// The stream's loudness measured on a sample of its blocks gives the figure that measuring
// every sample gives (libebur128's integrated loudness over the same sound), on programmes
// with the dynamics of real ones: a voice with its syllables and pauses, dense pop with a
// beat whose length divides the sampling period, and quiet plucked music that swells and rests.
#include "loudness/measure.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {
constexpr int kRate = 44100;

struct Noise {
    std::uint32_t s;
    explicit Noise(std::uint32_t seed) : s(seed ? seed : 1) {}
    double operator()() {  // uniform in [-1, 1)
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s / 2147483648.0 - 1.0;
    }
    // Hiss around 11 kHz, with nothing at the top of the band, where a coder leaves nothing.
    double Bright() {
        const double n = (*this)(), out = n - before[1];
        before[1] = before[0];
        before[0] = n;
        return out;
    }
    double before[2] = {};
    double Between(double low, double high) { return low + (high - low) * 0.5 * ((*this)() + 1.0); }
};

// Stereo 16-bit frames from a function giving left and right in [-1, 1].
std::vector<std::int16_t> Render(double seconds, const std::function<void(double&, double&)>& next) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(seconds * kRate) * 2);
    for (std::size_t i = 0; i < out.size(); i += 2) {
        double l = 0, r = 0;
        next(l, r);
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(l, -1.0, 1.0) * 32767));
        out[i + 1] = static_cast<std::int16_t>(std::lround(std::clamp(r, -1.0, 1.0) * 32767));
    }
    return out;
}

// A sine-like wave of period 1 from parabolas: cheap, and as good as a sine for a loudness.
double Wave(double phase) {
    phase -= std::floor(phase);
    return phase < 0.5 ? 16 * phase * (0.5 - phase) : -16 * (phase - 0.5) * (1 - phase);
}

// Hard squashing, as a loud master's limiter does (a rational curve near tanh).
double Squash(double x) {
    x = std::clamp(x, -3.0, 3.0);
    return x * (27 + x * x) / (27 + 9 * x * x);
}

// Phrases of 1 to 4 s of syllables (voiced: a buzz at a wandering pitch, or hiss), with
// pauses between them in a quiet room.
std::vector<std::int16_t> Speech(double seconds, std::uint32_t seed) {
    Noise noise(seed);
    double phraseLeft = 0, pauseLeft = 0.5, syllableLeft = 0, syllableLength = 1, level = 0, pitch = 150, phase = 0, low = 0;
    bool voiced = true;
    const double dt = 1.0 / kRate;
    return Render(seconds, [&](double& l, double& r) {
        double v = 0.0003 * noise();  // the room
        if (pauseLeft > 0) {
            pauseLeft -= dt;
            if (pauseLeft <= 0) phraseLeft = noise.Between(1, 4);
        } else {
            if (syllableLeft <= 0) {
                syllableLength = syllableLeft = noise.Between(0.12, 0.3);
                level = noise.Between(0.3, 1.0);
                voiced = noise() < 0.3;
                pitch = noise.Between(100, 220);
            }
            const double envelope = Wave(0.5 * (1 - syllableLeft / syllableLength));
            phase += pitch * dt;
            phase -= std::floor(phase);
            low += 0.12 * ((voiced ? 2 * phase - 1 : 0) - low);  // a soft buzz
            v += level * envelope * (voiced ? 0.7 * low + 0.05 * noise() : 0.2 * noise.Bright());
            syllableLeft -= dt;
            phraseLeft -= dt;
            if (phraseLeft <= 0) pauseLeft = noise() < 0.9 ? noise.Between(0.2, 1.2) : noise.Between(2, 4);
        }
        l = r = 0.5 * v;
    });
}

// 75 beats a minute, steady (a sampler at a fixed spacing could meet every kick at the same
// point): kick, snare, hats, bass and a pad, through sections of different weight, squashed.
std::vector<std::int16_t> Pop(double seconds, std::uint32_t seed) {
    Noise noise(seed);
    const double dt = 1.0 / kRate;
    const long beat = std::lround(0.8 * kRate);
    const double sections[] = {0.45, 0.8, 1.0, 0.8, 1.0, 0.35, 1.0, 1.0};  // 8 bars each
    const double roots[] = {55, 55, 49, 41.2, 43.65, 49, 55, 36.7};
    const double kickFall = std::exp(-dt / 0.09), sweepFall = std::exp(-dt / 0.04), snareFall = std::exp(-dt / 0.07),
                 hatFall = std::exp(-dt / 0.02);
    long n = 0;
    double kick = 0, sweep = 0, kickPhase = 0, snare = 0, hat = 0, bassPhase = 0, padPhase[3] = {}, bassLow = 0;
    return Render(seconds, [&](double& l, double& r) {
        const long beatNo = n / beat;
        const double weight = sections[(beatNo / 32) % 8];
        const double root = roots[(beatNo / 4) % 8];
        if (n % beat == 0 && weight > 0.4) {
            kick = 0.9;
            sweep = 1;
            kickPhase = 0;
            if (beatNo % 2 == 1) snare = 0.5;
        }
        if (n % (beat / 2) == 0 && weight > 0.4) hat = 0.12;
        kickPhase += (50 + 60 * sweep) * dt;
        const double drums = kick * Wave(kickPhase) + snare * noise();
        const double hats = hat * noise.Bright();
        kick *= kickFall;
        sweep *= sweepFall;
        snare *= snareFall;
        hat *= hatFall;
        bassPhase += root * dt;
        bassPhase -= std::floor(bassPhase);
        bassLow += 0.05 * ((2 * bassPhase - 1) - bassLow);
        const double ratios[] = {4, 5, 6};
        double pad[2] = {};
        for (int i = 0; i < 3; ++i) {
            padPhase[i] += root * ratios[i] * dt;
            padPhase[i] -= std::floor(padPhase[i]);
            pad[i % 2] += 0.1 * (2 * padPhase[i] - 1);
        }
        const double mid = weight * (drums + 0.8 * bassLow);
        l = Squash(2.5 * (mid + weight * (pad[0] + hats))) * 0.6;
        r = Squash(2.5 * (mid + weight * (pad[1] - hats))) * 0.6;
        ++n;
    });
}

// Plucked strings (Karplus-Strong) at -30 LUFS or so: notes at uneven times, in phrases that
// swell from almost nothing and back over half a minute, and a rest between pieces.
std::vector<std::int16_t> Acoustic(double seconds, std::uint32_t seed) {
    Noise noise(seed);
    struct String {
        std::vector<double> line;
        std::size_t at = 0;
        double pan = 0.5;
    };
    std::vector<String> strings(6);
    for (std::size_t i = 0; i < strings.size(); ++i) strings[i].pan = 0.2 + 0.12 * double(i);
    const double scale[] = {196, 220, 246.9, 293.7, 329.6, 392, 440, 493.9, 587.3};
    const double dt = 1.0 / kRate;
    double t = 0, nextNote = 0.1;
    std::size_t voice = 0;
    return Render(seconds, [&](double& l, double& r) {
        const double piece = std::fmod(t, 95.0);
        const double rise = Wave(0.5 * std::fmod(t, 37.0) / 37.0), swell = 0.08 + 0.5 * rise * rise;
        if (t >= nextNote) {
            if (piece < 90) {
                String& s = strings[voice++ % strings.size()];
                s.line.assign(static_cast<std::size_t>(kRate / scale[static_cast<int>(noise.Between(0, 8.99))]), 0.0);
                const double velocity = swell * noise.Between(0.5, 1.0);
                for (double& x : s.line) x = velocity * noise();
                s.at = 0;
            }
            nextNote = t + noise.Between(0.15, 0.9);
        }
        l = r = 0;
        for (String& s : strings) {
            if (s.line.empty()) continue;
            const std::size_t next = (s.at + 1) % s.line.size();
            const double out = s.line[s.at];
            s.line[s.at] = 0.996 * 0.5 * (out + s.line[next]);
            s.at = next;
            l += (1 - s.pan) * out;
            r += s.pan * out;
        }
        l *= 0.7;
        r *= 0.7;
        t += dt;
    });
}

// Everything measured, as libebur128 measures a stream over its last ten minutes.
double Full(const std::vector<std::int16_t>& frames) {
    ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_I);
    ebur128_set_max_history(st, 10 * 60 * 1000);
    ebur128_add_frames_short(st, frames.data(), frames.size() / 2);
    double lufs = 0;
    ebur128_loudness_global(st, &lufs);
    ebur128_destroy(&st);
    return lufs;
}

// Fed as a decoder thread feeds it: in pieces of uneven length.
double Sampled(const std::vector<std::int16_t>& frames) {
    TStreamLoudness meter;
    Noise sizes(7);
    for (std::size_t at = 0; at < frames.size() / 2;) {
        const std::size_t n = std::min(frames.size() / 2 - at, static_cast<std::size_t>(sizes.Between(256, 4096)));
        meter.Feed(frames.data() + 2 * at, n, kRate);
        at += n;
    }
    const auto lufs = meter.Lufs();
    return lufs ? *lufs : -999;
}
}  // namespace

TEST(StreamLoudness, ASampleOfTheBlocksGivesTheFullFigureOnSpeechPopAndQuietAcousticProgrammes) {
    struct Case {
        const char* name;
        std::vector<std::int16_t> sound;
    };
    const Case cases[] = {{"speech", Speech(300, 11)}, {"pop", Pop(300, 12)}, {"acoustic", Acoustic(300, 13)}};
    for (const Case& c : cases) {
        const double full = Full(c.sound);
        const double sampled = Sampled(c.sound);
        EXPECT_NEAR(sampled, full, 0.5) << c.name << ": sampled " << sampled << " LUFS, full " << full << " LUFS";
    }
}
