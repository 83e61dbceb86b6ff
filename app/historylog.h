#pragma once
// THistoryLog: the history memo and its copy on disk, one file per day. The day file is
// rewritten whole at each entry (through a temporary file renamed over it, so a full disk
// leaves the previous copy whole), so it equals the memo, lines the operator typed included.
//
// A write the disk refuses costs the file nothing but time: the refused lines stay in the memo
// and, in order, in a list of their own, and the next write that succeeds carries them, then
// one line that tells how many came late (and how many were lost), then the new line. A
// refused line of an earlier day (its memo gone at midnight) goes into its own day's file; the
// list keeps the newest kWaitingMax lines, and an earlier day's line that no longer fits is
// counted as lost.
// The memo starts empty when today's file is missing (a new day, or the file removed), but not
// when it is missing because the disk refused it: then the memo is all the day there is.
//
// Plain bookkeeping on the user-interface thread.
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <deque>
#include <functional>

class QPlainTextEdit;

class THistoryLog {
public:
    static constexpr std::size_t kWaitingMax = 10000;

    // `dayFile` names the file of a day.
    explicit THistoryLog(std::function<QString(const QDate&)> dayFile) : dayFile_(std::move(dayFile)) {}

    // One entry "HH:MM:SS - message" at `time` of `day`, into `memo` and the day file. Returns
    // the lines added to the memo, the line of lines written late first when there is one.
    QStringList Add(QPlainTextEdit& memo, const QDate& day, const QTime& time, const QString& message);

private:
    struct Refused {
        QDate day;
        QString line;
    };
    void WriteOtherDays(const QDate& today);

    std::function<QString(const QDate&)> dayFile_;
    QDate memoDay_;                // the day of the memo's lines
    std::int64_t memoRefused_ = 0;  // lines of memoDay_ that its file lacks
    std::deque<Refused> waiting_;  // refused lines, in order, of any day
    std::int64_t late_ = 0;        // lines written late, not yet told
    std::int64_t lost_ = 0;        // refused lines that no longer fitted, not yet told
};
