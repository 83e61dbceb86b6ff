// The end of the shop's day: the scheduled close after the stream dropped and came back, and
// the weekly line of each new date for a player left running over night. The stream player
// is the real player object on the fake library, so its stop events come in the order the
// real library makes them: the ended stream's auto-free, then the reconnection's own close of
// the freed handle and Load's second free.
#include "ui_usom.h"
#include "controllerfixture.h"

namespace {
int Attempts(const FakeSoundLib& lib) { return lib.CountCalls("BASS_AAC_StreamCreateURL"); }
}  // namespace

class DayCloseTest : public ControllerFixture {
protected:
    // The station dies under a playing stream; the player's poll finds the freed channel.
    void DropStream() {
        lib.EndChannel(w->WebPlayer->Channel);
        w->WebPlayer->Poll();
    }
    int CloseLines() const { return int(History().filter("Encerrando Conexão PROGRAMADA: ").size()); }
};

TEST_F(DayCloseTest, AStreamThatCameBackAfterADropIsClosedAtTheStopTime) {
    PutMusic({"A.MP3", "B.MP3"});
    ActivateAndConnect();
    DropStream();
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    ClearHistory();
    TickGeral(121);  // the station is back: the stream is held under the local track
    ASSERT_EQ(PlayerState.WebError, 0);
    // The reconnection's own stop events, as the real library raises them (its history in
    // the end-to-end run reads the same).
    EXPECT_EQ(History(), QStringList({"STOP -  Sonaris", "Carregando Sonaris", "STOP -  Sonaris", "Sonaris"}));
    EndLocalTrack();
    ASSERT_EQ(History().last(), "Sonaris - No AR");
    ClearHistory();

    At(18, 0, 0);
    TickGeral();
    EXPECT_TRUE(History().isEmpty());

    At(18, 0, 1);
    TickGeral();
    EXPECT_EQ(History().value(0), "Encerrando Conexão PROGRAMADA: 18:00:01");
    EXPECT_EQ(CloseLines(), 1);
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Fechada");
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(WebChannel()->slideTime, 1500u);

    TickGeral(20);  // the fading stream owes no second close
    EXPECT_EQ(CloseLines(), 1);
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    TickGeral(20);
    EXPECT_EQ(CloseLines(), 1);
    EXPECT_FALSE(w->WebPlayer->IsPlaying());
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
}

TEST_F(DayCloseTest, AStreamHeldUnderALocalTrackAtTheStopTimeClosesBoth) {
    PutMusic({"A.MP3", "B.MP3"});
    ActivateAndConnect();
    DropStream();
    TickGeral(121);
    ASSERT_EQ(PlayerState.WebError, 0);
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());

    At(18, 0, 1);
    TickGeral();
    EXPECT_EQ(CloseLines(), 1);
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_TRUE(LocalChannel()->sliding);
    EXPECT_EQ(LocalChannel()->slideTime, 1500u);
}

TEST_F(DayCloseTest, ActivatedAfterTheStopTimeWithNothingPlayingNoCloseIsWritten) {
    At(19, 0);
    w->Button1Click();
    TickGeral(50);
    EXPECT_EQ(CloseLines(), 0);
}

// 2026-12-12 is a Saturday.
class NewDateTest : public DayCloseTest {
protected:
    void SetUp() override {
        clock.Set(QDateTime(QDate(2026, 12, 12), QTime(10, 0)));
        QStringList week(7, "|08:00:00|18:00:00|0|0");
        week[0] = sunday;  // line 1 is Sunday
        week[6] = saturday;
        WriteFile("CFG.ACI", week);
        Create();
        w = window.get();
    }
    void OnSunday(const QTime& t) { clock.Set(QDateTime(QDate(2026, 12, 13), t)); }
    // The stream's fade at the close comes to its end.
    void FadeEnds() {
        lib.FinishSlide(w->WebPlayer->Channel);
        w->WebPlayer->Poll();
    }
    QString sunday = "||||";
    QString saturday = "|08:00:00|18:00:00|0|0";
};

TEST_F(NewDateTest, ASundayWithoutAWindowStaysSilentAfterAPlayingSaturday) {
    ActivateAndConnect();
    At(18, 0, 1);
    TickGeral();
    ASSERT_EQ(CloseLines(), 1);
    FadeEnds();
    ClearHistory();

    OnSunday(QTime(0, 0, 1));
    TickGeral();
    EXPECT_EQ(PlayerState.TodayStop, QTime(0, 0));
    EXPECT_EQ(w->ui->Label13->text(), "00:00:00");
    EXPECT_EQ(w->ui->Label15->text(), "00:00:00");
    EXPECT_EQ(w->ui->Label10->text(), QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO..."));

    OnSunday(QTime(10, 0));
    TickGeral(500);
    EXPECT_EQ(Attempts(lib), 1);  // Saturday's only
    EXPECT_TRUE(History().isEmpty()) << History().join(" | ").toStdString();
}

class NewDateOtherWindowTest : public NewDateTest {
protected:
    NewDateOtherWindowTest() { sunday = "|12:00:00|14:00:00|0|0"; }
};

TEST_F(NewDateOtherWindowTest, TheNextDayOpensAndClosesAtItsOwnTimes) {
    ActivateAndConnect();
    // A week saved meanwhile applies from the next start, not from the next date.
    WriteFile("CFG.ACI", QStringList(7, "|09:00:00|10:00:00|0|0"));
    At(18, 0, 1);
    TickGeral();
    FadeEnds();

    OnSunday(QTime(10, 0));
    TickGeral(300);  // inside Saturday's window, outside Sunday's
    EXPECT_EQ(w->ui->Label13->text(), "12:00:00");
    EXPECT_EQ(w->ui->Label15->text(), "14:00:00");
    EXPECT_EQ(Attempts(lib), 1);

    OnSunday(QTime(12, 0));
    TickGeral(121);
    EXPECT_EQ(Attempts(lib), 2);
    EXPECT_EQ(PlayerState.WebError, 0);

    OnSunday(QTime(14, 0, 1));
    TickGeral();
    EXPECT_TRUE(History().contains("Encerrando Conexão PROGRAMADA: 14:00:01"));
    EXPECT_TRUE(WebChannel()->sliding);
}

class LateSaturdayTest : public NewDateOtherWindowTest {
protected:
    LateSaturdayTest() { saturday = "|08:00:00|23:59:59|0|0"; }
};

TEST_F(LateSaturdayTest, ARunHeldBackPastMidnightClosesTheOldDayBeforeReadingTheNewOne) {
    // An attempt that took the last seconds of Saturday: the next tick is already on Sunday,
    // whose window only opens at noon.
    ActivateAndConnect();
    At(23, 59, 50);
    TickGeral();
    ClearHistory();

    OnSunday(QTime(0, 0, 5));
    TickGeral();
    EXPECT_EQ(History().value(0), "Encerrando Conexão PROGRAMADA: 00:00:05");
    EXPECT_EQ(History().filter("RESUMO DO DIA").size(), 1);  // the close's, none more at midnight
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(PlayerState.TodayStart, QTime(12, 0));
}
