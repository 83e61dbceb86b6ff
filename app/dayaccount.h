#pragma once
// TDayAccount: how much of the day's playing window was actually heard, and how often the
// stream was lost. The daily run looks at the players at each of its ticks; a look stands for
// the time until the next one, so each look books the time since the previous one under what
// was heard then, counting only the part that lies inside the day's window. The clock only
// measures how long a look stood; what was heard comes from the players alone.
//
// Plain bookkeeping on the user-interface thread: the controller feeds it and writes its line.
#include <QDateTime>
#include <QString>

#include <cstdint>

class TDayAccount {
public:
    struct Heard {
        bool stream = false;
        bool local = false;
    };

    // A longer time between two looks (the machine slept, the clock was set) is not booked:
    // nothing is known of what was heard meanwhile. Longer than any connection attempt that
    // holds the ticks back.
    static constexpr qint64 kLongestGapMs = 60000;

    // The run starts at `now`: what came before it is no part of any account.
    void Start(const QDateTime& now, Heard heard);
    // One look at the players, with the window [open, close] (both ends included) in force.
    void Look(const QDateTime& now, const QDateTime& open, const QDateTime& close, Heard heard);
    void CountDrop() { ++drops_; }

    // Something was booked or counted since the last line.
    bool Holds() const { return streamMs_ > 0 || localMs_ > 0 || silenceMs_ > 0 || drops_ > 0; }

    // The line for everything since the previous line; the account starts again from zero,
    // the looks go on from the last one.
    QString TakeLine();

private:
    void Book(qint64 ms);

    QDateTime last_;
    Heard heard_;
    qint64 streamMs_ = 0;
    qint64 localMs_ = 0;
    qint64 silenceMs_ = 0;
    std::int32_t drops_ = 0;
};
