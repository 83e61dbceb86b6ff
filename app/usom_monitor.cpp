// The connection monitor judges the stream by its buffer: 36 empty ticks in a row (3.6 s) give
// it up. Its sound is watched too (usom_deadair.cpp) and gives it up the same way. The two
// ramps move the stream's volume in steps every 100 ms; the fade-in keeps the stream silent
// while a local track plays, which is how the stream waits for the end of that track.
#include "app/usom.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QTimer>

#include <algorithm>

namespace {
constexpr std::int64_t kStableFill = 90;
constexpr std::int32_t kStableMark = 150;
constexpr std::int32_t kStallWrap = 5000;
constexpr std::int32_t kStallPullBack = 30;
constexpr std::int32_t kStallShown = 20;
constexpr std::int32_t kEmptyTicksToGiveUp = 36;
constexpr std::uint16_t kDropFadeMs = 1000;
constexpr int kLevelDivisor = 200;
constexpr std::int32_t kRampFloor = 3;


int GaugeOf(TZorvanBass* player) {
    int right = 0, left = 0;
    player->GetLevels(right, left);
    return std::clamp(right / kLevelDivisor, 0, 100);
}

// A ramp value as a player volume: the ramps may run past either end of the scale.
std::uint32_t VolumeOf(std::int32_t value) { return std::uint32_t(std::clamp(value, 0, 100)); }
}  // namespace

std::int32_t Tfrm_sonarisv1AAC::RampStep() const {
    // (NormalVolume - 2) / 20 is 0 for a normal volume of 21 or less, and a ramp of step 0
    // never ends: one is the least step.
    return std::max<std::int32_t>(1, (PlayerState.NormalVolume - 2) / 20);
}

void Tfrm_sonarisv1AAC::timer_meterTimer() {
    auto& S = PlayerState;
    QProgressBar* bar = ui->ProgressBar1;

    if (!WebPlayer->IsPlaying()) {
        if (LocalPlayer->IsPlaying()) {
            bar->setValue(0);
            ui->meter1->SetPosition(GaugeOf(LocalPlayer));
        }
        return;
    }

    ui->meter1->SetPosition(GaugeOf(WebPlayer));
    if (WatchDeadAir()) return;
    const std::int64_t fill = WebPlayer->GetBufferPercent();
    if (fill > kStableFill) {
        if (LocalPlayer->IsPlaying()) {
            ui->Label10->setText(QStringLiteral("Conexão OK... Aguardando Término de MÚSICAS LOCAIS"));
        } else {
            ui->Label10->setText(QStringLiteral("Conexão Estabilizada..."));
            ui->meter2->SetPosition(int(WebPlayer->GetVolume()));
        }
        S.StallTicks = 0;
        bar->setValue(0);
        S.BufferMark = kStableMark;
        return;
    }

    if (fill > S.BufferMark) {
        S.BufferMark = std::int32_t(fill);
    } else {
        S.BufferMark = std::int32_t(fill);
        ++S.StallTicks;
    }
    if (S.StallTicks > kStallWrap) S.StallTicks = 0;
    if (fill > 2 && S.StallTicks > kStallPullBack) S.StallTicks = 2;
    if (fill == 0) ++S.EmptyTicks;
    else S.EmptyTicks = 0;

    if (S.EmptyTicks < kEmptyTicksToGiveUp) {
        if (fill < kStableFill && S.StallTicks > kStallShown) {
            ui->Label10->setText(QStringLiteral("PRONTO...Aguardando Servidor..."));
            bar->setValue(int(100 - fill));
        }
        return;
    }

    ui->Label10->setText(QStringLiteral("Instabilidade na Conexão - Acionando MÚSICAS LOCAIS..."));
    bar->setValue(std::min(int(145 - fill), bar->maximum()));  // always full; the bar ignores values above its range
    if (WebPlayer->IsFading()) return;  // already given up, the fade is running

    GiveUpStream(QStringLiteral("Encerrando Conexão - Motivo: Instabilidade Rede"), true);
}

void Tfrm_sonarisv1AAC::GiveUpStream(const QString& historyLine, bool startLocal) {
    auto& S = PlayerState;
    Salva_Historico(historyLine);
    Conta_Queda();
    // A fade-in still running would pull against the fade-down step for step, and neither
    // would ever reach its end.
    timer_aumentarvolume->stop();
    timer_DiminuirVolume->start();
    WebPlayer->RewindOnStop = true;
    WebPlayer->FadeOut(kDropFadeMs);
    ui->ProgressBar1->setValue(0);
    S.StallTicks = 0;
    S.WebError = -1;
    if (PlayerState.InsideToday(NowDateTime()) && IsActive()) {
        ui->Label10->setText(QStringLiteral("Executando músicas LOCAIS"));
        if (startLocal && !LocalPlayer->IsPlaying()) PlayMusica(QStringLiteral("Play Local 882"));
    }
}

void Tfrm_sonarisv1AAC::timer_DiminuirVolumeTimer() {
    auto& S = PlayerState;
    S.RampVolume -= RampStep();
    if (S.RampVolume > kRampFloor) {
        WebPlayer->SetVolume(VolumeOf(S.RampVolume));
        ui->meter2->SetPosition(S.RampVolume);
    } else {
        WebPlayer->SetVolume(0);
        timer_DiminuirVolume->stop();
    }
}

void Tfrm_sonarisv1AAC::timer_aumentarvolumeTimer() {
    auto& S = PlayerState;
    S.RampVolume += RampStep();
    const bool held = LocalPlayer->IsPlaying();  // the stream waits, silent, for the local track to end
    if (S.RampVolume < S.NormalVolume) {
        WebPlayer->SetVolume(held ? 0u : VolumeOf(S.RampVolume));
        ui->meter2->SetPosition(std::clamp(S.RampVolume, 0, 100));
    } else {
        WebPlayer->SetVolume(held ? 0u : VolumeOf(S.NormalVolume));
        timer_aumentarvolume->stop();
    }
}
