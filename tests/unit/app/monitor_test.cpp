// The connection monitor's reading of the buffer, the giving up of an empty stream, and the
// two volume ramps.
#include "app/connection.h"
#include "ui_usom.h"
#include "controllerfixture.h"

#include <QAbstractEventDispatcher>

class MonitorTest : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        ActivateAndConnect();
        w->timer_aumentarvolume->stop();
        ClearHistory();
    }
    // Ramp volumes set on the stream, one per tick, until the ramp stops itself (at most 200).
    std::vector<int> RampUp() {
        std::vector<int> volumes;
        for (int i = 0; i < 200 && w->timer_aumentarvolume->isActive(); ++i) {
            w->timer_aumentarvolumeTimer();
            volumes.push_back(int(WebChannel()->volume));
        }
        return volumes;
    }
    std::vector<int> RampDown() {
        std::vector<int> volumes;
        for (int i = 0; i < 200 && w->timer_DiminuirVolume->isActive(); ++i) {
            w->timer_DiminuirVolumeTimer();
            volumes.push_back(int(WebChannel()->volume));
        }
        return volumes;
    }
    static std::vector<int> Steps(int from, int step, int below) {
        std::vector<int> v;
        for (int x = from; x < below; x += step) v.push_back(x);
        return v;
    }
};

TEST_F(MonitorTest, AFullBufferIsStable) {
    SetFill(95);
    lib.SetLevel(w->WebPlayer->Channel, 32768, 0);
    TickMeter();
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Estabilizada...");
    EXPECT_EQ(w->ui->ProgressBar1->value(), 0);
    EXPECT_EQ(PlayerState.BufferMark, 150);
    EXPECT_EQ(w->ui->meter1->Position(), 100);  // 32768 / 200, held to the gauge's range
    EXPECT_EQ(w->ui->meter2->Position(), 100);

    // 90 is not stable, and too full for the waiting message.
    PlayerState.StallTicks = 25;
    w->ui->Label10->setText("-");
    SetFill(90);
    TickMeter();
    EXPECT_EQ(w->ui->Label10->text(), "-");
    EXPECT_EQ(PlayerState.BufferMark, 90);
}

TEST_F(MonitorTest, ADrainingBufferShowsTheWaitingMessageFromThe21stTickWithoutGrowth) {
    for (int i = 0; i <= 20; ++i) {  // 80 grows from nothing, then 20 ticks without growth
        SetFill(80 - i);
        TickMeter();
        EXPECT_NE(w->ui->Label10->text(), "PRONTO...Aguardando Servidor...") << i;
    }
    SetFill(59);
    TickMeter();
    EXPECT_EQ(PlayerState.StallTicks, 21);
    EXPECT_EQ(w->ui->Label10->text(), "PRONTO...Aguardando Servidor...");
    EXPECT_EQ(w->ui->ProgressBar1->value(), 41);

    for (int i = 0; i < 10; ++i) {  // above 30 the count is pulled back to 2
        SetFill(58 - i);
        TickMeter();
    }
    EXPECT_EQ(PlayerState.StallTicks, 2);
}

TEST_F(MonitorTest, The36thEmptyTickGivesTheStreamUpAndStartsLocalMusic) {
    PutMusic({"A.MP3", "B.MP3"});
    ClearHistory();
    SetFill(0);
    TickMeter(35);
    EXPECT_TRUE(History().isEmpty());
    EXPECT_EQ(PlayerState.WebError, 0);

    TickMeter();
    EXPECT_EQ(History(), QStringList({"Encerrando Conexão - Motivo: Instabilidade Rede", "PLAY MÚSICAS LOCAIS  -  Play Local 882"}));
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(WebChannel()->slideTime, 1000u);
    EXPECT_TRUE(w->WebPlayer->RewindOnStop);
    EXPECT_TRUE(w->timer_DiminuirVolume->isActive());
    EXPECT_EQ(w->ui->Label10->text(), "Executando músicas LOCAIS");
    EXPECT_EQ(w->ui->ProgressBar1->value(), 0);
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    // The stream still counts as playing while it fades: the flush command is refused.
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.Texts().last(), "Para atualizar os Servidores será necessário desativar o player");

    TickMeter(5);  // fading: the giving-up text again, nothing more
    EXPECT_EQ(w->ui->Label10->text(), "Instabilidade na Conexão - Acionando MÚSICAS LOCAIS...");
    EXPECT_EQ(w->ui->ProgressBar1->value(), 101);
    EXPECT_EQ(History().size(), 2);

    // The fade's end stops the stream: the monitor goes until the next local track.
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_FALSE(w->timer_meter->Enabled());
    EXPECT_EQ(History().size(), 3);  // "STOP -  Sonaris", and no second track
}

TEST_F(MonitorTest, AFillAlternatingBetweenEmptyAndOneNeverGivesUp) {
    for (int i = 0; i < 200; ++i) {
        SetFill(i % 2);
        TickMeter();
    }
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_TRUE(History().isEmpty());
}

TEST_F(MonitorTest, OutsideTheWindowAnEmptyStreamIsGivenUpWithoutLocalMusic) {
    PutMusic({"A.MP3"});
    ClearHistory();
    At(19, 0);
    SetFill(0);
    TickMeter(36);
    EXPECT_EQ(History(), QStringList({"Encerrando Conexão - Motivo: Instabilidade Rede"}));
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(w->ui->Label10->text(), "Instabilidade na Conexão - Acionando MÚSICAS LOCAIS...");
}

