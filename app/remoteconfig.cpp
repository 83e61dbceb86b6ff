#include "app/remoteconfig.h"

#include "app/stationfile.h"
#include "app/usom.h"
#include "system/clock.h"
#include "system/programfolder.h"
#include "telemetry/fleetpublisher.h"

TRemoteConfig::TRemoteConfig(Tfrm_sonarisv1AAC& window, TFleetPublisher& publisher)
    : QObject(&window), w_(window), publisher_(publisher), record_(ReadRemoteIni(ProgramFolder())) {}

void TRemoteConfig::Recebe(const QByteArray& payload) {
    if (payload.isEmpty()) return;
    const DesiredCheck check = CheckDesiredConfig(payload);
    if (check.Version > 0 && !IsNewVersion(check.Version, record_)) return;  // known: a retained copy again
    if (!check.Config) {
        // Without a version it cannot be recorded; the same bytes are refused once per run.
        if (check.Version <= 0) {
            if (payload == lastUnversioned_) return;
            lastUnversioned_ = payload;
        }
        Recusa(check.Version, check.Refusal);
        return;
    }
    const QString failed = WriteDesiredFiles(*check.Config, ProgramFolder());
    if (!failed.isEmpty()) {
        Recusa(check.Version, failed);
        return;
    }
    // The files first: a stop between the two applies the same version once more, never loses one.
    record_.Applied = check.Version;
    record_.ChangedAtShop = false;
    WriteRemoteIni(ProgramFolder(), record_);
    w_.Salva_Historico(AppliedHistoryLine(*check.Config));
    publisher_.Applied(AppliedPayload(check.Version, true, QString(), NowDateTime()));
    Aplica(*check.Config);
}

void TRemoteConfig::Recusa(std::int64_t version, const QString& reason) {
    if (version > 0) {
        record_.Refused = std::max(record_.Refused, version);
        WriteRemoteIni(ProgramFolder(), record_);
    }
    w_.Salva_Historico(RefusedHistoryLine(version, reason));
    publisher_.Applied(AppliedPayload(version, false, reason, NowDateTime()));
}

void TRemoteConfig::Aplica(const DesiredConfig& config) {
    if (config.Schedule) w_.Run->ReleJanela();
    if (config.Station) {
        const StationSettings station = ReadStationIni(ProgramFolder());
        PlayerState.StationUrl = station.Url;
        PlayerState.StationName = station.Label;
        w_.Define_Estacao();
        w_.Connection->TrocaEstacao();
    }
    if (config.Volume) w_.Connection->NovoVolume(*config.Volume);
    if (config.Activated && *config.Activated != w_.IsActive()) {
        if (*config.Activated) w_.Run->Ativa();
        else w_.Run->Desativa();
    }
}

void TRemoteConfig::AlteradaNaLoja() {
    if (record_.Applied == 0 || record_.ChangedAtShop) return;
    record_.ChangedAtShop = true;
    WriteRemoteIni(ProgramFolder(), record_);
}
