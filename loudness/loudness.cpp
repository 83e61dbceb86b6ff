#include "loudness/loudness.h"

#include "loudness/gainrule.h"
#include "loudness/measure.h"
#include "system/clock.h"
#include "system/filenames.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <set>

namespace {
constexpr auto kWriteEvery = std::chrono::seconds(30);
// A station changes its sound, or the shop its station: a figure not heard again for a week
// says too little about what the stream sounds like now to set the music's level by.
constexpr qint64 kStreamFigureDays = 7;

struct FileStamp {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
};

std::optional<FileStamp> Stamp(const QByteArray& path) {
    struct stat info {};
    if (stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtime)};
}
}  // namespace

TLoudness::TLoudness(soundlib::ISoundLib& lib, QString levelsPath, QString musicDir)
    : lib_(lib), levelsPath_(std::move(levelsPath)), musicDir_(std::move(musicDir)), stream_(std::make_shared<TStreamLoudness>()) {
    levels_ = ReadLevelsIni(levelsPath_);
    dirty_ = levels_.Dropped > 0;  // the damage goes with the first write
    SavedTarget();                 // an old figure too
    thread_ = std::thread(&TLoudness::Run, this);
}

TLoudness::~TLoudness() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    GainFor(QString());  // the stream's last figure
    if (dirty_) Write();
}

void TLoudness::Queue(const QStringList& names, bool wholeFolder) {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.assign(names.begin(), names.end());
    if (wholeFolder) {
        const std::set<QString> listed(names.begin(), names.end());
        for (auto it = levels_.Tracks.begin(); it != levels_.Tracks.end();) {
            if (listed.count(it->first)) {
                ++it;
            } else {
                it = levels_.Tracks.erase(it);
                dirty_ = true;
            }
        }
    }
    wake_.notify_all();
}

bool TLoudness::UpToDate(const QString& name, std::int64_t size, std::int64_t mtime) {
    const auto it = levels_.Tracks.find(name);
    return it != levels_.Tracks.end() && it->second.Size == size && it->second.Mtime == mtime;
}

std::optional<double> TLoudness::SavedTarget() {
    if (!levels_.Stream) return std::nullopt;
    // A day ahead of today is a clock that was wrong then or is now: no age can be told.
    const qint64 age = levels_.Stream->Day.daysTo(Today());
    if (age < 0 || age > kStreamFigureDays) {
        levels_.Stream.reset();
        dirty_ = true;
        return std::nullopt;
    }
    return BoundedTarget(levels_.Stream->Lufs);
}

double TLoudness::TargetLufs() {
    if (const auto heard = stream_->Lufs()) return BoundedTarget(*heard);
    std::lock_guard<std::mutex> guard(lock_);
    return SavedTarget().value_or(kDefaultTargetLufs);
}

double TLoudness::GainFor(const QString& name) {
    const auto heard = stream_->Lufs();
    std::lock_guard<std::mutex> guard(lock_);
    if (heard) {
        levels_.Stream = StreamLevel{BoundedTarget(*heard), Today()};
        dirty_ = true;
        wake_.notify_all();
    }
    if (name.isEmpty()) return 0;
    const double target = SavedTarget().value_or(kDefaultTargetLufs);
    const auto stamp = Stamp(EncodeFileName(musicDir_ + name));
    if (!stamp) return 0;
    if (!UpToDate(name, stamp->size, stamp->mtime)) {
        queue_.push_front(name);
        wake_.notify_all();
        return 0;
    }
    const TrackLevel& track = levels_.Tracks[name];
    return track.Measured ? LoudnessGainDb(track.Lufs, track.TruePeakDb, target) : 0;
}

std::optional<TrackLevel> TLoudness::LevelFor(const QString& name) {
    const auto stamp = Stamp(EncodeFileName(musicDir_ + name));
    if (!stamp) return std::nullopt;
    std::lock_guard<std::mutex> guard(lock_);
    if (!UpToDate(name, stamp->size, stamp->mtime)) {
        queue_.push_front(name);
        wake_.notify_all();
        return std::nullopt;
    }
    const TrackLevel& track = levels_.Tracks[name];
    return track.Measured ? std::optional<TrackLevel>(track) : std::nullopt;
}

soundlib::ISoundLib::DecodedTap TLoudness::StreamTap() {
    return [stream = stream_](const std::int16_t* frames, std::size_t count, int rate) { stream->Feed(frames, count, rate); };
}

bool TLoudness::Idle() {
    std::lock_guard<std::mutex> guard(lock_);
    return queue_.empty() && !busy_;
}

int TLoudness::MeasuredCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return measured_;
}

void TLoudness::Write() {
    Levels copy;
    {
        std::lock_guard<std::mutex> guard(lock_);
        copy = levels_;
        dirty_ = false;
    }
    WriteLevelsIni(levelsPath_, copy);  // a failed write is tried again with the next batch
}

void TLoudness::Run() {
    pthread_setname_np(pthread_self(), "loudness");
    // The sound's threads and the user interface always come first. The lowest nice rather
    // than the idle class: a shop's machine that is never idle still gets its folder measured.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    auto lastWrite = std::chrono::steady_clock::now();
    for (;;) {
        QString name;
        {
            std::unique_lock<std::mutex> guard(lock_);
            busy_ = false;
            wake_.wait(guard, [&] { return quit_ || !queue_.empty() || dirty_; });
            if (quit_) return;
            if (queue_.empty()) {  // a batch done, or the stream's new figure
                guard.unlock();
                Write();
                lastWrite = std::chrono::steady_clock::now();
                continue;
            }
            name = queue_.front();
            queue_.pop_front();
            busy_ = true;
        }
        const QByteArray path = EncodeFileName(musicDir_ + name);
        const auto before = Stamp(path);
        if (!before) continue;  // gone: nothing to measure
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (UpToDate(name, before->size, before->mtime)) continue;
        }
        auto level = MeasureFile(lib_, path, stop_);
        if (!level) return;  // stopped
        // A file written while it was measured is measured again when it is asked for.
        const auto after = Stamp(path);
        if (!after || after->size != before->size || after->mtime != before->mtime) continue;
        level->Size = before->size;
        level->Mtime = before->mtime;
        {
            std::lock_guard<std::mutex> guard(lock_);
            levels_.Tracks[name] = *level;
            dirty_ = true;
            ++measured_;
        }
        if (std::chrono::steady_clock::now() - lastWrite >= kWriteEvery) {
            Write();
            lastWrite = std::chrono::steady_clock::now();
        }
    }
}
