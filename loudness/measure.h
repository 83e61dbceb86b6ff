#pragma once
// EBU R128 measurements: a whole file (integrated loudness over libebur128, and true peak),
// decoded by the sound library exactly as a file channel decodes it, and the stream's running
// loudness over its last 10 minutes heard, measured on a sample of it.
#include "audio/soundlib/soundlib.h"
#include "loudness/levelsfile.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Measures the file at `path` (an encoded file name); Measured is false when it cannot be
// decoded or holds no sound above the gate. Gives up at once, with nullopt, when `stop` is set.
std::optional<TrackLevel> MeasureFile(soundlib::ISoundLib& lib, const QByteArray& path, const std::atomic<bool>& stop);

// The true peak of 16-bit stereo frames at 44.1 or 48 kHz: the highest magnitude of the
// signal oversampled four times by a Hann-windowed sinc of 49 taps (the interpolation of
// libebur128's true peak, so that a figure does not move with the way it is measured), never
// under the sample peak.
//
// Only the stretches that could hold a new highest value are oversampled: an interpolated
// value is at most the sum of its filter's magnitudes times the largest sample under it, so a
// stretch whose samples keep that bound under the peak found so far is passed over. Music
// brings its peak up within seconds; from then on only the few stretches next to it cost
// the oversampling. The figure is the one a full oversampling gives.
class TTruePeak {
public:
    TTruePeak();
    void Add(const std::int16_t* frames, std::size_t count);
    // Linear, 1.0 being full scale.
    double Peak();

private:
    static constexpr int kChannels = 2;
    static constexpr int kFactor = 4;
    static constexpr int kHistory = 11;  // past samples under one output of the filter
    static constexpr int kStretch = 16;  // the samples checked against the bound at once
    static constexpr int kRun = 1024;    // the most samples oversampled at once
    // `stretches` stretches of `length` samples (kStretch, or for the last of all one that
    // may be shorter) from `samples`, with the kHistory samples before them readable.
    void Look(int channel, const std::int16_t* samples, std::size_t stretches, int length);
    void Oversample(const std::int16_t* samples, int count);
    void Flush();

    float taps_[kFactor][kHistory + 1] = {};  // per phase, [k] multiplies the sample k back
    float bound_ = 1;                         // the largest sum of one phase's magnitudes
    float peak_ = 0;
    // Per channel: the last kHistory samples looked at, then those not yet (fewer than
    // kStretch).
    std::vector<std::int16_t> line_[kChannels];
    int lastLargest_[kChannels] = {};  // the largest magnitude of the stretch looked at last
    std::vector<int> largest_;         // of each stretch being looked at
};

// The stream's loudness, measured on a sample of it for a fraction of the cost of all of it.
// - In time: of the 400 ms gating blocks, about three in five are measured; before each, the
//   K-weighting filter runs 50 ms to settle from silence, and the sound between them is
//   counted, not looked at. The gaps are drawn anew each time, from nothing to twice their
//   mean, so that the blocks fall at every point of a bar or a jingle's length alike.
// - In rate: every other frame (at 44.1 or 48 kHz). What this folds down from the top octave
//   lands where the weighting is as high as where it came from: a stream's coder leaves
//   nothing above 20 kHz (its low-pass at streaming rates is at 16 to 20 kHz), and at 44.1 kHz
//   11 to 20 kHz folds onto 2 to 11 kHz, all on the shelf of the weighting. The mean square,
//   and so the loudness, stays.
// On speech, dense pop and quiet plucked music with their dynamics, five minutes measured so
// come within about 0.3 LU of measuring every sample, for about a seventh of libebur128's work.
//
// Threads: Feed comes from the stream channel's decoder thread, the other calls from the
// user-interface thread; lock_ guards the meter's state.
class TStreamLoudness {
public:
    static constexpr int kBlockMs = 400;
    static constexpr int kSettleMs = 50;
    static constexpr int kMeanGapMs = 225;

    TStreamLoudness();
    ~TStreamLoudness();
    TStreamLoudness(const TStreamLoudness&) = delete;
    TStreamLoudness& operator=(const TStreamLoudness&) = delete;

    void Feed(const std::int16_t* frames, std::size_t count, int rate);
    // The gated loudness of the last 10 minutes heard; none before enough was heard to tell.
    std::optional<double> Lufs() const;

private:
    struct Meter;
    mutable std::mutex lock_;
    std::unique_ptr<Meter> meter_;
};
