#pragma once
// The user's locale speaks strftime ("%H:%M:%S", "%d/%m/%Y"); the program speaks Qt format
// texts ("HH:mm:ss", "dd/MM/yyyy"). This turns one into the other and reads the locale's
// time and short date formats.
#include <QByteArray>
#include <QString>

// `ampm` is what %r stands for (the locale's 12-hour format); empty gives "%I:%M:%S %p".
QString QtFormatFromStrftime(const QByteArray& strftimeFormat, const QByteArray& ampm = QByteArray());

// The time (T_FMT) and short date (D_FMT) formats of the user's locale as the environment
// names it now (LC_ALL, LC_TIME, LANG); the C locale's when that locale is not installed.
QString LocaleTimeFormat();
QString LocaleShortDateFormat();
