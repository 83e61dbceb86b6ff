#include "app/fleetlink.h"

#include "app/remoteconfig.h"
#include "app/usom.h"
#include "system/clock.h"
#include "system/formats.h"
#include "system/programfolder.h"

#include <QTimer>

namespace {
constexpr int kLookMs = 1000;  // how often the state is compared with the last one published
}

TFleetLink::TFleetLink(Tfrm_sonarisv1AAC& window) : QObject(&window), w_(window) {}

TFleetLink::~TFleetLink() { Stop(); }

void TFleetLink::Inicia_Frota() {
    const FleetConfig config = ReadFleetIni(ProgramFolder());
    if (!config.Present) return;
    if (!config.Settings) {
        w_.Salva_Historico(QStringLiteral("FROTA.INI: configuração inválida - ") + config.BadKey);
        return;
    }
    fleet_ = new TFleetPublisher(*config.Settings, [this](const QString& line) { w_.Salva_Historico(line); }, this);
    if (config.Settings->Remote) {
        remote_ = new TRemoteConfig(w_, *fleet_);
        fleet_->desired = [this](const QByteArray& payload) {
            remote_->Recebe(payload);
            Olha_Frota();  // the version applied shows at once
        };
    }
    if (!fleet_->Start()) {  // refused at its set-up, and said so in the history
        delete remote_;
        delete fleet_;
        remote_ = nullptr;
        fleet_ = nullptr;
        return;
    }
    auto* look = new QTimer(this);
    look->setInterval(kLookMs);
    connect(look, &QTimer::timeout, this, [this] { Olha_Frota(); });
    look->start();
    Olha_Frota();
}

void TFleetLink::Olha_Frota() {
    if (fleet_) fleet_->State(EstadoFrota(), NowDateTime());
}

void TFleetLink::HistoryLine(const QString& line, const QDate& date) {
    if (fleet_) fleet_->HistoryLine(line, date);
}

void TFleetLink::AlteradaNaLoja() {
    if (!remote_) return;
    remote_->AlteradaNaLoja();
    Olha_Frota();
}

void TFleetLink::Stop() {
    if (fleet_) fleet_->Stop();
}

FleetState TFleetLink::EstadoFrota() const {
    const auto& S = PlayerState;
    const TDay& day = w_.Run->Day;
    FleetState state;
    state.Activated = w_.IsActive();
    if (S.TodayStart != S.TodayStop) {
        state.WindowStart = FormatTime(S.TodayStart);
        state.WindowStop = FormatTime(S.TodayStop);
    }
    state.Station = S.StreamUrl;
    state.LastDrop = w_.Connection->LastDrop();
    state.Now = TDay::FleetName(day.Now());
    state.Since = day.Since();
    if (remote_) {
        state.ConfigVersion = remote_->Version();
        state.ChangedAtShop = remote_->ChangedAtShop();
    }
    return state;
}
