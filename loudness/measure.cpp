#include "loudness/measure.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <iterator>

namespace {
constexpr int kMeasureRate = 44100;  // the devices' rate: what the player hears
constexpr std::int64_t kStreamHistoryMs = 10 * 60 * 1000;
// Under 3 s the gated figure of a stream is one phrase, not its loudness.
constexpr std::int64_t kLeastHeardSeconds = 3;
// BS.1770's gates: blocks under -70 LUFS are silence; then those more than 10 LU under the
// loudness of the rest are pauses.
constexpr double kAbsoluteGateLufs = -70;
constexpr double kRelativeGateLu = -10;
constexpr double kPi = 3.14159265358979323846;
// Halved, a rate under this would fold the top octave onto the weighting's slope.
constexpr int kLeastRateToHalve = 40000;

double LufsOf(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }
double MeanSquare(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

struct State {
    ebur128_state* st;
    explicit State(int mode) : st(ebur128_init(2, kMeasureRate, static_cast<unsigned>(mode))) {}
    ~State() {
        if (st) ebur128_destroy(&st);
    }
};

// One second-order section, transposed direct form II.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double Run(double x, double& s1, double& s2) const {
        const double y = b0 * x + s1;
        s1 = b1 * x - a1 * y + s2;
        s2 = b2 * x - a2 * y;
        return y;
    }
};

// BS.1770's K-weighting at any rate: its shelf and its high-pass, from the analogue
// prototypes whose bilinear transforms at 48 kHz are the standard's tables (the same
// derivation as libebur128's, so that the stream and the tracks are weighted alike).
struct KWeighting {
    Biquad shelf, highPass;
    explicit KWeighting(int rate) {
        double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        double k = std::tan(kPi * f0 / rate);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        double a0 = 1.0 + k / q + k * k;
        shelf.b0 = (vh + vb * k / q + k * k) / a0;
        shelf.b1 = 2.0 * (k * k - vh) / a0;
        shelf.b2 = (vh - vb * k / q + k * k) / a0;
        shelf.a1 = 2.0 * (k * k - 1.0) / a0;
        shelf.a2 = (1.0 - k / q + k * k) / a0;
        f0 = 38.13547087602444;
        q = 0.5003270373238773;
        k = std::tan(kPi * f0 / rate);
        a0 = 1.0 + k / q + k * k;
        highPass.b0 = 1.0;
        highPass.b1 = -2.0;
        highPass.b2 = 1.0;
        highPass.a1 = 2.0 * (k * k - 1.0) / a0;
        highPass.a2 = (1.0 - k / q + k * k) / a0;
    }
};
}  // namespace

TTruePeak::TTruePeak() {
    // 49 taps of sin(x)/x under a Hann window, cut at the original Nyquist frequency, dealt
    // out to the four phases; the taps that are zero (every fourth) are left out.
    constexpr int kTaps = 49;
    for (int j = 0; j < kTaps; ++j) {
        const double m = j - (kTaps - 1) / 2.0;
        double c = std::abs(m) < 1e-6 ? 1.0 : std::sin(m * kPi / kFactor) / (m * kPi / kFactor);
        c *= 0.5 * (1 - std::cos(2 * kPi * j / (kTaps - 1)));
        if (std::abs(c) > 1e-6) taps_[j % kFactor][j / kFactor] = static_cast<float>(c / 32768.0);
    }
    bound_ = 0;
    for (const auto& phase : taps_) {
        float sum = 0;
        for (float c : phase) sum += std::abs(c) * 32768.0f;
        bound_ = std::max(bound_, sum);
    }
    bound_ *= 1.001f;  // a hair over, for the rounding of the sums in floats
    for (auto& line : line_) line.assign(kHistory, 0);
}

void TTruePeak::Add(const std::int16_t* frames, std::size_t count) {
    for (int c = 0; c < kChannels; ++c) {
        std::vector<std::int16_t>& line = line_[c];
        const std::size_t old = line.size();
        line.resize(old + count);
        for (std::size_t i = 0; i < count; ++i) line[old + i] = frames[i * kChannels + c];
        const std::size_t stretches = (line.size() - kHistory) / kStretch;
        Look(c, line.data() + kHistory, stretches, kStretch);
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(stretches * kStretch));
    }
}

