#include "app/dailyrun.h"

#include "app/startupfiles.h"
#include "app/usom.h"
#include "app/windowlook.h"
#include "audio/uzorvanbass.h"
#include "spots/spots.h"
#include "system/autostart.h"
#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "ui/hourlyvolume.h"
#include "ui/thdtimer.h"
#include "ui/volumefile.h"
#include "ui_usom.h"

#include <QTimer>

#include <cstdlib>

namespace {
constexpr int kFirstTickMs = 5000;
constexpr int kTickAfterFirstMs = 500;
constexpr int kSempreMs = 300;
constexpr std::int32_t kTicksAtActivation = 95;
constexpr std::int32_t kTicksBeforeAttempt = 120;
constexpr std::uint16_t kDeactivateStreamFadeMs = 2000;
constexpr std::uint16_t kLocalFadeMs = 1500;
constexpr std::uint16_t kScheduledCloseFadeMs = 1500;
constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

const QColor kActivatedColour(255, 0, 0);
const QColor kDeactivatedColour(128, 128, 128);
}  // namespace

TDailyRun::TDailyRun(Tfrm_sonarisv1AAC& window) : QObject(&window), w_(window) {
    Timer_Geral = new QTimer(this);
    Timer_Geral->setInterval(kFirstTickMs);
    connect(Timer_Geral, &QTimer::timeout, this, [this] { Timer_GeralTimer(); });

    Timer_sempre = new TThreadedTimer(this);
    Timer_sempre->SetInterval(kSempreMs);
    Timer_sempre->OnTimer = [this](TThreadedTimer*) { Timer_sempreTimer(); };
    Timer_sempre->SetDue([this] { return SempreDue(); });
}

TDailyRun::~TDailyRun() {
    if (outputWatch_) outputWatchLib_->UnwatchOutputStatusChanges(outputWatch_);
}

void TDailyRun::AnnounceSempreChanges() {
    sempreAnnounced_ = true;
    const auto announce = Timer_sempre->DueAnnouncer();
    w_.WebPlayer->StateChangesAnnounced = announce;
    w_.LocalPlayer->StateChangesAnnounced = announce;
    outputWatchLib_ = &w_.Lib();
    outputWatch_ = outputWatchLib_->WatchOutputStatusChanges(announce);
    // A library that does not announce the output's changes is asked at every interval.
    if (outputWatch_) Timer_sempre->SetDueChangesAnnounced(true);
}

void TDailyRun::Inicia_Spots(int device) {
    TSpots::Hooks hooks;
    hooks.History = [this](const QString& line) { w_.Salva_Historico(line); };
    hooks.Duck = [this](double db, int ms) {
        w_.WebPlayer->Duck(db, ms);
        w_.LocalPlayer->Duck(db, ms);
    };
    hooks.Volume = [] { return PlayerState.NormalVolume; };
    hooks.HistoryOf = [this](const QDate& date) { return ReadLines1252(w_.HistoryDayFile(date)); };
    Spots = std::make_unique<TSpots>(w_.Lib(), ProgramFolder(), device, w_.Loudness.get(), hooks);
    HourlyVolume = std::make_unique<THourlyVolume>(ProgramFolder() + VolumeIniName);
}

// From the start of an hour with its own volume the playing volume moves to it over 10 s; a
// stream held silent behind a local track, or one a ramp or a fade moves, is left alone.
static void FollowHourlyVolume(THourlyVolume& hourly, TZorvanBass* web, TZorvanBass* local, QTimer* fadeIn) {
    auto& S = PlayerState;
    const int v = hourly.Tick(NowDateTime(), S.NormalVolume);
    if (v == S.NormalVolume) return;
    S.NormalVolume = v;
    if (local->IsPlaying() && !local->IsFading()) local->SetVolume(std::uint32_t(v));
    if (web->IsPlaying() && !web->IsFading() && !fadeIn->isActive() && web->GetVolume() > 0 && S.WebError == 0)
        web->SetVolume(std::uint32_t(v));
}

bool TDailyRun::IsActive() const { return Timer_Geral && Timer_Geral->isActive(); }

void TDailyRun::Olha_Dia(DayEvent why) {
    auto& S = PlayerState;
    const QDateTime now = NowDateTime();
    DayState next = DayState::Silencio;
    if (!IsActive()) next = DayState::Desativado;
    else if (outputLost_) next = DayState::SaidaPerdida;
    else if (!S.InsideToday(now)) next = DayState::ForaDoHorario;
    else if (w_.LocalPlayer->IsPlaying()) next = DayState::Local;  // a stream held behind it is not heard yet
    else if (w_.WebPlayer->IsPlaying() && S.WebError == 0) next = DayState::Stream;
    else if (w_.AttemptRunning()) next = DayState::Conectando;
    Day.Set(next, why, now);
}

