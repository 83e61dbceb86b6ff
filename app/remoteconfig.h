#pragma once
// TRemoteConfig: the chain office's settings for this shop (FROTA.INI with REMOTO=1). A
// document from sonaris/<loja>/config/desejada is checked whole, written as F11 and F10 write
// the same values, recorded in REMOTO.INI, told in the history and answered on
// config/aplicada; then it takes effect at once: today's window read again (its close now when
// it has already ended), the volume, the station (a playing stream faded out and the new one
// connected through the ordinary attempt), the daily run switched on or off as the buttons do.
// A version is handled once; one F11 or F10 change after it stands until a newer one comes.
//
// Everything runs on the window's thread, called from the event loop: nothing here waits for
// the network, and the files are small.
#include "telemetry/desiredconfig.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>

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

    Tfrm_sonarisv1AAC& w_;
    TFleetPublisher& publisher_;
    RemoteRecord record_;
    QByteArray lastUnversioned_;  // a refused document without a version, told once
};
