#pragma once
// The gain that brings a track of `lufs` (integrated loudness) and `truePeakDb` to `target`:
// cutting is always safe and goes down to -24 dB; raising stops at +12 dB and where the true
// peak would pass -1 dBTP, never below 0 dB on that account.
#include <algorithm>

inline constexpr double kDefaultTargetLufs = -18.0;
// The loudness of programmes: a stream measured outside it carries hum, noise or a fault, not
// a programme, and local music is not brought down (or up) to it beyond these.
inline constexpr double kQuietestTargetLufs = -30.0;
inline constexpr double kLoudestTargetLufs = -10.0;

inline double BoundedTarget(double lufs) { return std::clamp(lufs, kQuietestTargetLufs, kLoudestTargetLufs); }

inline double LoudnessGainDb(double lufs, double truePeakDb, double target) {
    constexpr double kDeepestCut = -24.0, kHighestRaise = 12.0, kPeakCeiling = -1.0;
    double gain = std::clamp(target - lufs, kDeepestCut, kHighestRaise);
    if (gain > 0) gain = std::min(gain, std::max(0.0, kPeakCeiling - truePeakDb));
    return gain;
}
