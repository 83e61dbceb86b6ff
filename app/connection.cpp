#include "app/connection.h"

#include "app/sonarisapplication.h"
#include "app/usom.h"
#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "system/rawfile.h"
#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <stdexcept>

using namespace soundlib;

namespace {
constexpr DWORD kNetTimeoutMs = 20000;
// The daily run's count is above its mark: the next tick inside the window makes an attempt.
constexpr std::int32_t kTicksForAttempt = 120;

// The proxy mode as a number; a text that is not a decimal integer means no proxy.
int ProxyMode() {
    bool ok = false;
    const int mode = PlayerState.ProxyTypeStream.trimmed().toInt(&ok);
    return ok ? mode : 0;
}

// After a success the server list in use is kept as the last good one, and the marker left
// by the installer goes.
void RecordGoodConnection() {
    RemoveFileRaw(GetWindowsFolder() + QStringLiteral("/qelmo.ini"));
    const QString list = ProgramFolder() + QStringLiteral("sonaris.srv");
    if (!FileExistsRaw(list)) return;
    if (const auto bytes = ReadFileRaw(list)) WriteFileRawAtomic(ProgramFolder() + QStringLiteral("sonaris.ant"), *bytes);
}

// The monitor: the buffer's fill, the stall count, the gauge, the drop's fade.
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

// Dead air: the stream's own sound, not only its buffer, decides whether it is worth playing.
// An encoder that fails by sending silence keeps the connection up and the buffer full.
const QString kSilenceStatus = QStringLiteral("Silêncio na Transmissão - Acionando MÚSICAS LOCAIS...");
const QString kSilenceHistory = QStringLiteral("SILÊNCIO NA TRANSMISSÃO - Sonaris");
const QString kStableStatus = QStringLiteral("Conexão Estabilizada...");

qint64 NowMs() { return NowDateTime().toMSecsSinceEpoch(); }
}  // namespace

TConnection::TConnection(Tfrm_sonarisv1AAC& window) : QObject(&window), w_(window) {
    attempt_ = new TStreamAttempt(this);

    timer_meter = new TThreadedTimer(this);
    timer_meter->SetInterval(100);
    timer_meter->Tag = 1;
    timer_meter->OnTimer = [this](TThreadedTimer*) { timer_meterTimer(); };
    timer_meter->SetDue([rests = monitorRests_] { return !rests->load(std::memory_order_acquire); });
    timer_meter->SetDueChangesAnnounced(true);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { LookWhetherMonitorRests(); });

    timer_DiminuirVolume = new QTimer(this);
    timer_DiminuirVolume->setInterval(100);
    connect(timer_DiminuirVolume, &QTimer::timeout, this, [this] { timer_DiminuirVolumeTimer(); });

    timer_aumentarvolume = new QTimer(this);
    timer_aumentarvolume->setInterval(100);
    connect(timer_aumentarvolume, &QTimer::timeout, this, [this] { timer_aumentarvolumeTimer(); });
}

void TConnection::Conta_Queda() {
    if (w_.Run->Day.Now() == DayState::Desativado) return;
    lastDrop_ = NowDateTime();
    w_.Run->DayAccount.CountDrop();
}

QString TConnection::ProxyTextFor() const {
    const auto& S = PlayerState;
    switch (ProxyMode()) {
    case 1:
        return S.ProxyServer.trimmed() + QLatin1Char(':') + S.ProxyPortStream.trimmed();
    case 2:
        return S.ProxyUser.trimmed() + QLatin1Char(':') + S.ProxyPass.trimmed() + QLatin1Char('@') + S.ProxyServer.trimmed() +
               QLatin1Char(':') + S.ProxyPortStream.trimmed();
    default:
        return QString();
    }
}

