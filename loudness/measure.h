#pragma once
// EBU R128 measurements over libebur128: a whole file (integrated loudness and true peak),
// decoded by the sound library exactly as a file channel decodes it, and the stream's running
// loudness over its last 10 minutes heard.
#include "audio/soundlib/soundlib.h"
#include "loudness/levelsfile.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

// Measures the file at `path` (an encoded file name); Measured is false when it cannot be
// decoded or holds no sound above the gate. Gives up at once, with nullopt, when `stop` is set.
std::optional<TrackLevel> MeasureFile(soundlib::ISoundLib& lib, const QByteArray& path, const std::atomic<bool>& stop);

// Threads: Feed comes from the stream channel's decoder thread, the other calls from the
// user-interface thread; lock_ guards the meter's state.
class TStreamLoudness {
public:
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
    int rate_ = 0;
    std::int64_t framesHeard_ = 0;
};
