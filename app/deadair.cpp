#include "app/deadair.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kFullScale = 32768.0;
// A stream that connected moments ago may still be starting its programme; ten seconds of
// nothing at all from a new connection is a silent station.
constexpr qint64 kShortestHeldMs = 10000;
// A reading covers what went out since the one before, about 100 ms at the monitor's pace.
// A longer gap (the user-interface thread was busy) is not known to be silence.
constexpr qint64 kLongestSpanMs = 1000;
}  // namespace

void TDeadAirWatch::Connected(qint64 nowMs, std::int32_t thresholdDb, std::int32_t seconds) {
    limit_ = kFullScale * std::pow(10.0, double(thresholdDb) / 20.0);
    durationMs_ = qint64(seconds) * 1000;
    lastReading_ = nowMs;
    quietMs_ = 0;
    heard_ = false;
    givenUp_ = false;
}

void TDeadAirWatch::Feed(qint64 nowMs, int peak) {
    if (!On() || peak < 0) return;
    const qint64 span = std::clamp<qint64>(nowMs - lastReading_, 0, kLongestSpanMs);
    lastReading_ = nowMs;
    if (double(peak) >= limit_) {
        quietMs_ = 0;
        heard_ = true;
    } else {
        quietMs_ += span;
    }
}

void TDeadAirWatch::Unheard(qint64 nowMs) {
    if (On()) lastReading_ = nowMs;
}

int TDeadAirWatch::SoundFrom() const { return On() ? int(std::ceil(limit_)) : 0; }

bool TDeadAirWatch::Silent() const { return On() && quietMs_ >= durationMs_; }

bool TDeadAirWatch::SilentWhileHeld() const {
    return Silent() || (On() && !heard_ && quietMs_ >= kShortestHeldMs);
}