void TTruePeak::Look(int channel, const std::int16_t* samples, std::size_t stretches, int length) {
    // The sample peak first: it is a floor of the true peak, and the higher the floor, the
    // fewer stretches can pass it.
    largest_.resize(stretches);
    for (std::size_t s = 0; s < stretches; ++s) {
        int largest = 0;
        for (int i = 0; i < length; ++i) largest = std::max(largest, std::abs(int(samples[s * kStretch + i])));
        largest_[s] = largest;
        peak_ = std::max(peak_, static_cast<float>(largest) / 32768.0f);
    }
    // A stretch's outputs lie under its own samples and the kHistory before them, all within
    // the stretch before it: a whole one is longer than kHistory, and after a short one (see
    // Flush) the larger of it and the one before it stands for both.
    const auto open = [&](std::size_t s) {
        const int before = s ? largest_[s - 1] : lastLargest_[channel];
        return bound_ * static_cast<float>(std::max(largest_[s], before)) / 32768.0f > peak_;
    };
    for (std::size_t s = 0; s < stretches;) {
        if (!open(s)) {
            ++s;
            continue;
        }
        std::size_t end = s + 1;
        while (end < stretches && open(end) && (end - s) * kStretch < kRun) ++end;
        Oversample(samples + s * kStretch, static_cast<int>((end - s - 1) * kStretch + length));
        s = end;
    }
    if (stretches) lastLargest_[channel] = std::max(largest_[stretches - 1], length < kStretch ? lastLargest_[channel] : 0);
}

void TTruePeak::Oversample(const std::int16_t* samples, int count) {
    // Tap by tap over the whole run, so that the compiler does several outputs in one
    // instruction. Phase 0 is the sample itself (its one tap is 1), already counted.
    float x[kHistory + kRun];
    float acc[kRun];
    float most[8] = {};
    for (int i = 0; i < kHistory + count; ++i) x[i] = static_cast<float>(samples[i - kHistory]);
    for (int p = 1; p < kFactor; ++p) {
        std::fill(acc, acc + count, 0.0f);
        for (int k = 0; k <= kHistory; ++k) {
            const float c = taps_[p][k];
            const float* from = x + kHistory - k;
            for (int n = 0; n < count; ++n) acc[n] += c * from[n];
        }
        int n = 0;
        for (; n + 8 <= count; n += 8)
            for (int j = 0; j < 8; ++j) {
                const float a = std::abs(acc[n + j]);
                most[j] = a > most[j] ? a : most[j];
            }
        for (; n < count; ++n) most[0] = std::max(most[0], std::abs(acc[n]));
    }
    for (float m : most) peak_ = std::max(peak_, m);
}

void TTruePeak::Flush() {
    for (int c = 0; c < kChannels; ++c) {
        std::vector<std::int16_t>& line = line_[c];
        const int count = static_cast<int>(line.size()) - kHistory;
        if (count <= 0) continue;
        Look(c, line.data() + kHistory, 1, count);
        line.erase(line.begin(), line.begin() + count);
    }
}

double TTruePeak::Peak() {
    Flush();
    return peak_;
}

std::optional<TrackLevel> MeasureFile(soundlib::ISoundLib& lib, const QByteArray& path, const std::atomic<bool>& stop) {
    State meter(EBUR128_MODE_I);
    TTruePeak truePeak;
    TrackLevel level;
    if (!meter.st) return level;
    bool stopped = false;
    const int code = lib.DecodeFile(path.constData(), kMeasureRate, [&](const std::int16_t* frames, std::size_t count) {
        if (stop.load(std::memory_order_relaxed)) {
            stopped = true;
            return false;
        }
        truePeak.Add(frames, count);
        return ebur128_add_frames_short(meter.st, frames, count) == EBUR128_SUCCESS;
    });
    if (stopped) return std::nullopt;
    double lufs = 0;
    if (code != soundlib::BASS_OK || ebur128_loudness_global(meter.st, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs)) return level;
    const double peak = truePeak.Peak();
    if (peak <= 0) return level;
    level.Measured = true;
    level.Lufs = lufs;
    level.TruePeakDb = 20.0 * std::log10(peak);
    return level;
}

struct TStreamLoudness::Meter {
    explicit Meter(int rate)
        : rate(rate),
          step(rate >= kLeastRateToHalve ? 2 : 1),
          weighting(rate / step),
          settleFrames(std::int64_t(rate) * kSettleMs / 1000),
          blockFrames(std::int64_t(rate) * kBlockMs / 1000),
          meanGapFrames(std::int64_t(rate) * kMeanGapMs / 1000) {
        left = Gap();
    }