void TDailyRun::Button1Click() {
    if (!IsActive()) {
        Ativa();
        return;
    }
    if (!ConfirmBox(QStringLiteral("Deseja Realmente Desligar o Sistema ??"))) return;
    Desativa();
}

void TDailyRun::Ativa() {
    auto& S = PlayerState;
    Ui::Tfrm_sonarisv1AAC* ui = w_.ui;
    w_.GenreIndex = ui->ComboBox1->currentIndex();
    if (S.DeviceIndex >= 0 && ui->ComboBox6->currentIndex() >= 0 && ui->ComboBox1->currentIndex() >= 0) {
        using namespace startupfiles;
        WriteLines1252Atomic(ProgramFolder() + kServerIni,
                             {kDeviceKey + QLatin1Char('=') + QString::number(S.DeviceIndex),
                              QStringLiteral("INDEX_SERVER=") + QString::number(ui->ComboBox6->currentIndex()),
                              kGenreKey + QLatin1Char('=') + QString::number(ui->ComboBox1->currentIndex())});
    }
    w_.Define_Estacao();
    if (!StartupShortcutExists(StartupLinkName))
        CreateStartupShortcut(ExecutablePath(), QString(), ProgramFolder(), StartupLinkName);
    ui->ComboBox6->setEnabled(false);
    ui->BitBtn8->setText(QStringLiteral("Minimizar"));
    S.WebError = -1;
    ConnectTicks = kTicksAtActivation;
    Timer_Geral->start();  // keeps its interval: 5000 ms until the first tick of the run
    ui->Button1->setText(QStringLiteral("Desativar"));
    PaintIndicator(ui->Label2, kActivatedColour);
    S.ActivatedAt = TimeOfDay();
    Olha_Dia(DayEvent::Ativacao);
    Inicia_Conta();
    ui->Label10->setText(QStringLiteral("Aguarde...Acionando Sistema em 15 segundos..."));
    ui->ProgressBar1->setValue(0);
    S.BufferMark = 0;
}

// The day is switched off before the players fade: the stream's stop at the fade's end is then
// no drop, only the end of a stream nobody wants any more.
void TDailyRun::Desativa() {
    Ui::Tfrm_sonarisv1AAC* ui = w_.ui;
    Para();
    ui->ComboBox6->setEnabled(true);
    ui->Button1->setText(QStringLiteral("Ativar"));
    ui->BitBtn8->setText(QStringLiteral("Sair"));
    ui->meter1->SetPosition(0);
    ui->Label10->setText(QStringLiteral("Status"));
    w_.WebPlayer->FadeOut(kDeactivateStreamFadeMs);
    w_.LocalPlayer->FadeOut(kLocalFadeMs);
    if (Spots) Spots->Deactivate(kLocalFadeMs);
    DeleteStartupShortcut(StartupLinkName);
    PaintIndicator(ui->Label2, kDeactivatedColour);
    ui->ProgressBar1->setValue(0);
    w_.Salva_Historico(QStringLiteral("DESATIVADO PELO USUÁRIO"));
    Escreve_Resumo();
}

void TDailyRun::Para() {
    Timer_Geral->stop();
    runTicked_ = false;  // the run stops here: the window that gives way next is none of its own
    w_.timer_meter->SetEnabled(false);
    ConnectTicks = 0;
    Olha_Dia(DayEvent::Desativacao);
}

