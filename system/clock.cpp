#include "system/clock.h"

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

FakeClock::FakeClock(QDateTime start) : now_(std::move(start)) {}
