#include "app/deadair.h"

#include <cmath>

namespace {
constexpr double kFullScale = 32768.0;
// A stream that connected moments ago may still be starting its programme; ten seconds of
// nothing at all from a new connection is a silent station.
constexpr qint64 kShortestHeldMs = 10000;
}  // namespace

void TDeadAirWatch::Connected(qint64 nowMs, std::int32_t thresholdDb, std::int32_t seconds) {
    limit_ = kFullScale * std::pow(10.0, double(thresholdDb) / 20.0);
    durationMs_ = qint64(seconds) * 1000;
    connectedAt_ = nowMs;
    // Nothing has been heard yet: silence counts from the connection, until the first sound.
    quietSince_ = nowMs;
    lastReading_ = nowMs;
    givenUp_ = false;
}

void TDeadAirWatch::Feed(qint64 nowMs, int peak) {
    if (!On() || peak < 0) return;
    // A reading covers the sound since the one before: silence began after that one.
    if (double(peak) >= limit_) quietSince_ = -1;
    else if (quietSince_ < 0) quietSince_ = lastReading_;
    lastReading_ = nowMs;
}

bool TDeadAirWatch::Silent(qint64 nowMs) const {
    return On() && quietSince_ >= 0 && nowMs - quietSince_ >= durationMs_;
}

bool TDeadAirWatch::SilentWhileHeld(qint64 nowMs) const {
    if (Silent(nowMs)) return true;
    return On() && quietSince_ == connectedAt_ && nowMs - connectedAt_ >= kShortestHeldMs;
}
