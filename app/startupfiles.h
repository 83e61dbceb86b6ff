#pragma once
// The settings files that the main window reads once, at its creation: SERVER.INI,
// VOLUME.INI and PROXY.INI (KEY=value lines, code page 1252), and the hand-over of
// CLIENTE.INI to RADIO.GNR. Keys and defaults are declared here, beside the code that reads them.
#include "app/playerstate.h"

#include <QString>

#include <cstdint>

namespace startupfiles {
inline const QString kServerIni = QStringLiteral("SERVER.INI");
inline const QString kVolumeIni = QStringLiteral("VOLUME.INI");
inline const QString kProxyIni = QStringLiteral("PROXY.INI");

inline const QString kDeviceKey = QStringLiteral("DEVICE");
inline const QString kDeviceDefault = QStringLiteral("1");
inline const QString kGenreKey = QStringLiteral("INDEX_GENERO");
inline const QString kGenreDefault = QStringLiteral("0");
inline const QString kVolumeKey = QStringLiteral("VOLUME_NORMAL");
inline const QString kVolumeDefault = QStringLiteral("100");

// The proxy password is stored scrambled with this key.
constexpr std::int32_t kProxyPasswordKey = 433;
}  // namespace startupfiles

struct ServerSettings {
    std::int32_t DeviceIndex = 1;
    std::int32_t GenreIndex = 0;
    // DEVICE as written. A value that is not a decimal integer names no device, though
    // DeviceIndex takes the key's default.
    QString DeviceText = startupfiles::kDeviceDefault;
    bool DeviceIsNumber = true;
};

// CLIENTE.INI, when present, takes the name RADIO.GNR; a failed move (RADIO.GNR already
// there) leaves both files as they were.
void MoveClienteIni(const QString& programFolder);
// A missing or unreadable file, or a value that is not a decimal integer, gives the key's default.
ServerSettings ReadServerIni(const QString& programFolder);
std::int32_t ReadNormalVolume(const QString& programFolder);
// Only when PROXY.INI exists: the user and server trimmed, the port and mode as text, the
// password descrambled (untrimmed). Otherwise the proxy state keeps its values.
void ReadProxyIni(const QString& programFolder, TPlayerState& state);
