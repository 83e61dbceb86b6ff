#include "telemetry/fleetconfig.h"

#include "system/codepage1252.h"
#include "system/funcoes.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

namespace {
const QRegularExpression kShopId(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));

bool OnThisMachine(const QString& host) {
    return host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 || host.startsWith(QStringLiteral("127.")) ||
           host == QStringLiteral("::1") || host == QStringLiteral("[::1]");
}
}  // namespace

QString ShopIdFromHostName(const QString& hostName) {
    QString id = hostName.section(QLatin1Char('.'), 0, 0).left(64);
    for (QChar& c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_')) c = QLatin1Char('_');
    return id.isEmpty() ? QStringLiteral("loja") : id;
}

FleetConfig ReadFleetIni(const QString& programFolder) {
    FleetConfig config;
    const QString path = programFolder + kFleetIni;
    if (!QFileInfo::exists(path)) return config;
    config.Present = true;
    bool ok = false;
    const QStringList lines = ReadLines1252(path, &ok);
    if (!ok) {
        config.BadKey = kFleetIni;
        return config;
    }
    auto bad = [&](const QString& key) {
        config.BadKey = key;
        return config;
    };

    FleetSettings s;
    const QUrl url(ReadSetting(lines, QStringLiteral("SERVIDOR"), QString()).trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return bad(QStringLiteral("SERVIDOR"));
    s.Tls = scheme == QLatin1String("mqtts");
    s.Host = url.host();
    s.Port = url.port(s.Tls ? 8883 : 1883);
    if (s.Port < 1 || s.Port > 65535) return bad(QStringLiteral("SERVIDOR"));

    s.Shop = ReadSetting(lines, QStringLiteral("LOJA"), QString()).trimmed();
    s.User = ReadSetting(lines, QStringLiteral("USUARIO"), QString()).trimmed();
    s.Password = ReadSetting(lines, QStringLiteral("SENHA"), QString());
    // Shops' PCs are cloned from one disk image, host name included: two shops signing in as
    // one would take the broker's session from each other. A shop with a password names itself.
    if (s.Shop.isEmpty() && !s.Password.isEmpty()) return bad(QStringLiteral("LOJA"));
    if (s.Shop.isEmpty()) s.Shop = ShopIdFromHostName(QSysInfo::machineHostName());
    if (!kShopId.match(s.Shop).hasMatch()) return bad(QStringLiteral("LOJA"));

    if (!s.Password.isEmpty() && s.User.isEmpty()) return bad(QStringLiteral("USUARIO"));
    if (!s.Password.isEmpty() && !s.Tls && !OnThisMachine(s.Host)) return bad(QStringLiteral("SENHA"));

    s.CaFile = ReadSetting(lines, QStringLiteral("CA"), QString()).trimmed();
    if (!s.CaFile.isEmpty()) {
        if (QFileInfo(s.CaFile).isRelative()) s.CaFile = programFolder + s.CaFile;
        if (!QFileInfo(s.CaFile).isFile()) return bad(QStringLiteral("CA"));
    }

    // Settings from the office change what a shop plays: never from a broker anyone on the way
    // could stand in for.
    const QString remote = ReadSetting(lines, QStringLiteral("REMOTO"), QString()).trimmed();
    if (!remote.isEmpty() && remote != QLatin1String("0") && remote != QLatin1String("1")) return bad(QStringLiteral("REMOTO"));
    s.Remote = remote == QLatin1String("1");
    if (s.Remote && !OnThisMachine(s.Host) && !(s.Tls && !s.User.isEmpty() && !s.Password.isEmpty())) return bad(QStringLiteral("REMOTO"));

    config.Settings = s;
    return config;
}
