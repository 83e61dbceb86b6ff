#include "schedule/playwindow.h"

#include "system/clock.h"

namespace {
PlayWindow LineWindow(const WeekLines& week, const QDate& date) {
    PlayWindow window;
    window.Times = WindowOfDay(week, WeekdayNumber(date));
    window.First = window.Last = date;
    window.Open = LocalInstant(date, window.Times.Start);
    // Only a line that reads as a window can be a night; the stop of any other stays on its
    // date and keeps it empty.
    const bool night = window.Times.ShowTimes && window.Times.Stop < window.Times.Start;
    window.Close = LocalInstant(night ? date.addDays(1) : date, window.Times.Stop);
    return window;
}
}  // namespace

PlayWindow WindowAt(const WeekLines& week, const QDateTime& now) {
    const QDate today = now.date();
    // The previous date's window reaches this date only as a night that has not ended yet.
    PlayWindow window = LineWindow(week, today.addDays(-1));
    if (now > window.Close) window = LineWindow(week, today);
    // Each line of a chain starts before the stop it runs into and stops before its own start,
    // so the stops fall from line to line: a chain never goes round the week.
    for (int day = 0; day < 7; ++day) {
        const PlayWindow next = LineWindow(week, window.Last.addDays(1));
        if (!next.Times.ShowTimes || next.Open > window.Close) break;
        window.Last = next.Last;
        if (next.Close > window.Close) {
            window.Close = next.Close;
            window.Times.Stop = next.Times.Stop;
        }
    }
    return window;
}

namespace {
// The instant of the same wall-clock reading under the zone's rules now; unchanged (and cheap:
// one look at the zone) while those rules give it the offset it carries.
QDateTime FollowedZone(const QDateTime& instant) {
    if (!instant.isValid()) return instant;
    const qint64 ms = instant.toMSecsSinceEpoch();
    if (QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc() == instant.offsetFromUtc()) return instant;
    return LocalInstant(instant.date(), instant.time());
}
}  // namespace

void PlayWindow::FollowZone() {
    Open = FollowedZone(Open);
    Close = FollowedZone(Close);
}
