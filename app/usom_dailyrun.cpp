// The daily run: activation and deactivation, the 500 ms tick that waits for today's window,
// asks for the stream and closes the day, the 300 ms tick of the lamps, and the ways out of
// the program. "Active" is nothing but Timer_Geral's enabled flag.
#include "app/usom.h"

#include "app/startupfiles.h"
#include "audio/uzorvanbass.h"
#include "schedule/ucfg.h"
#include "system/autostart.h"
#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "ui/thdtimer.h"
#include "ui/uvolume.h"
#include "ui_usom.h"

#include <QCoreApplication>
#include <QPalette>
#include <QTimer>

#include <cstdlib>

namespace {
constexpr int kTickAfterFirstMs = 500;
constexpr std::int32_t kTicksAtActivation = 95;
constexpr std::int32_t kTicksBeforeAttempt = 120;
constexpr std::uint16_t kDeactivateStreamFadeMs = 2000;
constexpr std::uint16_t kLocalFadeMs = 1500;
constexpr std::uint16_t kScheduledCloseFadeMs = 1500;
constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

const QColor kActivatedColour(255, 0, 0);
const QColor kDeactivatedColour(128, 128, 128);
}  // namespace

bool Tfrm_sonarisv1AAC::IsActive() const { return Timer_Geral && Timer_Geral->isActive(); }

namespace {
void PaintIndicator(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}
}  // namespace

void Tfrm_sonarisv1AAC::Button1Click() {
    auto& S = PlayerState;
    if (!IsActive()) {
        GenreIndex = ui->ComboBox1->currentIndex();
        if (S.DeviceIndex >= 0 && ui->ComboBox6->currentIndex() >= 0 && ui->ComboBox1->currentIndex() >= 0) {
            using namespace startupfiles;
            WriteLines1252Atomic(ProgramFolder() + kServerIni,
                                 {kDeviceKey + QLatin1Char('=') + QString::number(S.DeviceIndex),
                                  QStringLiteral("INDEX_SERVER=") + QString::number(ui->ComboBox6->currentIndex()),
                                  kGenreKey + QLatin1Char('=') + QString::number(ui->ComboBox1->currentIndex())});
        }
        Define_Estacao();
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
        Inicia_Conta();
        ui->Label10->setText(QStringLiteral("Aguarde...Acionando Sistema em 15 segundos..."));
        ui->ProgressBar1->setValue(0);
        S.BufferMark = 0;
        return;
    }

    if (!ConfirmBox(QStringLiteral("Deseja Realmente Desligar o Sistema ??"))) return;
    Timer_Geral->stop();
    runTicked_ = false;  // the run stops here: the window that gives way next is none of its own
    ui->ComboBox6->setEnabled(true);
    ui->Button1->setText(QStringLiteral("Ativar"));
    ui->BitBtn8->setText(QStringLiteral("Sair"));
    timer_meter->SetEnabled(false);
    ui->meter1->SetPosition(0);
    ui->Label10->setText(QStringLiteral("Status"));
    S.WebError = 0;
    ConnectTicks = 0;
    WebPlayer->FadeOut(kDeactivateStreamFadeMs);
    LocalPlayer->FadeOut(kLocalFadeMs);
    DeleteStartupShortcut(StartupLinkName);
    PaintIndicator(ui->Label2, kDeactivatedColour);
    ui->ProgressBar1->setValue(0);
    Salva_Historico(QStringLiteral("DESATIVADO PELO USUÁRIO"));
    Escreve_Resumo();
}

void Tfrm_sonarisv1AAC::Timer_GeralTimer() {
    auto& S = PlayerState;
    const qint64 sinceActivation = std::llabs(S.ActivatedAt.msecsTo(TimeOfDay())) % kMsPerDay;
    ui->Label21->setText(FormatTime(QTime::fromMSecsSinceStartOfDay(int(sinceActivation))));
    // Setting the interval restarts the timer: only the first tick of a run changes it.
    if (Timer_Geral->interval() != kTickAfterFirstMs) Timer_Geral->setInterval(kTickAfterFirstMs);
    if (!S.Window.InForce(NowDateTime())) NewDay();
    runTicked_ = true;
    Conta_Dia();

    if (S.InsideToday(NowDateTime()) && S.WebError != 0) {
        S.CloseArmed = true;
        S.WebError = -1;
        ++ConnectTicks;
        // A tick that comes while an attempt runs leaves the count above the mark, so the next
        // attempt comes at the first tick after that one has ended.
        if (ConnectTicks > kTicksBeforeAttempt && !AttemptRunning()) {
            ConnectTicks = 0;
            S.WebError = -1;
            Conecta_Web();
        }
    }

    if (NowDateTime() > S.Window.Close && ScheduledCloseOwed()) ScheduledClose();
}

// CloseArmed alone cannot say whether the day still has to be closed: the stop events clear
// it, and a reconnection raises them itself (closing the ended stream's freed handle, and
// Load freeing it once more), after which the stream plays on with WebError 0 and no tick
// arms the close again. So music that still sounds after the stop is owed the close as well:
// whatever happened during the day, the shop's music ends at TodayStop. A player already
// fading out is on its way to silence and owes nothing, so one close is never repeated.
bool Tfrm_sonarisv1AAC::ScheduledCloseOwed() {
    auto sounding = [](TZorvanBass* player) { return player->IsPlaying() && !player->IsFading(); };
    return PlayerState.CloseArmed || sounding(WebPlayer) || sounding(LocalPlayer);
}