TEST_F(MonitorTest, AfterADropOneEmptyTickOfTheNextStreamGivesItUpAtOnceAndStopsItsFadeIn) {
    SetFill(0);
    TickMeter(36);
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    RampDown();
    TickGeral(121);
    ASSERT_EQ(PlayerState.WebError, 0);
    ASSERT_TRUE(w->timer_aumentarvolume->isActive());
    ClearHistory();

    SetFill(100);
    TickMeter();
    SetFill(0);
    TickMeter();
    EXPECT_EQ(History(), QStringList({"Encerrando Conexão - Motivo: Instabilidade Rede"}));
    // Both ramps at once would pull against each other for ever.
    EXPECT_FALSE(w->timer_aumentarvolume->isActive());
    EXPECT_TRUE(w->timer_DiminuirVolume->isActive());
}

TEST_F(MonitorTest, TheFadeInFromSilenceTakes25StepsOf4) {
    PlayerState.RampVolume = 0;
    w->timer_aumentarvolume->start();
    std::vector<int> expected = Steps(4, 4, 100);
    expected.push_back(100);
    EXPECT_EQ(RampUp(), expected);
    EXPECT_EQ(expected.size(), 25u);
    EXPECT_EQ(PlayerState.RampVolume, 100);
    EXPECT_EQ(w->ui->meter2->Position(), 96);  // the last tick leaves the bar alone
}

TEST_F(MonitorTest, TheFadeDownTakes25StepsAndEndsSilent) {
    PlayerState.RampVolume = 100;
    w->timer_DiminuirVolume->start();
    std::vector<int> expected;
    for (int x = 96; x > 3; x -= 4) expected.push_back(x);
    expected.push_back(0);
    EXPECT_EQ(RampDown(), expected);
    EXPECT_EQ(expected.size(), 25u);
    EXPECT_EQ(PlayerState.RampVolume, 0);
}

TEST_F(MonitorTest, TheRampStepFollowsTheNormalVolumeAndNeverStandsStill) {
    PlayerState.NormalVolume = 50;
    EXPECT_EQ(w->RampStep(), 2);
    PlayerState.RampVolume = 0;
    w->timer_aumentarvolume->start();
    std::vector<int> expected = Steps(2, 2, 50);
    expected.push_back(50);
    EXPECT_EQ(RampUp(), expected);

    for (int volume : {21, 20, 2, 0}) {
        PlayerState.NormalVolume = volume;
        EXPECT_EQ(w->RampStep(), 1) << volume;
    }
    PlayerState.NormalVolume = 20;
    PlayerState.RampVolume = 0;
    w->timer_aumentarvolume->start();
    expected = Steps(1, 1, 20);
    expected.push_back(20);
    EXPECT_EQ(RampUp(), expected);
    EXPECT_FALSE(w->timer_aumentarvolume->isActive());

    w->timer_DiminuirVolume->start();
    EXPECT_EQ(RampDown().back(), 0);
    EXPECT_FALSE(w->timer_DiminuirVolume->isActive());
    EXPECT_EQ(PlayerState.RampVolume, 3);
}

TEST_F(MonitorTest, WithOnlyALocalTrackTheGaugeShowsItsLevel) {
    lib.EndChannel(w->WebPlayer->Channel);
    w->WebPlayer->Poll();  // falls back: no music, nothing plays
    PutMusic({"A.MP3"});
    w->BitBtn14Click();
    lib.SetLevel(w->LocalPlayer->Channel, 10000, 0);
    w->ui->ProgressBar1->setValue(50);
    TickMeter();
    EXPECT_EQ(w->ui->meter1->Position(), 50);
    EXPECT_EQ(w->ui->ProgressBar1->value(), 0);
}

// In the tray a steady stream lets the monitor's thread sleep: only while its tick would change
// nothing but the level gauge, and only until the player's watch (buffer or sound) or anything
// the window's thread did says otherwise; shown again, the window has the monitor back at once.
TEST_F(MonitorTest, InTheTrayTheMonitorRestsOnlyWhileItsTickWouldChangeNothing) {
    lib.wakeWatches = true;
    const auto windowThreadSleeps = [] { emit QAbstractEventDispatcher::instance()->aboutToBlock(); };
    const soundlib::HSTREAM web = w->WebPlayer->Channel;
    SetFill(95);
    TickMeter();
    windowThreadSleeps();  // the window was never shown: nobody sees it
    ASSERT_TRUE(w->Connection->MonitorRests());
    EXPECT_EQ(lib.Find(web)->wakeFill, 90u);  // a fill of 90 is no longer stable
    EXPECT_GT(lib.Find(web)->wakeQuietPeak, 0u);

    lib.FireWakeWatch(web);  // the buffer fell, or the sound went quiet
    EXPECT_FALSE(w->Connection->MonitorRests());
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests()) << "rests again only after the tick the watch asked for";
    TickMeter();
    windowThreadSleeps();
    EXPECT_TRUE(w->Connection->MonitorRests());

    // Whatever else moved what the tick writes wakes it: the status line, a volume, the counts.
    w->ui->Label10->setText("Status");
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests());
    TickMeter();
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Estabilizada...");
    windowThreadSleeps();
    EXPECT_TRUE(w->Connection->MonitorRests());
    w->WebPlayer->SetVolume(60);
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests());
    TickMeter();
    windowThreadSleeps();
    ASSERT_TRUE(w->Connection->MonitorRests());
    SetFill(80);  // seen by the window's thread before the watch told
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests());
    TickMeter();
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests()) << "a tick that counts a stall is owed its successor";
    SetFill(95);
    TickMeter();
    windowThreadSleeps();
    ASSERT_TRUE(w->Connection->MonitorRests());

    w->show();
    windowThreadSleeps();
    EXPECT_FALSE(w->Connection->MonitorRests());
}
