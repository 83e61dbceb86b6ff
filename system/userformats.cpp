#include "system/userformats.h"

#include "system/codepage1252.h"
#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/rawfile.h"
#include "system/strftimeformat.h"

namespace {

const QString kTimeKey = QStringLiteral("TIME_FORMAT");
const QString kDateKey = QStringLiteral("SHORT_DATE_FORMAT");

QString Overridden(const QString& key, const QString& fromLocale) {
    const QString file = UserFormatsFile();
    if (!FileExistsRaw(file)) return fromLocale;
    const QString value = ReadSetting(ReadLines1252(file), key, QString());
    return value.isEmpty() ? fromLocale : value;
}

bool SetOverride(const QString& key, const QString& format) {
    const QString file = UserFormatsFile();
    QStringList lines = ReadLines1252(file);
    const QString line = key + QLatin1Char('=') + format;
    // Replace the line that ReadSetting would find, so the new value is the one read back.
    bool replaced = false;
    for (QString& l : lines) {
        if (l.contains(key + QLatin1Char('='))) {
            l = line;
            replaced = true;
            break;
        }
    }
    if (!replaced) lines << line;
    return MakePathRaw(file.left(file.lastIndexOf(QLatin1Char('/')))) && WriteLines1252Atomic(file, lines);
}

}  // namespace

QString UserFormatsFile() { return GetWindowsFolder() + QStringLiteral("/sonaris/formatos.ini"); }

QString UserTimeFormat() { return Overridden(kTimeKey, LocaleTimeFormat()); }
QString UserShortDateFormat() { return Overridden(kDateKey, LocaleShortDateFormat()); }

bool SetUserTimeFormat(const QString& format) { return SetOverride(kTimeKey, format); }
bool SetUserShortDateFormat(const QString& format) { return SetOverride(kDateKey, format); }
