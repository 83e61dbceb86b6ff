#pragma once
// Today's playing window: the start and stop of the line of today's weekday in CFG.ACI. The
// week is read once when the main window is created (the editor's saves apply from the next
// start); the window that applies at a moment (playwindow.h) is made of its dates' lines.
#include <QString>
#include <QStringList>
#include <QTime>

struct WeekLines {
    bool Exists = false;
    QStringList Lines;  // as read; an unreadable file gives none
};
WeekLines ReadWeekLines(const QString& programFolder);

struct TodayWindow {
    QTime Start = QTime(0, 0);
    QTime Stop = QTime(0, 0);
    QString StatusText;     // empty: leave Label10 alone
    bool ShowTimes = false; // true: Label13/Label15 show Start/Stop
};

// weekday: 1 Sunday .. 7 Saturday. Never fails: a missing file, a missing line or a text that
// is not a time only give a status text and a window of at most one instant (stop 00:00:00,
// or stop equal to start), inside which the player does not start by itself.
TodayWindow WindowOfDay(const WeekLines& week, int weekday);
TodayWindow ReadTodayWindow(const QString& programFolder, int weekday);
