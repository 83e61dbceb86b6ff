#pragma once
// TSpotSchedule: when the spots of SPOTS.INI play. A passive object: the controller hands it
// the wall clock's reading, the window in force and whether the run is activated at each tick,
// and the spot output (the player of spots over the music) through ISpotOutput.
//
// The rules:
// - a spot's times are the wall clock's, found date by date (LocalInstant); a time the clocks
//   skip when summer time begins is never read on the wall, so that day's spot is missed, not
//   played at the first instant after the gap; a time they repeat plays once;
// - a spot falls due only inside the window in force at its time while the run is activated;
//   outside, nothing is due and nothing is written;
// - spots due together play one after another, in the order of their lines;
// - a spot that cannot start within 60 s of its time is missed with the reason in force when it
//   is given up: the output lost, or "atrasado" (the clock moved past it, the program started
//   after it, a spot before it still playing); it never plays late;
// - a file that cannot be played is passed over at once and the next one may start; so is one
//   the office sent that has not been received yet ("arquivo não recebido").
// The first activated tick of the object's life looks back to the opening of the window in
// force, or to the last moment a previous run of the day left a record of, when later: the
// spots the shop missed because the program started late are recorded as missed, and those a
// run before a restart handled are not recorded twice. A later activation starts from its own
// moment.
#include "schedule/playwindow.h"
#include "spots/spotsfile.h"

#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

class ISpotOutput {
public:
    virtual ~ISpotOutput() = default;
    virtual bool Busy() = 0;        // a spot is playing
    virtual bool OutputLost() = 0;  // nothing would be heard
    // Starts `file` (a name in SPOTS/) over the music; false when it cannot be played.
    virtual bool Start(const QString& file) = 0;
    // `file` comes from the office and is not here and checked yet.
    virtual bool Awaited(const QString& /*file*/) { return false; }
};

class TSpotSchedule {
public:
    using History = std::function<void(const QString&)>;
    explicit TSpotSchedule(History history) : history_(std::move(history)) {}

    // The lines in force from now on. A spot already due or done stays so.
    void SetSpots(std::vector<SpotLine> spots);

    void Tick(const QDateTime& now, const PlayWindow& window, bool activated, ISpotOutput& output);
    // The last moment a previous run recorded anything (its spots up to then are its own).
    void ResumeAfter(const QDateTime& lastRecorded) { resumeAfter_ = lastRecorded; }

    struct Upcoming {
        QDateTime At;
        QString File;
    };
    // The next spot time after `now` within two days, whatever the window (the window of a later
    // date is not known yet); none when there is no line.
    std::optional<Upcoming> NextAfter(const QDateTime& now) const;

    // "RESUMO DE SPOTS - ..." for the spots due since the last one, and the counts start again;
    // empty when none was due.
    QString TakeSummary();
    // The first spot time after the last activated tick, as that tick found it.
    std::optional<Upcoming> NextDue() const { return nextKnown_ && wasActivated_ ? next_ : std::nullopt; }
    int Played() const { return played_; }
    int Missed() const { return missed_; }
    bool Waiting() const { return !queue_.empty(); }

    static constexpr qint64 kLatestStartMs = 60000;

private:
    struct Occurrence {
        QDateTime At;
        int Line = 0;  // number in the file: the order of spots due together
        QString File;
        bool Skipped = false;  // the wall clock never reads its time on that date
    };
    // Every spot time in (from, to], in order.
    std::vector<Occurrence> Between(const QDateTime& from, const QDateTime& to) const;
    void Miss(const QString& file, const QString& reason);

    History history_;
    std::vector<SpotLine> spots_;
    std::deque<Occurrence> queue_;
    std::set<std::pair<qint64, QString>> done_;  // instants and files already handled
    QDateTime lastTick_;
    // The window of the previous tick: a spot at a night's stop is still due at a tick that
    // comes after it, when the next date's window is already in force.
    PlayWindow lastWindow_;
    bool wasActivated_ = false;
    bool everActivated_ = false;
    QDateTime resumeAfter_;
    std::optional<Upcoming> next_;  // first spot time after lastTick_
    bool nextKnown_ = false;
    int played_ = 0;
    int missed_ = 0;
};
