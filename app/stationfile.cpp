#include "app/stationfile.h"

#include "system/codepage1252.h"

#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace {
constexpr qsizetype kMaxUrlLength = 1000;
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

bool IsStationAddress(const QString& url) {
    if (url.isEmpty() || url.size() > kMaxUrlLength) return false;
    for (const QChar c : url)
        if (c.unicode() <= 32 || c.unicode() == 127) return false;
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) return false;
    const QString scheme = parsed.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
    if (parsed.host().isEmpty() || !parsed.userInfo().isEmpty()) return false;
    // "http:host" parses with an empty host, but "http:/host/x" would not reach this far.
    if (!url.section(QLatin1Char(':'), 1).startsWith(QLatin1String("//"))) return false;
    // QUrl also takes hosts that the stream's open refuses (a name in code page 1252, an IPv6
    // literal, an empty port): the authority as written must be one the open takes, or every
    // attempt would fail with code 20 instead of falling back to the built-in station.
    const qsizetype from = url.indexOf(QLatin1String("//")) + 2;
    qsizetype to = from;
    while (to < url.size() && url[to] != QLatin1Char('/') && url[to] != QLatin1Char('?') && url[to] != QLatin1Char('#')) ++to;
    const QString authority = url.mid(from, to - from);
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    const QString host = authority.left(colon);
    if (host.isEmpty()) return false;
    for (const QChar c : host) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.' || u == '_';
        if (!plain) return false;
    }
    if (colon < 0) return true;
    const QString port = authority.mid(colon + 1);
    bool ok = false;
    const int number = port.toInt(&ok, 10);
    return ok && port.size() <= 5 && number >= 1 && number <= 65535 && !port.startsWith(QLatin1Char('+'));
}

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
