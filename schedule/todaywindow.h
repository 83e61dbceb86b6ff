#pragma once
// Today's playing window: the start and stop of the line of today's weekday in CFG.ACI, read
// once when the main window is created. The main window's Atualiza_whoje copies the result
// into TodayStart / TodayStop and its labels.
#include <QString>
#include <QTime>

struct TodayWindow {
    QTime Start = QTime(0, 0);
    QTime Stop = QTime(0, 0);
    QString StatusText;     // empty: leave Label10 alone
    bool ShowTimes = false; // true: Label13/Label15 show Start/Stop
};

// weekday: 1 Sunday .. 7 Saturday. Never fails: a missing file, a missing line or a text that
// is not a time only give a status text and a window of at most one instant (stop 00:00:00,
// or stop equal to start), inside which the player does not start by itself.
TodayWindow ReadTodayWindow(const QString& programFolder, int weekday);
