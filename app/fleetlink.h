#pragma once
// TFleetLink: the chain's view of this shop. With a usable FROTA.INI the day's state, the
// history and the day's account go to the fleet's broker (telemetry/); without the file
// nothing here runs. With REMOTO=1 the office's settings come back the same way (TRemoteConfig).
#include "telemetry/fleetpublisher.h"

#include <QObject>

class QDate;
class QString;
class TRemoteConfig;
class Tfrm_sonarisv1AAC;

class TFleetLink : public QObject {
public:
    explicit TFleetLink(Tfrm_sonarisv1AAC& window);
    ~TFleetLink() override;

    void Inicia_Frota();  // at start: FROTA.INI read, the publisher started when it names a broker
    void Olha_Frota();    // the state compared with the last one published
    FleetState EstadoFrota() const;
    void HistoryLine(const QString& line, const QDate& date);
    void Stop();  // the offline state, while the players still answer nothing
    void AlteradaNaLoja();  // F11 or F10 saved a setting

private:
    Tfrm_sonarisv1AAC& w_;
    TFleetPublisher* fleet_ = nullptr;  // only with a usable FROTA.INI
    TRemoteConfig* remote_ = nullptr;   // only with REMOTO=1
};
