#include "loudness/measure.h"

#include <ebur128.h>

#include <cmath>

namespace {
constexpr int kMeasureRate = 44100;  // the devices' rate: what the player hears
constexpr unsigned long kStreamHistoryMs = 10 * 60 * 1000;
// Under 3 s the gated figure of a stream is one phrase, not its loudness.
constexpr std::int64_t kLeastHeardSeconds = 3;

struct State {
    ebur128_state* st;
    explicit State(int mode) : st(ebur128_init(2, kMeasureRate, static_cast<unsigned>(mode))) {}
    ~State() {
        if (st) ebur128_destroy(&st);
    }
};
}  // namespace

std::optional<TrackLevel> MeasureFile(soundlib::ISoundLib& lib, const QByteArray& path, const std::atomic<bool>& stop) {
    State meter(EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    TrackLevel level;
    if (!meter.st) return level;
    bool stopped = false;
    const int code = lib.DecodeFile(path.constData(), kMeasureRate, [&](const std::int16_t* frames, std::size_t count) {
        if (stop.load(std::memory_order_relaxed)) {
            stopped = true;
            return false;
        }
        return ebur128_add_frames_short(meter.st, frames, count) == EBUR128_SUCCESS;
    });
    if (stopped) return std::nullopt;
    double lufs = 0;
    if (code != soundlib::BASS_OK || ebur128_loudness_global(meter.st, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs)) return level;
    double peak = 0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double p = 0;
        if (ebur128_true_peak(meter.st, channel, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    if (peak <= 0) return level;
    level.Measured = true;
    level.Lufs = lufs;
    level.TruePeakDb = 20.0 * std::log10(peak);
    return level;
}

struct TStreamLoudness::Meter {
    ebur128_state* st = nullptr;
    ~Meter() {
        if (st) ebur128_destroy(&st);
    }
};

TStreamLoudness::TStreamLoudness() = default;
TStreamLoudness::~TStreamLoudness() = default;

void TStreamLoudness::Feed(const std::int16_t* frames, std::size_t count, int rate) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!meter_ || rate != rate_) {
        // Another output rate: what was measured at the old one is let go with it.
        meter_ = std::make_unique<Meter>();
        meter_->st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I);
        rate_ = rate;
        framesHeard_ = 0;
        if (meter_->st) ebur128_set_max_history(meter_->st, kStreamHistoryMs);
    }
    if (meter_->st && ebur128_add_frames_short(meter_->st, frames, count) == EBUR128_SUCCESS)
        framesHeard_ += static_cast<std::int64_t>(count);
}

std::optional<double> TStreamLoudness::Lufs() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!meter_ || !meter_->st || framesHeard_ < kLeastHeardSeconds * rate_) return std::nullopt;
    double lufs = 0;
    if (ebur128_loudness_global(meter_->st, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs)) return std::nullopt;
    return lufs;
}
