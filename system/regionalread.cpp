#include "system/regionalread.h"

#include "system/clock.h"

#include <QStringList>

namespace {

bool IsFieldLetter(QChar c, const QString& letters) { return letters.contains(c); }

// First character after the first run of `letters` in the format, outside quotes; the first
// character of quoted text counts too (a format like HH'h'mm separates with 'h').
QChar SeparatorAfterFirstField(const QString& format, const QString& letters, QChar fallback) {
    qsizetype i = 0;
    bool quoted = false;
    for (; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('\'')) quoted = !quoted;
        else if (!quoted && IsFieldLetter(format[i], letters)) break;
    }
    if (i >= format.size()) return fallback;
    const QChar field = format[i];
    while (i < format.size() && format[i] == field) ++i;
    if (i >= format.size()) return fallback;
    if (format[i] == QLatin1Char('\'')) {
        if (i + 1 < format.size() && format[i + 1] != QLatin1Char('\'')) return format[i + 1];
        return i + 2 < format.size() ? QLatin1Char('\'') : fallback;
    }
    if (IsFieldLetter(format[i], QStringLiteral("dMyhHmsaApPzt"))) return fallback;
    return format[i];
}

// A part that is digits only (blanks around it allowed).
std::optional<int> Number(const QString& part) {
    const QString t = part.trimmed();
    if (t.isEmpty() || t.size() > 9) return std::nullopt;
    for (QChar c : t)
        if (!c.isDigit() || c.unicode() > 0x7F) return std::nullopt;
    return t.toInt();
}

}  // namespace

QChar TimeSeparatorOf(const QString& format) {
    return SeparatorAfterFirstField(format, QStringLiteral("hH"), QLatin1Char(':'));
}

QChar DateSeparatorOf(const QString& format) {
    return SeparatorAfterFirstField(format, QStringLiteral("dMy"), QLatin1Char('/'));
}

std::optional<QTime> ReadTimeWithFormat(const QString& text, const QString& format) {
    QString rest = text.trimmed();
    int mark = 0;  // 1 AM, 2 PM
    for (const auto& [name, value] : {std::pair{QStringLiteral("AM"), 1}, std::pair{QStringLiteral("PM"), 2}}) {
        if (rest.endsWith(name, Qt::CaseInsensitive)) { rest.chop(name.size()); mark = value; break; }
        if (rest.startsWith(name, Qt::CaseInsensitive)) { rest.remove(0, name.size()); mark = value; break; }
    }
    const QStringList parts = rest.trimmed().split(TimeSeparatorOf(format));
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    std::optional<int> h = Number(parts[0]), m = Number(parts[1]);
    std::optional<int> s = parts.size() == 3 ? Number(parts[2]) : std::optional<int>(0);
    if (!h || !m || !s) return std::nullopt;
    int hour = *h;
    if (mark != 0) {
        if (hour > 12) return std::nullopt;
        if (hour == 12) hour = 0;
        if (mark == 2) hour += 12;
    }
    const QTime time(hour, *m, *s);
    if (!time.isValid()) return std::nullopt;
    return time;
}

std::optional<QDate> ReadDateWithFormat(const QString& text, const QString& format) {
    // The order follows the first field of the format, as the system's conversion does:
    // day first is D-M-Y, year first Y-M-D, anything else M-D-Y.
    QChar first;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y'))) { first = c; break; }
    }
    const QStringList parts = text.trimmed().split(DateSeparatorOf(format));
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    std::optional<int> a = Number(parts[0]), b = Number(parts[1]);
    std::optional<int> c = parts.size() == 3 ? Number(parts[2]) : std::optional<int>(0);
    if (!a || !b || !c) return std::nullopt;

    int day, month, year;
    bool yearGiven = parts.size() == 3;
    qsizetype yearDigits;
    if (first == QLatin1Char('y')) {
        if (!yearGiven) { month = *a; day = *b; year = 0; yearDigits = 4; }
        else { year = *a; month = *b; day = *c; yearDigits = parts[0].trimmed().size(); }
    } else if (first == QLatin1Char('d')) {
        day = *a; month = *b; year = *c; yearDigits = yearGiven ? parts[2].trimmed().size() : 4;
    } else {
        month = *a; day = *b; year = *c; yearDigits = yearGiven ? parts[2].trimmed().size() : 4;
    }
    const int thisYear = Today().year();
    if (!yearGiven) {
        year = thisYear;
    } else if (yearDigits <= 2) {
        // Two-digit years fall in the fifty years around today.
        year += thisYear / 100 * 100;
        if (year < thisYear - 50) year += 100;
        else if (year > thisYear + 49) year -= 100;
    }
    const QDate date(year, month, day);
    if (!date.isValid()) return std::nullopt;
    return date;
}
