// The daily run: activation and deactivation, the count to the first attempt and the
// retries, the scheduled close, the lamps, and every way out of the program.
#include "ui_usom.h"
#include "controllerfixture.h"

#include "system/autostart.h"

#include <QCloseEvent>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {
const QString kUrl = QStringLiteral("http://127.0.0.1:9500");
int Attempts(const FakeSoundLib& lib) { return lib.CountCalls("BASS_AAC_StreamCreateURL"); }
}  // namespace

class DailyRunTest : public ControllerFixture {};

TEST_F(DailyRunTest, ActivationSwitchesTheWindowOnAndLeavesTheMarksOfAnActivePlayer) {
    At(10, 0, 0);
    w->Button1Click();

    EXPECT_TRUE(w->IsActive());
    EXPECT_EQ(w->Timer_Geral->interval(), 5000);  // the first tick of a run comes 5 s later
    EXPECT_EQ(w->ui->Button1->text(), "Desativar");
    EXPECT_EQ(w->ui->BitBtn8->text(), "Minimizar");
    EXPECT_FALSE(w->ui->ComboBox6->isEnabled());
    EXPECT_EQ(w->ui->Label2->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w->ui->Label10->text(), "Aguarde...Acionando Sistema em 15 segundos...");
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_EQ(w->Run->ConnectTicks, 95);
    EXPECT_EQ(PlayerState.ActivatedAt, QTime(10, 0));
    EXPECT_TRUE(StartupShortcutExists(StartupLinkName));
    EXPECT_EQ(ReadBytes(folder.File("SERVER.INI")), QByteArray("DEVICE=1\r\nINDEX_SERVER=0\r\nINDEX_GENERO=0\r\n"));

    w->ui->ComboBox1->setCurrentIndex(-1);  // without a genre the file is left alone
    WriteBytes(folder.File("SERVER.INI"), "old");
    boxes.answers = {true};
    w->Button1Click();
    w->Button1Click();
    EXPECT_EQ(ReadBytes(folder.File("SERVER.INI")), QByteArray("old"));
    EXPECT_TRUE(w->IsActive());
}

TEST_F(DailyRunTest, FirstAttemptComes26TicksAfterAnActivationInsideTheWindow) {
    w->Button1Click();
    TickGeral(25);
    EXPECT_EQ(Attempts(lib), 0);
    EXPECT_EQ(w->Timer_Geral->interval(), 500);
    EXPECT_TRUE(PlayerState.CloseArmed);

    TickGeral();
    EXPECT_EQ(Attempts(lib), 1);
    EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "Sonaris"}));
    EXPECT_EQ(PlayerState.WebError, 0);

    TickGeral(500);  // a playing stream is not asked for again
    EXPECT_EQ(Attempts(lib), 1);
}

TEST_F(DailyRunTest, ActivatedBeforeTheWindowTheCountWaitsForTodayStart) {
    At(7, 0);
    w->Button1Click();
    TickGeral(300);
    EXPECT_EQ(w->Run->ConnectTicks, 95);
    EXPECT_FALSE(PlayerState.CloseArmed);
    EXPECT_EQ(Attempts(lib), 0);

    At(8, 0);
    TickGeral(25);
    EXPECT_EQ(Attempts(lib), 0);
    TickGeral();
    EXPECT_EQ(Attempts(lib), 1);
}

TEST_F(DailyRunTest, FailedAttemptsAreRepeatedEvery121Ticks) {
    lib.createError[kUrl.toStdString()] = soundlib::BASS_ERROR_NONET;
    w->Button1Click();
    TickGeral(26);
    ASSERT_EQ(Attempts(lib), 1);
    EXPECT_EQ(PlayerState.WebError, 32);
    EXPECT_EQ(w->ui->Label10->text(), "Erro WEB -  Erro:32 ACIONADO ÁUDIO LOCAL");

    TickGeral(120);
    EXPECT_EQ(Attempts(lib), 1);
    TickGeral();
    EXPECT_EQ(Attempts(lib), 2);
    TickGeral(121);
    EXPECT_EQ(Attempts(lib), 3);
}

TEST_F(DailyRunTest, TheScheduledCloseComesAtTheFirstTickAfterTodayStopAndFadesBothPlayers) {
    PutMusic({"A.MP3"});
    ActivateAndConnect();
    w->BitBtn14Click();  // a local track by hand beside the stream
    ClearHistory();

    At(18, 0, 0);
    TickGeral();
    EXPECT_TRUE(History().isEmpty());
    EXPECT_FALSE(WebChannel()->sliding);

    At(18, 0, 1);
    TickGeral();
    EXPECT_EQ(History().value(0), "Encerrando Conexão PROGRAMADA: 18:00:01");
    EXPECT_EQ(History().size(), 2);  // and the day's account
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Fechada");
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(WebChannel()->slideTime, 1500u);
    EXPECT_TRUE(LocalChannel()->sliding);
    EXPECT_EQ(LocalChannel()->slideTime, 1500u);
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_FALSE(w->timer_meter->Enabled());
    EXPECT_FALSE(PlayerState.CloseArmed);

    TickGeral(300);  // closed once; outside the window nothing is attempted
    EXPECT_EQ(History().size(), 2);
    EXPECT_EQ(Attempts(lib), 1);
    EXPECT_TRUE(w->IsActive());
}