void TDailyRun::Timer_GeralTimer() {
    auto& S = PlayerState;
    const qint64 sinceActivation = std::llabs(S.ActivatedAt.msecsTo(TimeOfDay())) % kMsPerDay;
    w_.ui->Label21->setText(FormatTime(QTime::fromMSecsSinceStartOfDay(int(sinceActivation))));
    // Setting the interval restarts the timer: only the first tick of a run changes it.
    if (Timer_Geral->interval() != kTickAfterFirstMs) Timer_Geral->setInterval(kTickAfterFirstMs);
    // The window's instants follow a change of the system's zone (an installer setting the
    // shop's zone during the day): its times are the wall clock's.
    S.Window.FollowZone();
    if (!S.Window.InForce(NowDateTime())) NewDay();
    runTicked_ = true;
    Conta_Dia();

    if (S.InsideToday(NowDateTime()) && S.WebError != 0) {
        S.CloseArmed = true;
        S.WebError = -1;
        ++ConnectTicks;
        // A tick that comes while an attempt runs leaves the count above the mark, so the next
        // attempt comes at the first tick after that one has ended.
        if (ConnectTicks > kTicksBeforeAttempt && !w_.AttemptRunning()) {
            ConnectTicks = 0;
            S.WebError = -1;
            w_.Conecta_Web();
        }
    }

    if (NowDateTime() > S.Window.Close && ScheduledCloseOwed()) ScheduledClose();
    if (Spots) Spots->Tick(S.Window, true);
    if (HourlyVolume) FollowHourlyVolume(*HourlyVolume, w_.WebPlayer, w_.LocalPlayer, w_.timer_aumentarvolume);
    Olha_Dia(DayEvent::Tick);
}

// CloseArmed alone cannot say whether the day still has to be closed: the stop events clear
// it, and a reconnection raises them itself (closing the ended stream's freed handle, and
// Load freeing it once more), after which the stream plays on with WebError 0 and no tick
// arms the close again. So music that still sounds after the stop is owed the close as well:
// whatever happened during the day, the shop's music ends at TodayStop. A player already
// fading out is on its way to silence and owes nothing, so one close is never repeated.
bool TDailyRun::ScheduledCloseOwed() {
    auto sounding = [](TZorvanBass* player) { return player->IsPlaying() && !player->IsFading(); };
    return PlayerState.CloseArmed || sounding(w_.WebPlayer) || sounding(w_.LocalPlayer);
}

void TDailyRun::ScheduledClose() {
    auto& S = PlayerState;
    S.CloseArmed = false;
    w_.ui->Label10->setText(QStringLiteral("Conexão Fechada"));
    w_.Salva_Historico(QStringLiteral("Encerrando Conexão PROGRAMADA: ") + FormatTime(TimeOfDay()));
    w_.WebPlayer->FadeOut(kScheduledCloseFadeMs);
    w_.LocalPlayer->FadeOut(kScheduledCloseFadeMs);
    if (Spots) Spots->FadeOut(kScheduledCloseFadeMs);
    S.WebError = -1;
    w_.timer_meter->SetEnabled(false);
    // After the fades: a stream found already ended stops inside them, and that loss
    // belongs to this day.
    Escreve_Resumo();
    Olha_Dia(DayEvent::Fechamento);
}

// A player left running over night follows each day's own line of the weekly schedule: a
// shop closed on Sundays stays silent on Sunday even when Saturday had a window. A window gives
// way only once it has ended, so when the run was going at its end and its close has not come
// (a stop at 23:59:59 whose next tick is on the new date; a night, whose close and end are the
// same tick), it comes now, before the next window is read.
void TDailyRun::NewDay() {
    if (runTicked_ && ScheduledCloseOwed()) ScheduledClose();
    // The old window's account line, unless the close above has just written it; a window
    // never entered (no schedule, closed all day) leaves none.
    if (DayAccount.Holds()) Escreve_Resumo();
    // The labels and the status as a start on this day would show them.
    w_.ui->Label13->setText(QStringLiteral("00:00:00"));
    w_.ui->Label15->setText(QStringLiteral("00:00:00"));
    w_.ui->Label10->setText(QStringLiteral("Status"));
    Atualiza_whoje();
}

void TDailyRun::ReleJanela() {
    week_.reset();
    w_.ui->Label13->setText(QStringLiteral("00:00:00"));
    w_.ui->Label15->setText(QStringLiteral("00:00:00"));
    Atualiza_whoje();
    if (IsActive() && NowDateTime() > PlayerState.Window.Close && ScheduledCloseOwed()) ScheduledClose();
    Olha_Dia(DayEvent::Tick);
}

void TDailyRun::Atualiza_whoje() {
    if (!week_) week_ = ReadWeekLines(ProgramFolder());
    PlayerState.Window = WindowAt(*week_, NowDateTime());
    const TodayWindow& today = PlayerState.Window.Times;
    PlayerState.TodayStart = today.Start;
    PlayerState.TodayStop = today.Stop;
    if (!today.StatusText.isEmpty()) w_.ui->Label10->setText(today.StatusText);
    if (today.ShowTimes) {
        w_.ui->Label13->setText(FormatTime(today.Start));
        // A stop after midnight says so, or 18:00 to 02:00 would read as a mistake.
        const int days = PlayerState.Window.StopDays();
        w_.ui->Label15->setText(FormatTime(today.Stop) + (days > 0 ? QStringLiteral(" (+%1)").arg(days) : QString()));
    }
}

