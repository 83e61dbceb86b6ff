#pragma once
// The gain that brings a track of `lufs` (integrated loudness) and `truePeakDb` to `target`:
// cutting is always safe and goes down to -24 dB; raising stops at +12 dB and where the true
// peak would pass -1 dBTP, never below 0 dB on that account.
#include <algorithm>

inline constexpr double kDefaultTargetLufs = -18.0;

inline double LoudnessGainDb(double lufs, double truePeakDb, double target) {
    constexpr double kDeepestCut = -24.0, kHighestRaise = 12.0, kPeakCeiling = -1.0;
    double gain = std::clamp(target - lufs, kDeepestCut, kHighestRaise);
    if (gain > 0) gain = std::min(gain, std::max(0.0, kPeakCeiling - truePeakDb));
    return gain;
}
