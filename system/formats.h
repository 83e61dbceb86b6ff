#pragma once
// The program's own working formats for times and dates in texts (labels, history lines,
// the schedule file). Without DATA.INI the program works with fixed formats, whatever the
// user's regional settings; with DATA.INI it takes the user's formats once, at start-up.
// Formats are Qt format texts ("HH:mm:ss", "dd/MM/yyyy").
#include <QDate>
#include <QString>
#include <QTime>

// Time "HH:mm:ss", short date "dd/MM/yyyy". In force until another call.
void UseFixedProgramFormats();
// The user's regional time and short date formats as they stand now; later changes of the
// regional settings do not reach the running program.
void UseUserProgramFormats();

QString ProgramTimeFormat();
QString ProgramDateFormat();

QString FormatTime(const QTime& time);
QString FormatDate(const QDate& date);
// Strict: the text must be exactly what FormatTime would write for the time it names
// ("25:00:00", "", "||||", "9:00:00" under HH:mm:ss are all invalid). Invalid gives a null
// QTime and *ok false.
QTime ParseTime(const QString& text, bool* ok = nullptr);
