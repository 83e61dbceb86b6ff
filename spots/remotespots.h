#pragma once
// SPOTS_REMOTOS.JSON (program folder, written by the player only, replaced through a temporary
// file): the spot files of the office's last document that come from an address, as
// [{"arquivo": "NOME.MP3", "url": "https://...", "sha256": "<64 hex>"}]. SPOTS.INI says when
// they play; this says where each file comes from and what it must hash to. Header only, so that
// the office's side writes it without the spots' libraries.
#include "loudness/levelsfile.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <vector>

inline const QString kRemoteSpotsFile = QStringLiteral("SPOTS_REMOTOS.JSON");

struct RemoteSpotFile {
    QString File;        // a plain name in SPOTS/
    QString Url;         // https only
    QByteArray Sha256;   // 64 lowercase hex digits
    bool operator==(const RemoteSpotFile&) const = default;
};

// A name that stays inside SPOTS/: no folder, no "." or "..", nothing hidden (the downloads'
// temporary files start with '.'), not the spots' own levels file, no blanks the readers trim.
inline bool IsPlainSpotName(const QString& name) {
    if (name.isEmpty() || name.size() > 200 || name != name.trimmed() || name.startsWith(QLatin1Char('.'))) return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) return false;
    for (const QChar c : name)
        if (c.unicode() < 32 || c.unicode() == 127) return false;
    return name.compare(kLevelsIni, Qt::CaseInsensitive) != 0;
}

inline bool IsSpotAddress(const QString& url) {
    const QUrl u(url, QUrl::StrictMode);
    return url.size() <= 2000 && u.isValid() && u.scheme() == QLatin1String("https") && !u.host().isEmpty() &&
           u.userInfo().isEmpty() && !url.contains(QLatin1Char(' '));
}

inline bool IsSha256Hex(const QByteArray& hex) {
    if (hex.size() != 64) return false;
    for (const char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

inline QByteArray FormatRemoteSpots(const std::vector<RemoteSpotFile>& files) {
    QJsonArray list;
    for (const RemoteSpotFile& f : files)
        list.append(QJsonObject{{QStringLiteral("arquivo"), f.File},
                                {QStringLiteral("url"), f.Url},
                                {QStringLiteral("sha256"), QString::fromLatin1(f.Sha256)}});
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

// What the file holds; an entry that does not read so (a hand edit, a damaged disk) is left out,
// so that nothing is fetched from where the office did not say or written outside SPOTS/.
inline std::vector<RemoteSpotFile> ParseRemoteSpots(const QByteArray& bytes) {
    std::vector<RemoteSpotFile> files;
    for (const QJsonValue& v : QJsonDocument::fromJson(bytes).array()) {
        const QJsonObject o = v.toObject();
        RemoteSpotFile f{o.value(QStringLiteral("arquivo")).toString(), o.value(QStringLiteral("url")).toString(),
                         o.value(QStringLiteral("sha256")).toString().toLatin1()};
        if (IsPlainSpotName(f.File) && IsSpotAddress(f.Url) && IsSha256Hex(f.Sha256)) files.push_back(f);
    }
    return files;
}
