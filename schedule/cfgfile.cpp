#include "schedule/cfgfile.h"

#include "system/codepage1252.h"
#include "system/formats.h"

#include <QFileInfo>

QString CfgFilePath(const QString& programFolder) { return programFolder + QStringLiteral("CFG.ACI"); }

bool CfgFileExists(const QString& programFolder) { return QFileInfo(CfgFilePath(programFolder)).isFile(); }

DaySchedule ParseDayLine(const QString& line) {
    // QString::mid past the end gives a shorter or empty text, never an error: a short or
    // hand-edited line reads as whatever stands at the positions.
    return {line.mid(1, 8), line.mid(10, 8), line.mid(19, 1), line.mid(21, 1)};
}

QString FormatDayLine(const DaySchedule& day) {
    const QChar bar = QLatin1Char('|');
    return bar + day.Start + bar + day.Stop + bar + day.Reserved1 + bar + day.Reserved2;
}

int ParseSchedule(const QStringList& lines, WeekSchedule& days) {
    int read = 0;
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (static_cast<qsizetype>(i) < lines.size()) {
            days[i] = ParseDayLine(lines[i]);
            ++read;
        } else {
            days[i] = DaySchedule{};
        }
    }
    return read;
}

QStringList FormatSchedule(const WeekSchedule& days) {
    QStringList lines;
    for (const DaySchedule& day : days) lines << FormatDayLine(day);
    return lines;
}

namespace {
QTime WholeSeconds(const QTime& t) { return QTime(t.hour(), t.minute(), t.second()); }
}  // namespace

DayTimes CheckDayTimes(const QTime& start, const QTime& stop) {
    if (start == QTime(0, 0) && stop == QTime(0, 0)) return DayTimes::Undefined;
    // Compared as entered, milliseconds included; but an earlier stop within the same second
    // would be written equal and read as undefined, so it is refused as an equal one is.
    if (stop == start || (stop < start && WholeSeconds(stop) == WholeSeconds(start))) return DayTimes::Equal;
    return stop < start ? DayTimes::Night : DayTimes::Window;
}

DaySchedule SavedDay(const QTime& start, const QTime& stop) {
    return {FormatTime(WholeSeconds(start)), FormatTime(WholeSeconds(stop)), QStringLiteral("0"), QStringLiteral("0")};
}

bool WriteSchedule(const QString& path, const WeekSchedule& days) {
    return WriteLines1252Atomic(path, FormatSchedule(days));
}
