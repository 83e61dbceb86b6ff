#pragma once
// The user's regional time and short date formats, as Qt format texts. They come from the
// user's locale, unless the per-user override file formatos.ini exists in the program's
// folder of the per-user configuration folder (GetWindowsFolder() + "/sonaris/"); a locale
// cannot be changed by a program, so "setting the user's format" writes that file.
// formatos.ini: code page 1252, CR LF, lines TIME_FORMAT=... and SHORT_DATE_FORMAT=...;
// a key missing from it (or empty) keeps the locale's format.
#include <QString>

QString UserFormatsFile();
QString UserTimeFormat();
QString UserShortDateFormat();
// Write the override file atomically, keeping its other lines. False when it cannot be
// written (the file is then as it was).
bool SetUserTimeFormat(const QString& format);
bool SetUserShortDateFormat(const QString& format);
