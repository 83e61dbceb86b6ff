#pragma once
// FROTA.INI: where a shop reports its state for a chain's view of all its shops. Optional, in
// the program folder, read once at start-up, never written. Keys:
//   SERVIDOR=  the broker, mqtts://host:port (or mqtt:// for a broker on this machine or a lab)
//   LOJA=      the shop's id: letters, digits, '-' and '_' (the host name when absent;
//              required with SENHA=)
//   USUARIO=, SENHA=  the broker's credentials, both optional
//   CA=        a CA certificate file for mqtts (the system's authorities when absent)
//   REMOTO=1   the shop takes the settings its chain's office sends (0 or absent: it
//              subscribes to nothing); only from a broker that knows it by its password over
//              mqtts://, or from one on this machine
// A bad value leaves the fleet off: the key is named for the history line, and the player runs
// without it. A password is refused with mqtt:// to another machine: credentials never cross a
// network in clear.
#include <QString>

#include <optional>

inline const QString kFleetIni = QStringLiteral("FROTA.INI");

struct FleetSettings {
    QString Host;
    int Port = 8883;
    bool Tls = true;
    QString Shop;
    QString User;
    QString Password;
    QString CaFile;  // empty: the system's authorities
    bool Remote = false;  // REMOTO=1
};

struct FleetConfig {
    bool Present = false;           // FROTA.INI exists
    std::optional<FleetSettings> Settings;  // usable settings
    QString BadKey;                 // the first key whose value cannot be used
};

FleetConfig ReadFleetIni(const QString& programFolder);
// The host name as a shop id: cut at the first dot, anything else than letters, digits, '-'
// and '_' replaced by '_'.
QString ShopIdFromHostName(const QString& hostName);
