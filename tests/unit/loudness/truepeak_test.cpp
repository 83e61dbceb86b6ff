// The true peak found by oversampling only where a new peak could be is the one found by
// oversampling everything (libebur128's), also where the highest samples come first and the
// highest true peak later, between lower samples, and where a track swells from silence.
#include "loudness/measure.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {
constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

double Everything(const std::vector<std::int16_t>& frames) {
    ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(st, frames.data(), frames.size() / 2);
    double peak = 0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0;
        ebur128_true_peak(st, c, &p);
        peak = std::max(peak, p);
    }
    ebur128_destroy(&st);
    return peak;
}

double Looked(const std::vector<std::int16_t>& frames) {
    TTruePeak peak;
    std::uint32_t draw = 5;
    for (std::size_t at = 0; at < frames.size() / 2;) {  // pieces of uneven length, as decoded
        draw = draw * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(frames.size() / 2 - at, 1 + draw % 3000);
        peak.Add(frames.data() + 2 * at, n);
        at += n;
    }
    return peak.Peak();
}

std::int16_t Sample(double v) { return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767)); }
}  // namespace

TEST(TruePeak, LookingOnlyWhereANewPeakCouldBeFindsWhatOversamplingEverythingFinds) {
    // 2 s of a 100 Hz tone whose samples reach 0.8 in the left channel, then 2 s of a
    // quarter-rate tone caught between its crests: samples of 0.67 in the right, true peak 0.95.
    std::vector<std::int16_t> hidden;
    for (int i = 0; i < 2 * kRate; ++i) {
        hidden.push_back(Sample(0.8 * std::sin(2 * kPi * 100 * i / kRate)));
        hidden.push_back(0);
    }
    for (int i = 0; i < 2 * kRate + 7; ++i) {
        hidden.push_back(Sample(0.1 * std::sin(2 * kPi * 300 * i / kRate)));
        hidden.push_back(Sample(0.95 * std::sin(kPi / 4 + kPi / 2 * i)));
    }
    const double expected = Everything(hidden);
    EXPECT_GT(20 * std::log10(expected / 0.8), 1.0) << "the later true peak is well above the earlier samples";
    EXPECT_NEAR(Looked(hidden), expected, 1e-5);

    // 20 s of noise rising from silence, where nearly every stretch holds a new peak.
    std::vector<std::int16_t> swell;
    std::uint32_t s = 1;
    for (int i = 0; i < 20 * kRate; ++i) {
        for (int c = 0; c < 2; ++c) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            swell.push_back(Sample(0.3 * (double(i) / (20 * kRate)) * (s / 2147483648.0 - 1.0)));
        }
    }
    EXPECT_NEAR(Looked(swell), Everything(swell), 1e-5);
}
