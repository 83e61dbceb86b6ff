#include "spots/spotdownloads.h"

#include "spots/httpsfetch.h"
#include "spots/spotsfile.h"
#include "system/clock.h"
#include "system/rawfile.h"

#include <QCryptographicHash>
#include <QDir>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

// What the worker and the object share. The worker may outlive the object (a name look-up
// that hangs past its deadline): it then reports to nobody.
struct TSpotDownloads::Shared {
    std::mutex lock;
    TSpotDownloads* owner = nullptr;  // under lock
    std::atomic<bool> abort{false};
    // The worker's end, which the object's end waits for a moment: a download cut short by the
    // abort ends at once, and the program's exit then finds no thread inside FFmpeg.
    std::condition_variable ended;
    bool working = false;  // under lock
    // Delivered on the object's thread, and only while it lives: Qt drops what was posted to
    // an object when it goes.
    void Post(std::function<void(TSpotDownloads*)> f) {
        std::lock_guard<std::mutex> guard(lock);
        if (owner) QMetaObject::invokeMethod(owner, [o = owner, f = std::move(f)] { f(o); }, Qt::QueuedConnection);
    }
};

namespace {
QByteArray Sha256Of(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(); }
}  // namespace

TSpotDownloads::TSpotDownloads(const QString& programFolder, QObject* parent)
    : QObject(parent), spotsDir_(programFolder + kSpotsFolder + QLatin1Char('/')), listPath_(programFolder + kRemoteSpotsFile),
      shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    Reload();
    // What a stop in the middle of a rename may have left: the temporary files of our names.
    for (const Entry& e : entries_)
        for (const QString& left : QDir(spotsDir_).entryList({QLatin1Char('.') + e.Spec.File + QStringLiteral(".??????")},
                                                              QDir::Files | QDir::Hidden))
            RemoveFileRaw(spotsDir_ + left);
}

TSpotDownloads::~TSpotDownloads() {
    shared_->abort = true;
    std::unique_lock<std::mutex> guard(shared_->lock);
    shared_->owner = nullptr;
    // A name look-up that hangs does not hold the window's close: the worker then ends alone.
    shared_->ended.wait_for(guard, std::chrono::seconds(2), [&] { return !shared_->working; });
}

void TSpotDownloads::Reload() {
    const auto bytes = ReadFileRaw(listPath_);
    std::vector<Entry> next;
    for (const RemoteSpotFile& spec : ParseRemoteSpots(bytes.value_or(QByteArray()))) {
        // A file already checked under the same source stays so.
        const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Spec == spec; });
        next.push_back({spec, same != entries_.end() && same->Now == State::Here ? State::Here : State::Unknown});
    }
    entries_ = std::move(next);
    if (running_) again_ = true;
    else StartRound();
}

void TSpotDownloads::Tick(const QDateTime& now) {
    if (running_ || !lastRound_.isValid() || std::llabs(lastRound_.msecsTo(now)) < kRetryMs) return;
    if (std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.Now != State::Here; })) StartRound();
}

bool TSpotDownloads::Awaited(const QString& file) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Spec.File == file && e.Now != State::Here; });
}

QStringList TSpotDownloads::Missing() const {
    QStringList files;
    for (const Entry& e : entries_)
        if (e.Now != State::Here) files << e.Spec.File;
    files.sort();
    return files;
}

void TSpotDownloads::StartRound() {
    lastRound_ = NowDateTime();
    std::vector<RemoteSpotFile> wanted;
    for (const Entry& e : entries_)
        if (e.Now != State::Here) wanted.push_back(e.Spec);
    if (wanted.empty()) return;
    running_ = true;
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->working = true;
    }
    MakePathRaw(spotsDir_);
    std::thread([shared = shared_, wanted = std::move(wanted), dir = spotsDir_, authorities = authorities_] {
        pthread_setname_np(pthread_self(), "spot-download");
        for (const RemoteSpotFile& spec : wanted) {
            if (shared->abort) break;
            const QString path = dir + spec.File;
            bool here = false;
            if (const FileChangeStamp stamp = StampOf(path); stamp.Exists && stamp.Size <= kLargestBytes)
                if (const auto present = ReadFileRaw(path)) here = Sha256Of(*present) == spec.Sha256;
            if (!here) {
                const FetchResult got = HttpsFetch(spec.Url, authorities, kTimeoutMs, kLargestBytes, shared->abort);
                here = got.Ok && Sha256Of(got.Body) == spec.Sha256 && !shared->abort && WriteFileRawAtomic(path, got.Body);
            }
            shared->Post([spec, here](TSpotDownloads* self) { self->Done(spec, here); });
        }
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            shared->working = false;
            shared->ended.notify_all();
        }
        shared->Post([](TSpotDownloads* self) { self->RoundDone(); });
    }).detach();
}

void TSpotDownloads::Done(const RemoteSpotFile& spec, bool here) {
    for (Entry& e : entries_)
        if (e.Spec == spec) e.Now = here ? State::Here : State::Failed;
    if (here) emit Received(spec.File);
}

void TSpotDownloads::RoundDone() {
    running_ = false;
    if (again_) {
        again_ = false;
        StartRound();
        if (running_) return;
    }
    emit RoundEnded();
}
