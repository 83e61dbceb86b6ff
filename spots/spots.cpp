#include "spots/spots.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "system/formats.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>

namespace {
constexpr qint64 kLookEveryMs = 60000;
// The timer is armed at most this far ahead and looks again: a clock moved meanwhile would
// leave a timer armed on the old reading.
constexpr qint64 kLongestWaitMs = 30000;
// A spot's file is opened this long before its time.
constexpr qint64 kPrepareMs = 2000;
}  // namespace

TSpots::TSpots(soundlib::ISoundLib& lib, const QString& programFolder, int device, TLoudness* music, Hooks hooks, QObject* parent)
    : QObject(parent), lib_(lib), iniPath_(programFolder + kSpotsIni), spotsDir_(programFolder + kSpotsFolder + QLatin1Char('/')),
      device_(device), music_(music), hooks_(std::move(hooks)), schedule_(hooks_.History), downloads_(programFolder) {
    QDir().mkpath(spotsDir_);
    // A file that arrives is measured before its time comes.
    connect(&downloads_, &TSpotDownloads::Received, this, [this] {
        if (player_) player_->Measure(files_);
    });
    onTime_.setSingleShot(true);
    onTime_.setTimerType(Qt::PreciseTimer);
    connect(&onTime_, &QTimer::timeout, this, &TSpots::Run);
    if (hooks_.HistoryOf) {
        // A night's window began on the date before.
        const QDateTime now = NowDateTime();
        QDateTime last;
        for (const QDate& date : {now.date().addDays(-1), now.date()})
            for (const QString& line : hooks_.HistoryOf(date)) {
                bool ok = false;
                const QTime time = ParseTime(line.left(8), &ok);
                if (!ok || !line.mid(8).startsWith(QStringLiteral(" - "))) continue;
                const QDateTime at = LocalInstant(date, time);
                if (at <= now && (!last.isValid() || at > last)) last = at;
            }
        if (last.isValid()) schedule_.ResumeAfter(last);
    }
    Look();
}

TSpots::~TSpots() = default;

void TSpots::Look() {
    lastLook_ = NowDateTime();
    const FileChangeStamp stamp = StampOf(iniPath_);
    if (stamp == stamp_) return;
    stamp_ = stamp;
    const SpotsSettings settings = ReadSpotsIni(iniPath_);
    for (int number : settings.BadLines)
        if (hooks_.History) hooks_.History(BadLineText(number));
    duckDb_ = settings.DuckDb;
    if (!settings.Spots.empty() && !player_) {
        TSpotPlayer::Hooks hooks{hooks_.Duck, hooks_.Volume,
                                 [this] {
                                     // Raised from inside the player's stop: the next spot
                                     // starts once that has returned.
                                     QMetaObject::invokeMethod(this, &TSpots::Run, Qt::QueuedConnection);
                                 },
                                 [this](const QString& file) { return downloads_.Awaited(file); }};
        player_ = std::make_unique<TSpotPlayer>(lib_, device_, spotsDir_, music_, std::move(hooks), this);
    }
    if (player_) {
        player_->SetDuckDb(duckDb_);
        files_.clear();
        for (const SpotLine& spot : settings.Spots)
            if (!files_.contains(spot.File)) files_ << spot.File;
        player_->Measure(files_);
    }
    schedule_.SetSpots(settings.Spots);
}

void TSpots::Reread() {
    downloads_.Reload();
    stamp_ = {};
    Look();
    Run();
}

void TSpots::Tick(const PlayWindow& window, bool activated) {
    window_ = window;
    activated_ = activated;
    Run();
}

void TSpots::Run() {
    const QDateTime now = NowDateTime();
    if (!lastLook_.isValid() || std::llabs(lastLook_.msecsTo(now)) >= kLookEveryMs) Look();
    downloads_.Tick(now);
    if (player_) {
        schedule_.Tick(now, window_, activated_, *player_);
        player_->Settle();
    }
    ArmTimer();
}

void TSpots::ArmTimer() {
    const auto next = schedule_.NextDue();
    if (!next || !player_) {
        onTime_.stop();
        return;
    }
    qint64 wait = NowDateTime().msecsTo(next->At);
    if (wait > kPrepareMs) {
        wait -= kPrepareMs;  // woken to open it first
    } else if (activated_ && (window_.Holds(next->At))) {
        player_->Prepare(next->File);
        wait = NowDateTime().msecsTo(next->At);
    }
    onTime_.start(int(std::clamp<qint64>(wait, 0, kLongestWaitMs)));
}

void TSpots::WriteSummary() {
    const QString line = schedule_.TakeSummary();
    if (!line.isEmpty() && hooks_.History) hooks_.History(line);
}

void TSpots::FadeOut(std::uint16_t ms) {
    if (player_ && player_->Busy()) player_->Player().FadeOut(ms);
}

void TSpots::Deactivate(std::uint16_t fadeMs) {
    FadeOut(fadeMs);
    Tick(window_, false);
}

std::optional<TSpotSchedule::Upcoming> TSpots::Next() const { return schedule_.NextAfter(NowDateTime()); }
