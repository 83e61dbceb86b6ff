#include "app/dayaccount.h"

#include <algorithm>

namespace {
// A duration as HH:MM:SS; the hours do not wrap at a day.
QString Duration(qint64 ms) {
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

void TDayAccount::Start(const QDateTime& now, Heard heard) {
    last_ = now;
    heard_ = heard;
}

void TDayAccount::Look(const QDateTime& now, const QDateTime& open, const QDateTime& close, Heard heard) {
    if (last_.isValid() && open.isValid() && close.isValid()) {
        const qint64 from = last_.toMSecsSinceEpoch();
        const qint64 to = now.toMSecsSinceEpoch();
        if (to > from && to - from <= kLongestGapMs) {
            // Instants, not times of day: a night's window runs across midnight.
            const qint64 inside = std::min(to, close.toMSecsSinceEpoch()) - std::max(from, open.toMSecsSinceEpoch());
            if (inside > 0) Book(inside);
        }
    }
    last_ = now;
    heard_ = heard;
}

void TDayAccount::Book(qint64 ms) {
    if (heard_.stream) streamMs_ += ms;
    if (heard_.local) localMs_ += ms;
    if (!heard_.stream && !heard_.local) silenceMs_ += ms;
}

QString TDayAccount::TakeLine() {
    const QString line = QStringLiteral("RESUMO DO DIA - Streaming: ") + Duration(streamMs_) +
                         QStringLiteral("  Músicas Locais: ") + Duration(localMs_) + QStringLiteral("  Silêncio: ") +
                         Duration(silenceMs_) + QStringLiteral("  Quedas: ") + QString::number(drops_);
    streamMs_ = localMs_ = silenceMs_ = 0;
    drops_ = 0;
    return line;
}
