#pragma once
// Reading a time or a date "with the current settings", as the regional check needs it:
// lenient like the system's own conversion, it looks only at the separator and at the order
// of day, month and year of the format, not at leading zeros, AM/PM marks or two- versus
// four-digit years. Formats are Qt format texts.
#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

// Hours, minutes and optional seconds, separated by the format's time separator, with an
// optional AM or PM mark before or after.
std::optional<QTime> ReadTimeWithFormat(const QString& text, const QString& format);
// Three numbers (or day and month of the current year) separated by the format's date
// separator, in the format's order of day, month and year.
std::optional<QDate> ReadDateWithFormat(const QString& text, const QString& format);

// The separator a format uses after its first field (':' or '/' when it has none).
QChar TimeSeparatorOf(const QString& format);
QChar DateSeparatorOf(const QString& format);
