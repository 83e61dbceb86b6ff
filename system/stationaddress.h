#pragma once
// The shop's own station as ESTACAO.INI names it, shared by the start-up's reading of that file
// and by the settings a chain's office sends, which write it: both must take the same addresses.
#include <QString>

inline const QString kStationIni = QStringLiteral("ESTACAO.INI");

// The address as the stream's open accepts it: http or https, a host, an optional port, and
// nothing that the open would refuse later (credentials, blanks, control characters).
bool IsStationAddress(const QString& url);
