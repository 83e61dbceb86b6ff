#include "system/clock.h"

#include <algorithm>

namespace {
// Local time costs a look at the system's time zone each time (glibc stats /etc/localtime at
// every conversion), and the player asks many times a second. The zone's offset can only
// change on a whole second, so it is looked up once a second and the time within the second
// is added to it: a change of zone, summer time included, is in force from its first second.
class SystemClock : public IClock {
public:
    QDateTime Now() const override {
        const qint64 ms = QDateTime::currentMSecsSinceEpoch();
        const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        thread_local qint64 cachedSecond = -1;
        thread_local int cachedOffset = 0;
        if (second != cachedSecond || cachedSecond == -1) {
            cachedOffset = QDateTime::fromMSecsSinceEpoch(second * 1000).offsetFromUtc();
            cachedSecond = second;
        }
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, cachedOffset);
    }
};
SystemClock systemClock;
IClock* current = &systemClock;
}  // namespace

IClock& Clock() { return *current; }
void SetClock(IClock* clock) { current = clock ? clock : &systemClock; }

QDateTime NowDateTime() { return Clock().Now(); }
QDate Today() { return Clock().Now().date(); }
QTime TimeOfDay() { return Clock().Now().time(); }

int WeekdayNumber(const QDate& date) {
    // Qt counts Monday 1 .. Sunday 7; the program counts Sunday 1 .. Saturday 7.
    return date.dayOfWeek() % 7 + 1;
}

namespace {
// The offset from UTC of the system's zone at an instant, as the C library's localtime gives it.
int OffsetAt(qint64 msecsSinceEpoch) { return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).offsetFromUtc(); }
}  // namespace

// Qt's own conversion of a local date and time (the C library's mktime) is of no use at the
// edges: for a skipped reading it gives an invalid date-time, and for a repeated one whichever
// occurrence mktime's last guess of summer time lands on. So the instant is sought among the
// zone's offsets: the reading taken as UTC, less the offset in force at that instant.
QDateTime LocalInstant(const QDate& date, const QTime& time) {
    constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;
    const qint64 reading = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    // The offsets a day before and a day after: the one before a change and the one after it
    // (no zone changes twice within two days). The larger gives the earlier instant.
    const int early = OffsetAt(reading - kDayMs);
    const int late = OffsetAt(reading + kDayMs);
    const int larger = std::max(early, late);
    const int smaller = std::min(early, late);
    // With its offset fixed, as Now() gives it: a local date-time would look at the zone again
    // at every comparison.
    for (const int offset : {larger, smaller}) {
        const qint64 at = reading - offset * 1000LL;
        if (OffsetAt(at) == offset) return QDateTime::fromMSecsSinceEpoch(at, Qt::OffsetFromUTC, offset);
    }
    // Skipped: no offset fits. The clocks jumped between the instant the reading has under the
    // offset after the jump and the one it has under the offset before it.
    qint64 before = reading - larger * 1000LL;
    qint64 after = reading - smaller * 1000LL;
    const int offsetBefore = OffsetAt(before);
    while (after - before > 1) {
        const qint64 middle = before + (after - before) / 2;
        (OffsetAt(middle) == offsetBefore ? before : after) = middle;
    }
    return QDateTime::fromMSecsSinceEpoch(after, Qt::OffsetFromUTC, OffsetAt(after));
}

FakeClock::FakeClock(QDateTime start) : now_(std::move(start)) {}
