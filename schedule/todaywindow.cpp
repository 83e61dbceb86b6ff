#include "schedule/todaywindow.h"

#include "schedule/cfgfile.h"
#include "system/codepage1252.h"
#include "system/formats.h"

WeekLines ReadWeekLines(const QString& programFolder) {
    WeekLines week;
    week.Exists = CfgFileExists(programFolder);
    // An unreadable file gives no lines, and so no line for any day.
    if (week.Exists) week.Lines = ReadLines1252(CfgFilePath(programFolder));
    return week;
}

TodayWindow ReadTodayWindow(const QString& programFolder, int weekday) {
    return WindowOfDay(ReadWeekLines(programFolder), weekday);
}

TodayWindow WindowOfDay(const WeekLines& week, int weekday) {
    TodayWindow window;
    if (!week.Exists) {
        window.StatusText = QStringLiteral("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA");
        return window;
    }
    const QString notProgrammed = QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO...");
    const QStringList& lines = week.Lines;
    if (weekday < 1 || weekday > 7 || weekday > lines.size()) {
        window.StatusText = notProgrammed;
        return window;
    }
    const DaySchedule day = ParseDayLine(lines[weekday - 1]);
    bool ok = false;
    const QTime start = ParseTime(day.Start, &ok);
    if (!ok) {
        window.StatusText = notProgrammed;
        return window;
    }
    // The start stays even when the stop cannot be read; the stop at 00:00:00 then keeps the
    // window empty.
    window.Start = start;
    const QTime stop = ParseTime(day.Stop, &ok);
    if (!ok) {
        window.StatusText = notProgrammed;
        return window;
    }
    window.Stop = stop;
    if (window.Start == window.Stop) {
        window.StatusText = QStringLiteral("ACIONAMENTO PARA HOJE NÃO DEFINIDA");
        return window;
    }
    window.ShowTimes = true;
    return window;
}