// The attempt is started here and this returns: the open runs on a thread of its own
// (TStreamAttempt), and what follows it runs as the attempt's completion, from the event loop.
// Until then the operator, the timers and local playback go on, and a box opened meanwhile
// holds nothing: the completion, the next ticks and the close are served inside it.
void TConnection::Conecta_Web() {
    auto& S = PlayerState;
    if (!attempt_->Idle()) return;  // one attempt at a time; see Timer_GeralTimer
    const bool activeAtStart = w_.IsActive();
    w_.WebPlayer->UseAac = 1;

    const int mode = ProxyMode();
    if (mode == 1 || mode == 2) {
        const QByteArray text = ProxyTextFor().toUtf8();
        if (text.size() >= qsizetype(S.ProxyText.size())) {
            // The library keeps a pointer into a buffer of 99 characters and a zero: a longer
            // text would be cut into a wrong address, so this attempt goes without a proxy.
            w_.ui->Panel1->setText(QStringLiteral("PROXY INVÁLIDO: texto maior que 99 caracteres - conectando sem proxy"));
            w_.Lib().BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
        } else {
            w_.ui->Panel1->setText(QStringLiteral("CONECTANDO AO PROXY"));
            S.ProxyText.fill('\0');
            std::memcpy(S.ProxyText.data(), text.constData(), std::size_t(text.size()));
            w_.Lib().BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, S.ProxyText.data());
        }
    } else {
        w_.Lib().BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
    }
    w_.Lib().BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, kNetTimeoutMs);

    try {
        w_.ui->Label10->setText(QStringLiteral("CONECTANDO AGUARDE..."));
        if (!w_.WebPlayer->IsPlaying()) w_.WebPlayer->Close();  // a playing stream is released by the open itself
        if (S.StreamUrl.trimmed().isEmpty()) {
            S.WebError = -1;
            Conexao_Concluida(nullptr);
            return;
        }
        w_.Salva_Historico(QStringLiteral("Carregando Sonaris"));
        const QString url = S.StreamUrl;
        auto open = w_.WebPlayer->BeginStream(url);
        attempt_->Start(
            [open] {
                const TZorvanBass::StreamOpened opened = open();
                return TStreamAttempt::Result{opened.channel, opened.code, nullptr};
            },
            [this, url, activeAtStart](const TStreamAttempt::Result& result) { StreamOpened(url, activeAtStart, result); });
        w_.Run->Olha_Dia(DayEvent::Tentativa);
    } catch (...) {
        Conexao_Concluida(std::current_exception());
    }
}

void TConnection::StreamOpened(const QString& url, bool activeAtStart, const TStreamAttempt::Result& result) {
    auto& S = PlayerState;
    std::exception_ptr error = result.error;
    try {
        if (!error) {
            w_.WebPlayer->EndStream(url, {result.channel, result.code});
            // Meanwhile the run may have been switched off (which has set everything already),
            // or today's window may have closed (and its close faded what played then): a
            // stream opened now must not start behind either.
            if ((activeAtStart && !w_.IsActive()) || (result.code == BASS_OK && !PlayerState.InsideToday(NowDateTime()))) {
                w_.WebPlayer->Close();
                w_.Run->Olha_Dia(DayEvent::TentativaFim);
                return;
            }
            S.WebError = result.code;
        }
    } catch (...) {
        error = std::current_exception();
    }
    Conexao_Concluida(error);
}