TEST_F(DailyRunTest, WithoutAScheduleAHandStartedTrackIsClosedAtTheNextTick) {
    WriteWindow(QTime(0, 0), QTime(0, 0));
    window.reset();
    Create();
    w = window.get();
    PutMusic({"A.MP3"});
    w->Button1Click();
    w->BitBtn14Click();
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());

    TickGeral();
    EXPECT_TRUE(History().contains("Encerrando Conexão PROGRAMADA: 10:00:00"));
    EXPECT_TRUE(LocalChannel()->sliding);
    EXPECT_EQ(LocalChannel()->slideTime, 1500u);
}

TEST_F(DailyRunTest, DeactivationAsksAndOnOkFadesBothAndRemovesTheAutostartEntry) {
    ActivateAndConnect();
    ClearHistory();

    boxes.answers = {false};
    w->Button1Click();
    EXPECT_EQ(boxes.Texts(), QStringList({"Deseja Realmente Desligar o Sistema ??"}));
    EXPECT_TRUE(w->IsActive());
    EXPECT_TRUE(StartupShortcutExists(StartupLinkName));
    EXPECT_FALSE(WebChannel()->sliding);
    EXPECT_TRUE(History().isEmpty());

    boxes.answers = {true};
    w->Button1Click();
    EXPECT_FALSE(w->IsActive());
    EXPECT_EQ(w->ui->Button1->text(), "Ativar");
    EXPECT_EQ(w->ui->BitBtn8->text(), "Sair");
    EXPECT_TRUE(w->ui->ComboBox6->isEnabled());
    EXPECT_EQ(w->ui->Label10->text(), "Status");
    EXPECT_EQ(w->ui->Label2->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_FALSE(w->timer_meter->Enabled());
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_EQ(w->Run->ConnectTicks, 0);
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(WebChannel()->slideTime, 2000u);
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));
    EXPECT_EQ(History().value(0), "DESATIVADO PELO USUÁRIO");
    EXPECT_EQ(History().size(), 2);  // and the day's account

    // The fade's end stops the stream; switched off, nothing follows.
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    TickGeral(200);
    EXPECT_EQ(Attempts(lib), 1);
}

TEST_F(DailyRunTest, ElapsedTimeAndLampsFollowTheClockAndThePlayers) {
    At(23, 59, 0);
    w->Button1Click();
    At(23, 59, 42);
    TickGeral();
    EXPECT_EQ(w->ui->Label21->text(), "00:00:42");
    At(0, 0, 30);  // past midnight the difference is read without its sign
    TickGeral();
    EXPECT_EQ(w->ui->Label21->text(), "23:58:30");

    At(10, 0);
    TickGeral(26);
    PutMusic({"A.MP3"});
    w->BitBtn14Click();
    w->Timer_sempreTimer();
    EXPECT_TRUE(w->ui->MMLED1->Lit());
    EXPECT_TRUE(w->ui->MMLED2->Lit());
    w->BitBtn15Click();
    w->Timer_sempreTimer();
    EXPECT_FALSE(w->ui->MMLED2->Lit());
}

// In the tray the window is hidden and its widgets skip what only repaints; shown again it
// must read as if it had stayed open all along: the clock, the elapsed time, the lamps, the
// level and the monitor's status as the ticks in between left them.
TEST_F(DailyRunTest, TheWindowShownAgainFromTheTrayReadsAsIfItHadStayedOpen) {
    ShowWindow();
    w->Button1Click();
    TickGeral(26);
    ASSERT_TRUE(w->WebPlayer->IsPlaying()) << History().join(" | ").toStdString();
    const QString statusBefore = w->ui->Label10->text();
    ASSERT_EQ(w->ui->meter1->Position(), 0);
    ASSERT_FALSE(w->ui->MMLED1->Lit());

    w->hide();  // what minimising to the notification area does
    At(10, 7, 42);
    TickGeral();
    SetFill(50);  // a buffer that stopped filling: the monitor's waiting status 21 ticks on
    lib.SetLevel(w->WebPlayer->Channel, 14000, 0);
    TickMeter(22);
    w->Timer_sempreTimer();
    w->show();
    PumpEvents(20);

    EXPECT_EQ(w->ui->VrClock1->text(), "10:07:42");
    EXPECT_EQ(w->ui->Label21->text(), "00:07:42");
    EXPECT_TRUE(w->ui->MMLED1->Lit());
    EXPECT_FALSE(w->ui->MMLED2->Lit());
    EXPECT_EQ(w->ui->meter1->Position(), 70);
    EXPECT_NE(statusBefore, "PRONTO...Aguardando Servidor...");
    EXPECT_EQ(w->ui->Label10->text(), "PRONTO...Aguardando Servidor...");
    EXPECT_EQ(w->ui->ProgressBar1->value(), 50);
}

