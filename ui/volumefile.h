#pragma once
// VOLUME.INI: one line, the key and the volume in decimal. Written by the volume dialog and by
// the settings a chain's office sends, in the same bytes; header only, so that the office's
// side needs none of the dialog's libraries.
#include <QString>
#include <QStringList>

#include <cstdint>

inline const QString VolumeIniName = QStringLiteral("VOLUME.INI");
inline const QString VolumeIniKey = QStringLiteral("VOLUME_NORMAL");

inline QStringList VolumeIniLines(std::int32_t volume) { return {VolumeIniKey + QLatin1Char('=') + QString::number(volume)}; }