void TConnection::Conexao_Concluida(std::exception_ptr error) {
    auto& S = PlayerState;
    if (!error) {
        try {
            if (S.WebError != 0) {
                w_.ui->Label10->setText(QStringLiteral("Erro ao Carregar WEB -  Erro:") + QString::number(S.WebError));
                w_.Salva_Historico(QStringLiteral("Erro ao Carregar Sonaris"));
                w_.WebPlayer->Close();
            } else {
                w_.WebPlayer->SetPosition(0);
                w_.WebPlayer->SetVolume(w_.LocalPlayer->IsPlaying() ? 0u : std::uint32_t(std::max(0, S.NormalVolume)));
                w_.WebPlayer->Play();
                timer_meter->SetEnabled(true);
                w_.ui->meter2->SetPosition(int(w_.WebPlayer->GetVolume()));
                w_.Salva_Historico(QStringLiteral("Sonaris"));
            }
        } catch (...) {
            error = std::current_exception();
        }
    }

    // This part runs whatever happened above, with WebError as it stands.
    if (S.WebError == 0) {
        S.StallTicks = 0;
        w_.Run->ConnectTicks = 0;
        w_.ui->Label10->setText(QStringLiteral("Conexão Estabilizada..."));
        w_.ui->Panel1->setText(S.StationLabel);
        DeadAir.Connected(NowDateTime().toMSecsSinceEpoch(), S.SilenceDb, S.SilenceSeconds);
        timer_aumentarvolume->start();
        RecordGoodConnection();
    } else {
        S.CloseArmed = false;
        w_.Run->Olha_Dia(DayEvent::TentativaFim);  // before the local track that follows it
        if (!w_.LocalPlayer->IsPlaying()) {
            if (PlayerState.InsideToday(NowDateTime()) && !w_.LocalPlayer->IsPlaying()) w_.PlayMusica(QStringLiteral("Sonaris 802"));
            w_.ui->Label10->setText(QStringLiteral("Erro WEB -  Erro:") + QString::number(S.WebError) +
                                 QStringLiteral(" ACIONADO ÁUDIO LOCAL"));
        }
    }

    w_.Run->Olha_Dia(DayEvent::TentativaFim);
    if (error) ShowStandardErrorBox(error);
}

void TConnection::webStop(TZorvanBass* /*sender*/) {
    auto& S = PlayerState;
    // A stream given up or closed was no longer wanted playing, nor one the day switched off:
    // only a stream that still counted as playing is lost here.
    if (S.WebError == 0) Conta_Queda();
    timer_meter->SetEnabled(false);
    w_.ui->meter1->SetPosition(0);
    w_.Salva_Historico(QStringLiteral("STOP -  Sonaris"));
    w_.ui->Label10->setText(QStringLiteral("DESCONECTADO"));
    w_.ui->ProgressBar1->setValue(0);
    S.CloseArmed = false;
    w_.Run->Olha_Dia(DayEvent::StreamPerdido);  // before the local track that follows it
    if (PlayerState.InsideToday(NowDateTime()) && w_.IsActive()) {
        if (!w_.LocalPlayer->IsPlaying()) w_.PlayMusica(QStringLiteral("WebStop 685"));
        S.WebError = -1;
        S.StallTicks = 0;
    }
}

std::int32_t TConnection::RampStep() const {
    // (NormalVolume - 2) / 20 is 0 for a normal volume of 21 or less, and a ramp of step 0
    // never ends: one is the least step.
    return std::max<std::int32_t>(1, (PlayerState.NormalVolume - 2) / 20);
}

void TConnection::timer_meterTimer() {
    auto& S = PlayerState;
    QProgressBar* bar = w_.ui->ProgressBar1;
    tickedSinceRest_ = true;

    if (!w_.WebPlayer->IsPlaying()) {
        if (w_.LocalPlayer->IsPlaying()) {
            bar->setValue(0);
            w_.ui->meter1->SetPosition(GaugeOf(w_.LocalPlayer));
        }
        return;
    }

    w_.ui->meter1->SetPosition(GaugeOf(w_.WebPlayer));
    if (WatchDeadAir()) return;
    const std::int64_t fill = w_.WebPlayer->GetBufferPercent();
    if (fill > kStableFill) {
        if (w_.LocalPlayer->IsPlaying()) {
            w_.ui->Label10->setText(QStringLiteral("Conexão OK... Aguardando Término de MÚSICAS LOCAIS"));
        } else {
            w_.ui->Label10->setText(kStableStatus);
            w_.ui->meter2->SetPosition(int(w_.WebPlayer->GetVolume()));
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
            w_.ui->Label10->setText(QStringLiteral("PRONTO...Aguardando Servidor..."));
            bar->setValue(int(100 - fill));
        }
        return;
    }

    w_.ui->Label10->setText(QStringLiteral("Instabilidade na Conexão - Acionando MÚSICAS LOCAIS..."));
    bar->setValue(std::min(int(145 - fill), bar->maximum()));  // always full; the bar ignores values above its range
    if (w_.WebPlayer->IsFading()) return;  // already given up, the fade is running

    GiveUpStream(QStringLiteral("Encerrando Conexão - Motivo: Instabilidade Rede"), true);
}

