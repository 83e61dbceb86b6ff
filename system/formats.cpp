#include "system/formats.h"

#include "system/userformats.h"

namespace {
const QString kFixedTime = QStringLiteral("HH:mm:ss");
const QString kFixedDate = QStringLiteral("dd/MM/yyyy");
QString timeFormat = kFixedTime;
QString dateFormat = kFixedDate;
}  // namespace

void UseFixedProgramFormats() {
    timeFormat = kFixedTime;
    dateFormat = kFixedDate;
}

void UseUserProgramFormats() {
    timeFormat = UserTimeFormat();
    dateFormat = UserShortDateFormat();
}

QString ProgramTimeFormat() { return timeFormat; }
QString ProgramDateFormat() { return dateFormat; }

QString FormatTime(const QTime& time) { return time.toString(timeFormat); }
QString FormatDate(const QDate& date) { return date.toString(dateFormat); }

QTime ParseTime(const QString& text, bool* ok) {
    QTime time = QTime::fromString(text, timeFormat);
    // Qt's parser forgives missing leading zeros and the like; the files rely on the exact
    // shape, so only a text that the format writes back unchanged counts.
    if (time.isValid() && time.toString(timeFormat) != text) time = QTime();
    if (ok) *ok = time.isValid();
    return time;
}
