#pragma once
// CFG.ACI, the weekly schedule: seven lines in code page 1252 with CR LF, line 1 Sunday to
// line 7 Saturday, each |HH:MM:SS|HH:MM:SS|r|r (start, stop, two reserved one-character
// fields). The writer joins the four fields each behind a "|"; the readers take fixed
// character positions and never look at the separators. Both halves stay that way because
// the files already out in the shops must keep reading as they always did, even lines that
// were hand-edited or never defined.
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>

struct DaySchedule {
    QString Start, Stop, Reserved1, Reserved2;
};

// Index 0 Sunday .. 6 Saturday, the line number minus one.
using WeekSchedule = std::array<DaySchedule, 7>;

QString CfgFilePath(const QString& programFolder);  // programFolder ends with '/'
// A regular file CFG.ACI in the program folder (a folder of that name does not count).
bool CfgFileExists(const QString& programFolder);

// The fields at positions 2-9, 11-18, 20 and 22 (counted from 1); a short line gives shorter
// or empty texts.
DaySchedule ParseDayLine(const QString& line);
// "|" + Start + "|" + Stop + "|" + Reserved1 + "|" + Reserved2.
QString FormatDayLine(const DaySchedule& day);

// Fills day i from line i. A day without a line (a file of fewer than seven lines) becomes
// undefined, all four fields empty; lines after the seventh are ignored. Returns how many
// days had a line.
int ParseSchedule(const QStringList& lines, WeekSchedule& days);
QStringList FormatSchedule(const WeekSchedule& days);

// The editor's rules for the two times of a day it saves, wherever they are entered: both
// 00:00:00 is no window at all, an equal stop (to the whole second, as the file keeps them)
// no time to play, and an earlier stop a night that ends on the next date, which whoever
// enters it confirms.
enum class DayTimes { Window, Night, Undefined, Equal };
DayTimes CheckDayTimes(const QTime& start, const QTime& stop);
// The record saved for two such times: whole seconds (a fraction dropped, not rounded) in the
// program's time format, both reserved fields "0".
DaySchedule SavedDay(const QTime& start, const QTime& stop);

// Replaces the whole file through a temporary file renamed over it; false when it could not
// be written, the old file then left as it was.
bool WriteSchedule(const QString& path, const WeekSchedule& days);