void TConnection::FadeStreamOut() {
    auto& S = PlayerState;
    // A fade-in still running would pull against the fade-down step for step, and neither
    // would ever reach its end.
    timer_aumentarvolume->stop();
    timer_DiminuirVolume->start();
    w_.WebPlayer->RewindOnStop = true;
    w_.WebPlayer->FadeOut(kDropFadeMs);
    S.StallTicks = 0;
    S.WebError = -1;
    w_.Run->Olha_Dia(DayEvent::StreamPerdido);  // before the local track that follows it
}

void TConnection::GiveUpStream(const QString& historyLine, bool startLocal) {
    w_.Salva_Historico(historyLine);
    Conta_Queda();
    FadeStreamOut();
    w_.ui->ProgressBar1->setValue(0);
    if (PlayerState.InsideToday(NowDateTime()) && w_.IsActive()) {
        w_.ui->Label10->setText(QStringLiteral("Executando músicas LOCAIS"));
        if (startLocal && !w_.LocalPlayer->IsPlaying()) w_.PlayMusica(QStringLiteral("Play Local 882"));
    }
}

void TConnection::NovoVolume(int volume) {
    auto& S = PlayerState;
    S.NormalVolume = volume;
    if (w_.LocalPlayer->IsPlaying()) {
        w_.LocalPlayer->SetVolume(std::uint32_t(std::clamp(volume, 0, 100)));
        w_.ui->meter2->SetPosition(int(w_.LocalPlayer->GetVolume()));
    } else if (w_.WebPlayer->IsPlaying() && S.WebError == 0 && !w_.WebPlayer->IsFading()) {
        timer_DiminuirVolume->stop();
        S.RampVolume = std::min<std::int32_t>(S.RampVolume, std::int32_t(w_.WebPlayer->GetVolume()));
        timer_aumentarvolume->start();
    }
}

void TConnection::TrocaEstacao() {
    auto& S = PlayerState;
    if (!w_.IsActive()) return;
    w_.Run->ConnectTicks = kTicksForAttempt;  // the new station at the next tick
    if (!w_.WebPlayer->IsPlaying() || S.WebError != 0) return;
    // A stream the day no longer wants, not one lost: no drop, no line of its own (the
    // office's change has just written one).
    FadeStreamOut();
    if (PlayerState.InsideToday(NowDateTime()) && !w_.LocalPlayer->IsPlaying()) w_.PlayMusica(QStringLiteral("Troca de Estação"));
}

void TConnection::timer_DiminuirVolumeTimer() {
    auto& S = PlayerState;
    S.RampVolume -= RampStep();
    if (S.RampVolume > kRampFloor) {
        w_.WebPlayer->SetVolume(VolumeOf(S.RampVolume));
        w_.ui->meter2->SetPosition(S.RampVolume);
    } else {
        w_.WebPlayer->SetVolume(0);
        timer_DiminuirVolume->stop();
    }
}

