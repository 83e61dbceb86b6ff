#include "system/stationaddress.h"

#include <QUrl>

namespace {
constexpr qsizetype kMaxUrlLength = 1000;
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
