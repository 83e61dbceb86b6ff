#pragma once
// The window that applies at a moment. A weekday's line whose stop is earlier than its start is
// a night: it runs from its start on its date to its stop on the next date (a bar open until two
// in the morning) and belongs to the date it starts on, so until its stop the next date's own
// line waits. A next date's line that opens before the night has ended (only a hand-edited file
// does that) makes one stretch of play with it. Every other line is the window it always was,
// one of at most one instant when it is undefined.
//
// The times are the wall clock's, turned into instants date by date (LocalInstant): a night can
// hold a change of summer time, so its stop is never found by adding hours to its start.
#include "schedule/todaywindow.h"

#include <QDate>
#include <QDateTime>

struct PlayWindow {
    TodayWindow Times;      // the first line's start, the last line's stop, what to show
    QDate First, Last;      // the dates of the first and of the last line it is made of
    QDateTime Open, Close;  // both included; Open after Close: no instant lies inside
    // Dates from the start's to the stop's: 1 for a night.
    int StopDays() const { return int(First.daysTo(Close.date())); }
    bool Holds(const QDateTime& now) const { return Open <= now && now <= Close; }
    // The window still applies: it gives way on a date after its last line's, once it has closed.
    // The instants again from their wall-clock readings when the system's zone has changed
    // since they were found: each carries the offset it was found with, and a shop whose zone
    // is set during the day would otherwise close hours early or late.
    void FollowZone();
    bool InForce(const QDateTime& now) const {
        const QDate date = now.date();
        return date >= First && (date <= Last || now <= Close);
    }
};

PlayWindow WindowAt(const WeekLines& week, const QDateTime& now);