void TConnection::timer_aumentarvolumeTimer() {
    auto& S = PlayerState;
    S.RampVolume += RampStep();
    const bool held = w_.LocalPlayer->IsPlaying();  // the stream waits, silent, for the local track to end
    if (S.RampVolume < S.NormalVolume) {
        w_.WebPlayer->SetVolume(held ? 0u : VolumeOf(S.RampVolume));
        w_.ui->meter2->SetPosition(std::clamp(S.RampVolume, 0, 100));
    } else {
        w_.WebPlayer->SetVolume(held ? 0u : VolumeOf(S.NormalVolume));
        timer_aumentarvolume->stop();
    }
}

bool TConnection::WatchDeadAir() {
    // A speaker or TV switched off takes the mix away, not the stream's sound.
    if (w_.WebPlayer->OutputLost()) DeadAir.Unheard(NowMs());
    else DeadAir.Feed(NowMs(), w_.WebPlayer->GetDecodedPeak());
    if (DeadAir.GivenUp()) {
        // Fading out: the buffer is still full, and its reading would call the stream stable.
        w_.ui->Label10->setText(kSilenceStatus);
        return true;
    }
    // A stream held silent behind a local track is judged when the track ends.
    if (w_.LocalPlayer->IsPlaying() || PlayerState.WebError != 0 || w_.WebPlayer->IsFading()) return false;
    if (!w_.IsActive() || !PlayerState.InsideToday(NowDateTime()) || !DeadAir.Silent()) return false;

    DeadAir.GiveUp();
    GiveUpStream(kSilenceHistory, true);  // the next ticks show kSilenceStatus while it fades
    return true;
}

bool TConnection::GiveUpSilentHeldStream() {
    if (!w_.WebPlayer->IsPlaying() || w_.WebPlayer->IsFading() || !DeadAir.SilentWhileHeld()) return false;
    DeadAir.GiveUp();
    // The held stream is at volume 0: its fade-down starts there, not at the ramp's last value,
    // which would bring it up over the next local track.
    PlayerState.RampVolume = 0;
    GiveUpStream(kSilenceHistory, false);  // the caller plays the next local track
    return true;
}

// A tick that would change nothing but the level gauge and the dead-air watch's time of its last
// reading: every other control and count already stands as a stable tick leaves it. A reading
// skipped meanwhile was sound (a quiet piece wakes the monitor), so the first tick after the
// rest reads the loudest since the last one, and silence is counted from the tick after it.
bool TConnection::MonitorWouldRest() {
    const auto& S = PlayerState;
    if (!timer_meter || !timer_meter->Enabled() || (w_.isVisible() && !w_.isMinimized())) return false;
    if (timer_DiminuirVolume->isActive() || timer_aumentarvolume->isActive()) return false;
    TZorvanBass* web = w_.WebPlayer;
    TZorvanBass* local = w_.LocalPlayer;
    if (!web || !local || !web->IsPlaying() || local->IsPlaying() || S.WebError != 0) return false;
    if (!DeadAir.Resting() || S.StallTicks != 0 || S.BufferMark != kStableMark) return false;
    if (w_.ui->ProgressBar1->value() != 0 || w_.ui->Label10->text() != kStableStatus) return false;
    if (web->IsFading() || web->OutputLost()) return false;
    if (w_.ui->meter2->Position() != std::clamp(int(web->GetVolume()), 0, 100)) return false;
    return web->GetBufferPercent() > kStableFill;
}

void TConnection::LookWhetherMonitorRests() {
    if (!MonitorWouldRest()) {
        if (monitorRests_->exchange(false) && timer_meter) timer_meter->DueMayHaveChanged();
        return;
    }
    if (monitorRests_->load() || !tickedSinceRest_) return;
    tickedSinceRest_ = false;
    monitorRests_->store(true);
    // The player calls this at once when its buffer is already at the mark.
    const bool watched = w_.WebPlayer->WatchForWake(
        int(kStableFill), DeadAir.SoundFrom(), [rests = monitorRests_, announce = timer_meter->DueAnnouncer()] {
            rests->store(false);
            announce();
        });
    if (!watched && monitorRests_->exchange(false)) timer_meter->DueMayHaveChanged();
}
