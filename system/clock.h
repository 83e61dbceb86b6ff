#pragma once
// The one clock of the program. Everything that asks "what time is it" (the daily run, the
// history, today's weekday, the device's init stamp) goes through Clock(), so tests can set
// the date and the time of day and move them by hand.
#include <QDateTime>

class IClock {
public:
    virtual ~IClock() = default;
    virtual QDateTime Now() const = 0;
};

// The clock in force: the system clock unless a test installed another.
IClock& Clock();
// Installs a clock (not owned); nullptr goes back to the system clock.
void SetClock(IClock* clock);

// Shorthands over Clock().
QDateTime NowDateTime();
QDate Today();
QTime TimeOfDay();
// Weekday in the program's numbering: 1 Sunday ... 7 Saturday.
int WeekdayNumber(const QDate& date);

// The instant at which the wall clock of the system's zone reads `time` on `date`. A reading
// the clocks skip when summer time begins is the first instant after the skipped hour; a
// reading they repeat when it ends is its first occurrence. A time on another date is found
// this way, never by adding hours or days to a reading of the clock: Now() carries the offset
// of its own second, which a change of summer time in between leaves behind.
QDateTime LocalInstant(const QDate& date, const QTime& time);

// A clock that stands still until a test moves it.
class FakeClock : public IClock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime& t) { now_ = t; }
    void SetTime(const QTime& t) { now_.setTime(t); }
    void Advance(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};
