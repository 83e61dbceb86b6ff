// The chain's view of this shop: with a FROTA.INI, the player's state, history and day's
// account go to the fleet's broker (telemetry/). Without the file nothing here runs.
#include "app/usom.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "system/formats.h"
#include "system/programfolder.h"
#include "telemetry/fleetpublisher.h"

#include <QTimer>

namespace {
constexpr int kLookMs = 1000;  // how often the state is compared with the last one published
}

void Tfrm_sonarisv1AAC::Inicia_Frota() {
    const FleetConfig config = ReadFleetIni(ProgramFolder());
    if (!config.Present) return;
    if (!config.Settings) {
        Salva_Historico(QStringLiteral("FROTA.INI: configuração inválida - ") + config.BadKey);
        return;
    }
    fleet_ = new TFleetPublisher(*config.Settings, [this](const QString& line) { Salva_Historico(line); }, this);
    fleet_->Start();
    auto* look = new QTimer(this);
    look->setInterval(kLookMs);
    connect(look, &QTimer::timeout, this, [this] { Olha_Frota(); });
    look->start();
    Olha_Frota();
}

void Tfrm_sonarisv1AAC::Olha_Frota() {
    if (fleet_) fleet_->State(EstadoFrota(), NowDateTime());
}

FleetState Tfrm_sonarisv1AAC::EstadoFrota() {
    const auto& S = PlayerState;
    FleetState state;
    state.Activated = IsActive();
    if (S.TodayStart != S.TodayStop) {
        state.WindowStart = FormatTime(S.TodayStart);
        state.WindowStop = FormatTime(S.TodayStop);
    }
    state.Station = S.StreamUrl;
    state.LastDrop = lastDrop_;
    if (!state.Activated) state.Now = QStringLiteral("desativado");
    else if (outputLost_) state.Now = QStringLiteral("saida_perdida");
    else if (!S.InsideToday(NowDateTime())) state.Now = QStringLiteral("fora_do_horario");
    else if (LocalPlayer->IsPlaying()) state.Now = QStringLiteral("local");  // a stream held behind it is not heard yet
    else if (WebPlayer->IsPlaying() && S.WebError == 0) state.Now = QStringLiteral("stream");
    else state.Now = QStringLiteral("silencio");
    return state;
}