TEST_F(DailyRunTest, TheLampTimerStopsALocalTrackThatReachedItsEnd) {
    PutMusic({"A.MP3", "B.MP3"});
    w->BitBtn14Click();
    LocalChannel()->position = LocalChannel()->length - 1;
    w->Timer_sempreTimer();
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EndLocalTrack();
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_TRUE(w->ui->BitBtn14->isEnabled());  // StopMusica ran
}

TEST_F(DailyRunTest, SairWhileInactiveStopsThePlayersWritesItsLineAndCancelKeepsTheWindow) {
    ShowWindow();
    PutMusic({"A.MP3"});
    w->BitBtn14Click();
    ClearHistory();
    boxes.answers = {false};

    w->BitBtn8Click();
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(History(), QStringList({"ENCERRANDO SISTEMA  - PELO USUÁRIO"}));
    EXPECT_EQ(boxes.Texts(), QStringList({"Deseja Realmente Desativar o Sistema ??"}));
    EXPECT_TRUE(w->isVisible());
}

TEST_F(DailyRunTest, TheCloseBoxOnlyMinimisesAnActivePlayer) {
    ShowWindow();
    w->Button1Click();
    ClearHistory();
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isMinimized() || !w->isVisible());
    EXPECT_TRUE(History().isEmpty());
    EXPECT_TRUE(boxes.boxes.empty());

    w->BitBtn8Click();  // "Minimizar"
    EXPECT_TRUE(w->IsActive());
}

TEST_F(DailyRunTest, TheCloseBoxOfAnInactivePlayerAsksAndOnOkWritesTheTwoClosingLines) {
    ShowWindow();
    boxes.answers = {true};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(History(), QStringList({"*** SISTEMA DESLIGADO ***", QString(37, '=')}));
}

TEST_F(DailyRunTest, DesligarSonarisRemovesTheEntryAndEndsWithoutClosingLines) {
    ShowWindow();
    w->Button1Click();
    ClearHistory();
    w->DesligarSonaris2Click();
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));

    // The end of the program closes the window without the question of the close box.
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(History().isEmpty());
}

TEST_F(DailyRunTest, TheLetterCShowsTheStreamAddress) {
    w->FormKeyPress('x');
    EXPECT_TRUE(boxes.boxes.empty());
    w->FormKeyPress('c');
    w->FormKeyPress('C');
    EXPECT_EQ(boxes.Texts(), QStringList({kUrl, kUrl}));
}

namespace {
// The system's zone for one test, as an installer sets it: the C library reads TZ again.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) : had_(std::getenv("TZ") != nullptr), old_(had_ ? std::getenv("TZ") : "") {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (had_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    void Set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool had_;
    std::string old_;
};
}  // namespace

// The shop's PC came with its zone at UTC; at 10:00 the installer sets it to São Paulo, and the
// wall clock reads 07:00. The window's 18:00 is São Paulo's 18:00 from then on, not 15:00.
TEST_F(DailyRunTest, AChangeOfTheSystemsZoneDuringTheRunMovesTheCloseToTheNewZonesStop) {
    ScopedZone zone("UTC");
    const QDate day(2026, 12, 8);
    clock.Set(QDateTime(day, QTime(9, 0), Qt::UTC));
    window.reset();
    Create();
    w = window.get();
    w->Button1Click();
    TickGeral(30);
    ASSERT_EQ(PlayerState.WebError, 0);

    zone.Set("America/Sao_Paulo");
    const int saoPaulo = -3 * 3600;
    clock.Set(QDateTime(day, QTime(7, 0), Qt::OffsetFromUTC, saoPaulo));
    TickGeral();
    EXPECT_EQ(w->EstadoFrota().Now, "fora_do_horario");  // 08:00 has not come yet here
    ClearHistory();
    for (const QTime t : {QTime(14, 59, 59), QTime(15, 0, 1), QTime(17, 59, 59)}) {
        clock.Set(QDateTime(day, t, Qt::OffsetFromUTC, saoPaulo));
        TickGeral();
    }
    EXPECT_TRUE(History().filter("PROGRAMADA").isEmpty()) << History().join(" | ").toStdString();
    clock.Set(QDateTime(day, QTime(18, 0, 0, 500), Qt::OffsetFromUTC, saoPaulo));
    TickGeral();
    EXPECT_EQ(History().filter("PROGRAMADA"), QStringList{"Encerrando Conexão PROGRAMADA: 18:00:00"});
}