void Tfrm_sonarisv1AAC::ScheduledClose() {
    auto& S = PlayerState;
    S.CloseArmed = false;
    ui->Label10->setText(QStringLiteral("Conexão Fechada"));
    Salva_Historico(QStringLiteral("Encerrando Conexão PROGRAMADA: ") + FormatTime(TimeOfDay()));
    WebPlayer->FadeOut(kScheduledCloseFadeMs);
    LocalPlayer->FadeOut(kScheduledCloseFadeMs);
    S.WebError = -1;
    timer_meter->SetEnabled(false);
    // After the fades: a stream found already ended stops inside them, and that loss
    // belongs to this day.
    Escreve_Resumo();
}

// A player left running over night follows each day's own line of the weekly schedule: a
// shop closed on Sundays stays silent on Sunday even when Saturday had a window. A window gives
// way only once it has ended, so when the run was going at its end and its close has not come
// (a stop at 23:59:59 whose next tick is on the new date; a night, whose close and end are the
// same tick), it comes now, before the next window is read.
void Tfrm_sonarisv1AAC::NewDay() {
    if (runTicked_ && ScheduledCloseOwed()) ScheduledClose();
    // The old window's account line, unless the close above has just written it; a window
    // never entered (no schedule, closed all day) leaves none.
    if (DayAccount.Holds()) Escreve_Resumo();
    // The labels and the status as a start on this day would show them.
    ui->Label13->setText(QStringLiteral("00:00:00"));
    ui->Label15->setText(QStringLiteral("00:00:00"));
    ui->Label10->setText(QStringLiteral("Status"));
    Atualiza_whoje();
}

void Tfrm_sonarisv1AAC::Timer_sempreTimer() {
    // This timer runs from the start, and its ticks are served inside message boxes: a box of
    // the stream player's device set-up comes before the local player exists.
    if (!WebPlayer || !LocalPlayer) return;
    // Read before the look: a change from here on makes the next tick due.
    sempreWebSeen_ = WebPlayer->StateChanges();
    sempreLocalSeen_ = LocalPlayer->StateChanges();
    sempreOutputSeen_ = lib_.OutputStatusChanges();
    ui->MMLED1->SetLit(WebPlayer->IsPlaying());
    ui->MMLED2->SetLit(LocalPlayer->IsPlaying());
    if (LocalPlayer->IsPlaying() && std::int64_t(LocalPlayer->GetPosition()) >= std::int64_t(LocalPlayer->GetLength()))
        LocalPlayer->Stop();  // its OnStop runs StopMusica, which chooses what follows
    Verifica_Saida();
    sempreLooksAgain_.store(LocalPlayer->IsPlaying() || outputLost_, std::memory_order_release);
}

// The lamps follow the players, the end of a local track is watched and the output's loss is
// reported: with both players as the last tick left them, no local track and the output there
// and unchanged, a tick would set nothing, and the window's thread sleeps on.
bool Tfrm_sonarisv1AAC::SempreDue() const {
    if (sempreLooksAgain_.load(std::memory_order_acquire)) return true;
    return WebPlayer->StateChanges() != sempreWebSeen_.load() || LocalPlayer->StateChanges() != sempreLocalSeen_.load() ||
           lib_.OutputStatusChanges() != sempreOutputSeen_.load();
}

void Tfrm_sonarisv1AAC::BitBtn8Click() {
    if (IsActive()) {
        MinimizeApplication();
        return;
    }
    PlayerState.WebError = 0;
    timer_meter->SetEnabled(false);
    Timer_Geral->stop();
    // A player that still holds a channel raises OnStop here; with the run switched off its
    // handler starts nothing.
    WebPlayer->Stop();
    LocalPlayer->Stop();
    Salva_Historico(QStringLiteral("ENCERRANDO SISTEMA  - PELO USUÁRIO"));
    close();  // closeEvent asks FormClose
}

bool Tfrm_sonarisv1AAC::FormClose() {
    if (IsActive()) {
        MinimizeApplication();
        return false;
    }
    if (!ConfirmBox(QStringLiteral("Deseja Realmente Desativar o Sistema ??"))) return false;
    Salva_Historico(QStringLiteral("*** SISTEMA DESLIGADO ***"));
    Salva_Historico(QString(37, QLatin1Char('=')));
    WebPlayer->Close();
    return true;
}

void Tfrm_sonarisv1AAC::DesligarSonaris2Click() {
    DeleteStartupShortcut(StartupLinkName);
    Encerra_Programa();
}

// No question and no closing lines: closeEvent lets the window go without FormClose, and
// exit() leaves every event loop without asking the windows to close. An attempt still
// opening is left to finish by itself: nothing of it plays or is written, and nobody waits.
void Tfrm_sonarisv1AAC::Encerra_Programa() {
    attempt_->Abandon();
    quitting_ = true;
    QCoreApplication::exit(0);
}

// A logout or shutdown ends the program as the tray's "Desligar Sonaris" does, but the start
// with the session stays: an activated player comes back at the next logon.
void Tfrm_sonarisv1AAC::FimDaSessao() { Encerra_Programa(); }

void Tfrm_sonarisv1AAC::VrTrayIcon1DblClick() { RestoreApplication(); }

void Tfrm_sonarisv1AAC::FormKeyPress(QChar key) {
    if (key == QLatin1Char('C') || key == QLatin1Char('c')) MessageBoxes().Message(PlayerState.StreamUrl, ApplicationTitle());
}

void Tfrm_sonarisv1AAC::ControledeVolume1Click() {
    if (VolumeDialog) VolumeDialog->exec();
    Define_Estacao();
}

void Tfrm_sonarisv1AAC::Configuraesdeacionamento1Click() {
    if (ScheduleEditor) ScheduleEditor->show();
}
