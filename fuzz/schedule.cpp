// CFG.ACI edited by hand: the bytes as the file, read as the main window reads today's window
// for each weekday, and as the editor parses the week.
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"
#include "schedule/cfgfile.h"
#include "schedule/todaywindow.h"
#include "system/codepage1252.h"

namespace fuzz {

int Schedule(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    WriteFile(QStringLiteral("CFG.ACI"), bytes);
    const WeekLines week = ReadWeekLines(TempFolder());
    for (int weekday = 1; weekday <= 7; ++weekday) {
        const TodayWindow window = WindowOfDay(week, weekday);
        Require(window.Start.isValid() && window.Stop.isValid(), "a window with an invalid time");
    }
    WeekSchedule days;
    const int defined = ParseSchedule(week.Lines, days);
    Require(defined >= 0 && defined <= 7, "more days than a week");
    // What the editor writes back reads as the same week.
    WeekSchedule again;
    ParseSchedule(FormatSchedule(days), again);
    for (std::size_t i = 0; i < days.size(); ++i)
        if (days[i].Start.size() == 8 && days[i].Stop.size() == 8 && days[i].Reserved1.size() == 1 && days[i].Reserved2.size() == 1)
            Require(again[i].Start == days[i].Start && again[i].Stop == days[i].Stop, "a written day reads back otherwise");
    return 0;
}

}  // namespace fuzz