    // The frames passed over before the next block's settling: any length up to twice their
    // mean, so that the blocks fall at every point of a bar or a jingle's length alike.
    std::int64_t Gap() {
        draw ^= draw << 13;
        draw ^= draw >> 17;
        draw ^= draw << 5;
        return static_cast<std::int64_t>(draw % static_cast<std::uint32_t>(2 * meanGapFrames + 1));
    }

    void Feed(const std::int16_t* frames, std::size_t count) {
        std::size_t at = 0;
        while (at < count) {
            const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(count - at));
            if (phase == Phase::Settle || phase == Phase::Block) Weigh(frames + 2 * at, n, phase == Phase::Block);
            at += static_cast<std::size_t>(n);
            heard += n;
            left -= n;
            if (left > 0) continue;
            switch (phase) {
            case Phase::Skip:
                phase = Phase::Settle;
                left = settleFrames;
                for (auto& s : state) std::fill(std::begin(s), std::end(s), 0.0);
                break;
            case Phase::Settle:
                phase = Phase::Block;
                left = blockFrames;
                sum = 0;
                taken = 0;
                break;
            case Phase::Block: {
                blocks.push_back(Block{heard, taken ? sum / static_cast<double>(taken) : 0.0});
                const std::int64_t history = std::int64_t(rate) * kStreamHistoryMs / 1000;
                while (!blocks.empty() && heard - blocks.front().end > history) blocks.pop_front();
                phase = Phase::Skip;
                left = Gap();
                break;
            }
            }
        }
    }

    void Weigh(const std::int16_t* frames, std::int64_t count, bool counted) {
        // Both channels in one pass: two chains of dependent sums side by side run in the
        // time of one.
        const std::int64_t first = (step - heard % step) % step;
        double* l = state[0];
        double* r = state[1];
        double squares = 0;
        for (std::int64_t i = first; i < count; i += step) {
            const double yl = weighting.highPass.Run(weighting.shelf.Run(frames[2 * i] * (1.0 / 32768.0), l[0], l[1]), l[2], l[3]);
            const double yr = weighting.highPass.Run(weighting.shelf.Run(frames[2 * i + 1] * (1.0 / 32768.0), r[0], r[1]), r[2], r[3]);
            squares += yl * yl + yr * yr;
        }
        if (counted && first < count) {
            sum += squares;
            taken += (count - first + step - 1) / step;
        }
    }

    std::optional<double> Gated() const {
        if (heard < kLeastHeardSeconds * rate) return std::nullopt;
        const double absolute = MeanSquare(kAbsoluteGateLufs);
        double total = 0;
        int n = 0;
        for (const Block& b : blocks) {
            if (b.meanSquare > absolute) {
                total += b.meanSquare;
                ++n;
            }
        }
        if (n == 0) return std::nullopt;
        const double relative = MeanSquare(LufsOf(total / n) + kRelativeGateLu);
        total = 0;
        n = 0;
        for (const Block& b : blocks) {
            if (b.meanSquare > absolute && b.meanSquare > relative) {
                total += b.meanSquare;
                ++n;
            }
        }
        if (n == 0) return std::nullopt;
        return LufsOf(total / n);
    }

    enum class Phase { Skip, Settle, Block };
    struct Block {
        std::int64_t end;   // frames heard when it ended
        double meanSquare;  // of the weighted sound, summed over the channels
    };
    const int rate;
    const int step;  // every step-th frame is weighed
    const KWeighting weighting;
    const std::int64_t settleFrames, blockFrames, meanGapFrames;
    Phase phase = Phase::Skip;
    std::int64_t left = 0;          // frames until the phase ends
    std::int64_t heard = 0;
    double state[2][4] = {};  // per channel: the shelf's, then the high-pass's
    double sum = 0;           // of the squares of the block being made
    std::int64_t taken = 0;
    std::deque<Block> blocks;
    std::uint32_t draw = 0x9e3779b9u;
};

TStreamLoudness::TStreamLoudness() = default;
TStreamLoudness::~TStreamLoudness() = default;

void TStreamLoudness::Feed(const std::int16_t* frames, std::size_t count, int rate) {
    if (rate < 8000 || rate > 192000) return;
    std::lock_guard<std::mutex> guard(lock_);
    // Another output rate: what was measured at the old one is let go with it.
    if (!meter_ || rate != meter_->rate) meter_ = std::make_unique<Meter>(rate);
    meter_->Feed(frames, count);
}

std::optional<double> TStreamLoudness::Lufs() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!meter_) return std::nullopt;
    return meter_->Gated();
}
