#include "app/remoteconfig.h"

#include "app/dailyrun.h"
#include "app/stationfile.h"
#include "app/usom.h"
#include "spots/spots.h"
#include "system/clock.h"
#include "system/programfolder.h"
#include "telemetry/fleetpublisher.h"
#include "ui/hourlyvolume.h"

TRemoteConfig::TRemoteConfig(Tfrm_sonarisv1AAC& window, TFleetPublisher& publisher)
    : QObject(&window), w_(window), publisher_(publisher), record_(ReadRemoteIni(ProgramFolder())) {
    if (TSpots* spots = w_.Run->Spots.get())
        connect(&spots->Downloads(), &TSpotDownloads::RoundEnded, this, [this] { Faltando(); });
}

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
    // The spots first: their list of files read again tells which are not here.
    if (check.Config->Spots && w_.Run->Spots) w_.Run->Spots->Reread();
    toldMissing_ = w_.Run->Spots ? w_.Run->Spots->Downloads().Missing() : QStringList();
    publisher_.Applied(AppliedPayload(check.Version, true, QString(), NowDateTime(), *toldMissing_));
    Aplica(*check.Config);
}

void TRemoteConfig::Faltando() {
    const TSpotDownloads& downloads = w_.Run->Spots->Downloads();
    if (record_.Applied <= 0 || downloads.Running() || (!toldMissing_ && !downloads.Any())) return;
    const QStringList missing = downloads.Missing();
    if (toldMissing_ == missing) return;
    toldMissing_ = missing;
    publisher_.Applied(AppliedPayload(record_.Applied, true, QString(), NowDateTime(), missing));
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
    // From the next tick, with the ramp of a new hour.
    if (config.HourlyVolumes && w_.Run->HourlyVolume) w_.Run->HourlyVolume->Reread();
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
