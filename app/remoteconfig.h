#pragma once
// TRemoteConfig: the chain office's settings for this shop (FROTA.INI with REMOTO=1). A
// document from sonaris/<loja>/config/desejada is checked whole, written as F11 and F10 write
// the same values, recorded in REMOTO.INI, told in the history and answered on
// config/aplicada; then it takes effect at once: today's window read again (its close now when
// it has already ended), the volume, the station (a playing stream faded out and the new one
// connected through the ordinary attempt), the daily run switched on or off as the buttons do,
// SPOTS.INI and the hourly volumes read again.
// A version is handled once; one F11 or F10 change after it stands until a newer one comes.
//
// Spot files the office sends by address are fetched after the answer, which goes at once with
// those not here yet as `faltando`; when the downloads of a round end with another set missing,
// the answer of the same version goes again with it (also after a restart, once the round of
// the start has ended), so the office sees what the shop still lacks without the shop waiting.
//
// Everything runs on the window's thread, called from the event loop: nothing here waits for
// the network, and the files are small.
#include "telemetry/desiredconfig.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <optional>

class TFleetPublisher;
class Tfrm_sonarisv1AAC;

class TRemoteConfig : public QObject {
public:
    TRemoteConfig(Tfrm_sonarisv1AAC& window, TFleetPublisher& publisher);

    void Recebe(const QByteArray& payload);
    void AlteradaNaLoja();  // F11 or F10 saved a setting

    std::int64_t Version() const { return record_.Applied; }
    bool ChangedAtShop() const { return record_.ChangedAtShop; }

private:
    void Recusa(std::int64_t version, const QString& reason);
    void Aplica(const DesiredConfig& config);
    void Faltando();  // a round of spot downloads ended

    Tfrm_sonarisv1AAC& w_;
    TFleetPublisher& publisher_;
    RemoteRecord record_;
    QByteArray lastUnversioned_;  // a refused document without a version, told once
    std::optional<QStringList> toldMissing_;  // the `faltando` of the last answer of this run
};
