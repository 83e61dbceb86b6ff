#include "spots/spotschedule.h"

#include "system/clock.h"

#include <algorithm>

namespace {
constexpr int kDayMs = 24 * 3600 * 1000;
// A change of summer time puts an instant at most this far from the same reading of the clock
// on another side of the change.
constexpr int kShiftMs = 3600 * 1000;
// Handled spot times are kept this long, so that a clock moved back does not play them again.
constexpr int kKeepDays = 3;

const QString kLate = QStringLiteral("atrasado");
const QString kOutputLost = QStringLiteral("saída de áudio perdida");
const QString kInvalidFile = QStringLiteral("arquivo inválido");
const QString kNotReceived = QStringLiteral("arquivo não recebido");
}  // namespace

void TSpotSchedule::SetSpots(std::vector<SpotLine> spots) {
    spots_ = std::move(spots);
    nextKnown_ = false;
}

std::vector<TSpotSchedule::Occurrence> TSpotSchedule::Between(const QDateTime& from, const QDateTime& to) const {
    std::vector<Occurrence> found;
    if (spots_.empty() || !(from < to)) return found;
    const QDate last = to.date();
    // A clock moved days ahead: what lies further back is not looked for.
    QDate date = std::max(from.date(), last.addDays(-2));
    for (; date <= last; date = date.addDays(1)) {
        const int weekday = WeekdayNumber(date);
        const int lowMs = date == from.date() ? std::max(0, from.time().msecsSinceStartOfDay() - kShiftMs) : 0;
        const int highMs = date == last ? std::min(kDayMs - 1, to.time().msecsSinceStartOfDay() + kShiftMs) : kDayMs - 1;
        for (const SpotLine& spot : spots_) {
            if (!spot.On(weekday)) continue;
            auto consider = [&](const QTime& time) {
                const QDateTime at = LocalInstant(date, time);
                if (from < at && at <= to) found.push_back({at, spot.Number, spot.File, at.date() != date || at.time() != time});
            };
            if (!spot.Repeats) {
                const int ms = spot.At.msecsSinceStartOfDay();
                if (ms >= lowMs && ms <= highMs) consider(spot.At);
                continue;
            }
            for (int minute = (lowMs + 59999) / 60000; minute * 60000 <= highMs; ++minute)
                if (minute % 60 % spot.EveryMinutes == 0) consider(QTime(minute / 60, minute % 60));
        }
    }
    std::sort(found.begin(), found.end(), [](const Occurrence& a, const Occurrence& b) {
        return a.At != b.At ? a.At < b.At : a.Line < b.Line;
    });
    return found;
}

std::optional<TSpotSchedule::Upcoming> TSpotSchedule::NextAfter(const QDateTime& now) const {
    // Widening looks: the next time is nearly always within the next two hours.
    for (const qint64 ahead : {qint64(2) * 3600, qint64(26) * 3600, qint64(50) * 3600}) {
        const auto found = Between(now, now.addSecs(ahead));
        if (!found.empty()) return Upcoming{found.front().At, found.front().File};
    }
    return std::nullopt;
}

void TSpotSchedule::Miss(const QString& file, const QString& reason) {
    ++missed_;
    if (history_) history_(QStringLiteral("SPOT NÃO TOCADO - ") + file + QStringLiteral(" - ") + reason);
}

void TSpotSchedule::Tick(const QDateTime& now, const PlayWindow& window, bool activated, ISpotOutput& output) {
    if (!activated) {
        // Nothing is due while the run is off, not even what was waiting for its turn.
        queue_.clear();
        lastWindow_ = PlayWindow{};
        wasActivated_ = false;
        lastTick_ = now;
        return;
    }
    QDateTime from = lastTick_;
    if (!wasActivated_) {
        from = now;
        if (!everActivated_ && window.Open.isValid() && window.Open <= now) {
            from = std::max(window.Open.addMSecs(-1), now.addDays(-1));
            if (resumeAfter_.isValid()) from = std::min(std::max(from, resumeAfter_), now);
        }
        everActivated_ = wasActivated_ = true;
        nextKnown_ = false;
    } else if (now < lastTick_) {
        // The clock went back: what was handled is in done_, the rest comes again.
        from = now;
        nextKnown_ = false;
    }
    lastTick_ = now;
    struct KeepWindow {
        PlayWindow& last;
        const PlayWindow& now;
        ~KeepWindow() { last = now; }
    } keep{lastWindow_, window};

    if (!nextKnown_ || (next_ && next_->At <= now)) {
        for (const Occurrence& spot : Between(from, now)) {
            if (!done_.insert({spot.At.toMSecsSinceEpoch(), spot.File}).second) continue;
            if (!window.Holds(spot.At) && !lastWindow_.Holds(spot.At)) continue;
            if (spot.Skipped || spot.At.msecsTo(now) > kLatestStartMs)
                Miss(spot.File, kLate);
            else
                queue_.push_back(spot);
        }
        const qint64 keepFrom = now.addDays(-kKeepDays).toMSecsSinceEpoch();
        done_.erase(done_.begin(), done_.lower_bound({keepFrom, QString()}));
        next_ = NextAfter(now);
        nextKnown_ = true;
    }

    while (!queue_.empty()) {
        const Occurrence spot = queue_.front();
        const bool lost = output.OutputLost();
        if (spot.At.msecsTo(now) > kLatestStartMs) {
            queue_.pop_front();
            Miss(spot.File, lost ? kOutputLost : kLate);
            continue;
        }
        if (lost || output.Busy()) break;
        queue_.pop_front();
        if (output.Awaited(spot.File)) {
            Miss(spot.File, kNotReceived);
            continue;
        }
        if (output.Start(spot.File)) {
            ++played_;
            if (history_) history_(QStringLiteral("SPOT - ") + spot.File);
            break;
        }
        Miss(spot.File, kInvalidFile);
    }
}

QString TSpotSchedule::TakeSummary() {
    if (played_ + missed_ == 0) return QString();
    const QString line = QStringLiteral("RESUMO DE SPOTS - Tocados: %1  Não tocados: %2").arg(played_).arg(missed_);
    played_ = missed_ = 0;
    return line;
}
