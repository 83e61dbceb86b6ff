#include "app/stationfile.h"

#include "system/codepage1252.h"

#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {
// Quieter than any encoder's noise floor is not dead air any more, louder is music.
constexpr std::int32_t kQuietestDb = -96;
constexpr std::int32_t kLoudestDb = -1;
constexpr std::int32_t kLongestSeconds = 24 * 3600;

// The whole value of the line that starts with KEY= (any case, blanks before it allowed).
// The other settings files are read through ReadSetting, which cuts values at 255
// characters: an address may be longer, and a cut one would name another station.
std::optional<QString> Value(const QStringList& lines, const QString& key) {
    const QString needle = key + QLatin1Char('=');
    for (const QString& line : lines) {
        const QString text = line.trimmed();
        if (text.startsWith(needle, Qt::CaseInsensitive)) return text.mid(needle.size()).trimmed();
    }
    return std::nullopt;
}

std::int32_t Integer(const QStringList& lines, const QString& key, std::int32_t def, std::int32_t low, std::int32_t high) {
    const auto text = Value(lines, key);
    if (!text) return def;
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok && value >= low && value <= high ? value : def;
}
}  // namespace

StationSettings ReadStationIni(const QString& programFolder) {
    StationSettings s;
    const QString path = programFolder + kStationIni;
    if (!QFileInfo::exists(path)) return s;
    const QStringList lines = ReadLines1252(path);

    if (const auto url = Value(lines, QStringLiteral("URL")); url && !url->isEmpty()) {
        if (IsStationAddress(*url)) s.Url = *url;
        else s.UrlRefused = true;
    }
    s.Label = Value(lines, QStringLiteral("NOME")).value_or(QString());
    s.SilenceDb = Integer(lines, QStringLiteral("SILENCIO_DB"), s.SilenceDb, kQuietestDb, kLoudestDb);
    s.SilenceSeconds = Integer(lines, QStringLiteral("SILENCIO_SEGUNDOS"), s.SilenceSeconds, 0, kLongestSeconds);
    s.Level = Integer(lines, QStringLiteral("NIVELAR"), 1, 0, 1) != 0;
    return s;
}
