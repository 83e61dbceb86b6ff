#pragma once
// ESTACAO.INI: the shop's own station, for an installed player whose built-in address is the
// demonstration's. Optional, read once at start-up; written only by the settings a chain's office
// sends (URL=, NOME=, NIVELAR=; every other line kept). Keys:
//   URL=               the whole stream address, http or https, any port and path
//   NOME=              the caption shown on Panel1 in place of the demonstration's
//   SILENCIO_DB=       the level under which the stream counts as dead air, dBFS (default -50)
//   SILENCIO_SEGUNDOS= how long dead air lasts before the stream is given up (default 30, 0 off)
//   NIVELAR=           0: local tracks play at their own loudness, not the stream's (default 1)
// Nothing in the file stops the start: a bad address falls back to the built-in station
// (the caller writes the history line), any other bad value to its default.
#include "system/stationaddress.h"

#include <QString>

#include <cstdint>

struct StationSettings {
    QString Url;    // empty: the built-in station
    QString Label;  // empty: the built-in caption
    std::int32_t SilenceDb = -50;
    std::int32_t SilenceSeconds = 30;
    bool Level = true;
    bool UrlRefused = false;  // URL= was given but is not a usable address
};

StationSettings ReadStationIni(const QString& programFolder);
