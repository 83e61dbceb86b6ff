#include "app/startupfiles.h"

#include "system/codepage1252.h"
#include "system/funcoes.h"

#include <QFile>
#include <QFileInfo>

using namespace startupfiles;

namespace {
// Integer value of a key; the default's value when the text is not a decimal integer.
std::int32_t ReadInteger(const QStringList& lines, const QString& key, const QString& def) {
    bool ok = false;
    const int value = ReadSetting(lines, key, def).toInt(&ok, 10);
    return ok ? value : def.toInt();
}
}  // namespace

void MoveClienteIni(const QString& programFolder) {
    const QString from = programFolder + QStringLiteral("CLIENTE.INI");
    if (QFileInfo::exists(from)) QFile::rename(from, programFolder + QStringLiteral("RADIO.GNR"));
}

ServerSettings ReadServerIni(const QString& programFolder) {
    const QStringList lines = ReadLines1252(programFolder + kServerIni);
    ServerSettings s;
    s.GenreIndex = ReadInteger(lines, kGenreKey, kGenreDefault);
    s.DeviceIndex = ReadInteger(lines, kDeviceKey, kDeviceDefault);
    s.DeviceText = ReadSetting(lines, kDeviceKey, kDeviceDefault);
    s.DeviceText.toInt(&s.DeviceIsNumber, 10);
    return s;
}

std::int32_t ReadNormalVolume(const QString& programFolder) {
    return ReadInteger(ReadLines1252(programFolder + kVolumeIni), kVolumeKey, kVolumeDefault);
}

void ReadProxyIni(const QString& programFolder, TPlayerState& state) {
    const QString path = programFolder + kProxyIni;
    if (!QFileInfo::exists(path)) return;
    const QStringList lines = ReadLines1252(path);
    const QString none;
    const QString zero = QStringLiteral("0");
    state.ProxyUser = ReadSetting(lines, QStringLiteral("PROXY_USER"), none).trimmed();
    state.ProxyPass = DescramblePassword(ReadSetting(lines, QStringLiteral("PROXY_PASS"), none), kProxyPasswordKey);
    state.ProxyServer = ReadSetting(lines, QStringLiteral("PROXY_SERVER"), none).trimmed();
    state.ProxyPortStream = ReadSetting(lines, QStringLiteral("PROXY_PORTA_STRM"), zero);
    state.ProxyTypeStream = ReadSetting(lines, QStringLiteral("PROXY_TYPE_STRM"), zero);
    // PROXY_PORTA_FTP, PROXY_PORTA_HTTP and PROXY_TYPE_DATA are part of the file but no
    // operation of the program uses them.
}
