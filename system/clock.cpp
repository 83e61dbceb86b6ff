#include "system/clock.h"

namespace {
class SystemClock : public IClock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
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