void TDailyRun::Timer_sempreTimer() {
    // This timer runs from the start, and its ticks are served inside message boxes: a box of
    // the stream player's device set-up comes before the local player exists.
    TZorvanBass* web = w_.WebPlayer;
    TZorvanBass* local = w_.LocalPlayer;
    if (!web || !local) return;
    if (!sempreAnnounced_) AnnounceSempreChanges();
    // Read before the look: a change from here on makes the next tick due.
    sempreWebSeen_ = web->StateChanges();
    sempreLocalSeen_ = local->StateChanges();
    sempreOutputSeen_ = w_.Lib().OutputStatusChanges();
    w_.ui->MMLED1->SetLit(web->IsPlaying());
    w_.ui->MMLED2->SetLit(local->IsPlaying());
    if (local->IsPlaying() && std::int64_t(local->GetPosition()) >= std::int64_t(local->GetLength()))
        local->Stop();  // its OnStop runs StopMusica, which chooses what follows
    Verifica_Saida();
    sempreLooksAgain_.store(local->IsPlaying() || outputLost_, std::memory_order_release);
}

// The lamps follow the players, the end of a local track is watched and the output's loss is
// reported: with both players as the last tick left them, no local track and the output there
// and unchanged, a tick would set nothing, and the window's thread sleeps on.
bool TDailyRun::SempreDue() const {
    if (sempreLooksAgain_.load(std::memory_order_acquire)) return true;
    return w_.WebPlayer->StateChanges() != sempreWebSeen_.load() ||
           w_.LocalPlayer->StateChanges() != sempreLocalSeen_.load() ||
           w_.Lib().OutputStatusChanges() != sempreOutputSeen_.load();
}

// The sound library notices the output going and brings it back by itself; the run goes on
// meanwhile (the players keep their channels, which stand still until an output is there) and
// only says so, in the history and the status line.
void TDailyRun::Verifica_Saida() {
    const QString unavailable = QStringLiteral("Saída de Áudio Indisponível - Aguardando Dispositivo...");
    QLabel* status = w_.ui->Label10;
    // Both players play on the same device, so the stream player's output speaks for both.
    const bool lost = w_.WebPlayer->OutputLost();
    if (lost && !outputLost_) w_.Salva_Historico(QStringLiteral("SAÍDA DE ÁUDIO PERDIDA"));
    if (lost && status->text() != unavailable) {
        // The run goes on writing its status meanwhile: the latest is what the line shows once
        // the output is back; until then the line says why nothing is heard.
        statusBeforeLoss_ = status->text();
        status->setText(unavailable);
    }
    if (!lost && outputLost_) {
        w_.Salva_Historico(QStringLiteral("SAÍDA DE ÁUDIO RESTABELECIDA: ") + w_.WebPlayer->OutputName());
        status->setText(statusBeforeLoss_);
    }
    const bool changed = lost != outputLost_;
    outputLost_ = lost;
    if (changed) Olha_Dia(DayEvent::Saida);
}

// --- the day's account ---------------------------------------------------------------------
// The daily run looks at the day at each tick, and the scheduled close, the deactivation and
// the next window's reading write what was heard since the last such line. The program's end
// writes nothing: its ways out keep their history as it always was.

namespace {
// Heard is what reaches the listener: the player the day says is heard, playing at a volume
// above 0. A stream held at 0 behind a local track is not heard, nor anything while the sound
// output is lost.
bool Audible(TZorvanBass* player) { return player && player->IsPlaying() && player->GetVolume() > 0; }
}  // namespace

static TDayAccount::Heard HeardNow(const TDay& day, TZorvanBass* web, TZorvanBass* local) {
    return {day.Now() == DayState::Stream && Audible(web), day.Now() == DayState::Local && Audible(local)};
}

void TDailyRun::Inicia_Conta() { DayAccount.Start(NowDateTime(), HeardNow(Day, w_.WebPlayer, w_.LocalPlayer)); }

void TDailyRun::Conta_Dia() {
    DayAccount.Look(NowDateTime(), PlayerState.Window.Open, PlayerState.Window.Close,
                    HeardNow(Day, w_.WebPlayer, w_.LocalPlayer));
}

void TDailyRun::Escreve_Resumo() {
    Conta_Dia();
    w_.Salva_Historico(DayAccount.TakeLine());
    if (Spots) Spots->WriteSummary();
}
