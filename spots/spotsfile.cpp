#include "spots/spotsfile.h"

#include "system/codepage1252.h"
#include "system/filenames.h"

#include <sys/stat.h>

#include <optional>

namespace {
bool Digits(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

std::optional<SpotLine> ReadSpot(const QString& line) {
    const int first = line.indexOf(QLatin1Char(';'));
    const int second = first < 0 ? -1 : line.indexOf(QLatin1Char(';'), first + 1);
    if (second < 0) return std::nullopt;
    const QString when = line.left(first).trimmed();
    const QString days = line.mid(first + 1, second - first - 1).trimmed();
    // The name may hold ';': it is all that follows the second one.
    const QString file = line.mid(second + 1).trimmed();
    SpotLine spot;
    if (when.startsWith(QStringLiteral("*/"))) {
        const QString minutes = when.mid(2);
        if (minutes.size() > 2 || !Digits(minutes)) return std::nullopt;
        spot.Repeats = true;
        spot.EveryMinutes = minutes.toInt();
        if (spot.EveryMinutes < 1 || spot.EveryMinutes > 60) return std::nullopt;
    } else {
        if (when.size() != 8) return std::nullopt;
        spot.At = QTime::fromString(when, QStringLiteral("HH:mm:ss"));
        if (!spot.At.isValid()) return std::nullopt;
    }
    if (!Digits(days)) return std::nullopt;
    for (QChar c : days) {
        const int weekday = c.digitValue();
        if (weekday < 1 || weekday > 7) return std::nullopt;
        spot.Days |= std::uint8_t(1u << (weekday - 1));
    }
    // Only a name: a path could reach outside the spots' folder.
    if (file.isEmpty() || file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\')) || file == QStringLiteral(".") ||
        file == QStringLiteral(".."))
        return std::nullopt;
    spot.File = file;
    return spot;
}
}  // namespace

SpotsSettings ReadSpotsIni(const QString& path) {
    SpotsSettings settings;
    bool ok = false;
    const QStringList lines = ReadLines1252(path, &ok);
    settings.Exists = ok;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty()) continue;
        const int number = i + 1;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals >= 0 && !line.contains(QLatin1Char(';'))) {
            const QString value = line.mid(equals + 1).trimmed();
            if (line.left(equals).trimmed().compare(kDuckKey, Qt::CaseInsensitive) == 0 && value.size() <= 2 && Digits(value) &&
                value.toInt() <= kDuckDeepestDb) {
                settings.DuckDb = value.toInt();
                continue;
            }
            settings.BadLines.push_back(number);
            continue;
        }
        if (auto spot = ReadSpot(line)) {
            spot->Number = number;
            settings.Spots.push_back(*spot);
        } else {
            settings.BadLines.push_back(number);
        }
    }
    return settings;
}

QString BadLineText(int number) { return QStringLiteral("SPOTS.INI: linha inválida - ") + QString::number(number); }

FileChangeStamp StampOf(const QString& path) {
    struct stat info {};
    if (stat(EncodeFileName(path).constData(), &info) != 0) return {};
    return FileChangeStamp{true, qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}
