#pragma once
// TLoudness: one loudness for the shop. Local tracks are measured once, in the background, and
// kept in NIVEIS.INI; the stream is measured as it plays; a local track is then played with
// the gain that brings it to the stream's loudness, held within the loudness of programmes
// (-30 to -10 LUFS), or to -18 LUFS with no figure heard in the last week.
//
// Threads and locks:
// - the user-interface thread calls the public operations; none of them waits for a
//   measurement, only for lock_, which nobody holds for longer than a look-up;
// - one measuring thread of its own, at the lowest priority, takes names from the queue, measures
//   them outside the lock, records the result under lock_ and writes NIVEIS.INI (outside the
//   lock, from a copy) after a batch or every 30 s of measuring;
// - the stream channel's decoder thread feeds the stream meter through StreamTap(); the meter
//   has its own lock and is shared with the tap, so it outlives a channel that outlives this.
// lock_ guards levels_, queue_, busy_, dirty_, quit_ and measured_; stop_ is an atomic that the
// measurement itself reads, so that a quit does not wait for a whole file.
#include "audio/soundlib/soundlib.h"
#include "loudness/levelsfile.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class TStreamLoudness;

class TLoudness {
public:
    // `levelsPath`: NIVEIS.INI; `musicDir`: the music folder, with its trailing '/'.
    TLoudness(soundlib::ISoundLib& lib, QString levelsPath, QString musicDir);
    ~TLoudness();  // the measuring stops (a file half measured is dropped), what is known is written
    TLoudness(const TLoudness&) = delete;
    TLoudness& operator=(const TLoudness&) = delete;

    // The names (in the music folder) in the order they will play, the next one first. They
    // replace what was waiting. With `wholeFolder`, names not among them are forgotten.
    void Queue(const QStringList& names, bool wholeFolder);
    // The gain for the track `name` now: 0 when it is not measured (it is then put first in
    // the queue), failed, or changed since. Also keeps the stream's figure for NIVEIS.INI.
    double GainFor(const QString& name);
    // The measured level of `name` when it is measured and unchanged since; none otherwise,
    // and it is then put first in the queue. For sounds brought to another object's target.
    std::optional<TrackLevel> LevelFor(const QString& name);
    // The loudness a local track is brought to: the stream's as heard now, else as last saved
    // (for a week), else the default; always within the programmes' range.
    double TargetLufs();
    soundlib::ISoundLib::DecodedTap StreamTap();

    // For the tests and the benchmark: nothing waits to be measured and nothing is being.
    bool Idle();
    int MeasuredCount();  // measurements made by this object, failed ones included

private:
    void Run();
    bool UpToDate(const QString& name, std::int64_t size, std::int64_t mtime);  // with lock_ held
    std::optional<double> SavedTarget();  // with lock_ held; forgets a figure past its age
    void Write();

    soundlib::ISoundLib& lib_;
    const QString levelsPath_;
    const QString musicDir_;
    std::shared_ptr<TStreamLoudness> stream_;

    std::mutex lock_;
    std::condition_variable wake_;
    Levels levels_;
    std::deque<QString> queue_;
    bool busy_ = false;
    bool dirty_ = false;
    bool quit_ = false;
    int measured_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
