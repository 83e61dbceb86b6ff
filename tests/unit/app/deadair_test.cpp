// A connected stream that carries silence: given up after SILENCIO_SEGUNDOS of sound under
// SILENCIO_DB while it plays, and not switched to at the end of a local track when it was
// silent all the while it was held. The fake library's decoded peak is the scripted sound;
// each monitor tick moves the clock by its 100 ms.
#include "ui_usom.h"
#include "controllerfixture.h"

namespace {
constexpr soundlib::DWORD kQuiet = 100;  // -50.3 dBFS
constexpr soundlib::DWORD kSoft = 104;   // -49.9 dBFS
const QString kSilenceStatus = QStringLiteral("Silêncio na Transmissão - Acionando MÚSICAS LOCAIS...");
const QString kSilenceHistory = QStringLiteral("SILÊNCIO NA TRANSMISSÃO - Sonaris");
}  // namespace

class DeadAirTest : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) {
            clock.Advance(100);
            TickMeter();
        }
    }
    void Sound(DWORD peak) { WebChannel()->decodedPeak = peak; }
    // Activation with the station failing, so that a local track plays; then the station
    // opens and its stream waits, held at volume 0, for the track's end.
    void ConnectBehindALocalTrack() {
        lib.createError["http://127.0.0.1:9500"] = soundlib::BASS_ERROR_NONET;
        w->Button1Click();
        TickGeral(26);
        ASSERT_TRUE(w->LocalPlayer->IsPlaying()) << History().join(" | ").toStdString();
        lib.createError.clear();
        TickGeral(121);
        ASSERT_EQ(PlayerState.WebError, 0);
        SetFill(100);
        ClearHistory();
    }
};

TEST_F(DeadAirTest, APlayingStreamUnderTheThresholdFor30SecondsIsGivenUpTheMonitorsWay) {
    ActivateAndConnect();
    SetFill(95);
    ClearHistory();
    Sound(kQuiet);
    Ticks(150);
    Sound(kSoft);  // one reading at the threshold starts the count again
    Ticks(1);
    Sound(kQuiet);
    Ticks(299);
    EXPECT_TRUE(History().isEmpty());
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Estabilizada...");

    Ticks(1);  // 30 s under the threshold
    EXPECT_EQ(History(), QStringList({kSilenceHistory, "PLAY MÚSICAS LOCAIS  -  Play Local 882"}));
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(WebChannel()->slideTime, 1000u);
    EXPECT_TRUE(w->timer_DiminuirVolume->isActive());
    EXPECT_FALSE(w->timer_aumentarvolume->isActive());
    EXPECT_EQ(w->ui->Label10->text(), "Executando músicas LOCAIS");

    Ticks(5);  // fading with a full buffer: the giving-up text stays, nothing more happens
    EXPECT_EQ(w->ui->Label10->text(), kSilenceStatus);
    EXPECT_EQ(History().size(), 2);
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_EQ(History().last(), "STOP -  Sonaris");

    // The next attempt comes on the usual schedule, and the new stream starts with a clean count.
    TickGeral(121);
    ASSERT_EQ(PlayerState.WebError, 0);
    EXPECT_EQ(History().last(), "Sonaris");
    Sound(kQuiet);
    Ticks(299);
    EXPECT_EQ(PlayerState.WebError, 0);
}

TEST_F(DeadAirTest, ZeroSecondsSwitchTheWatchOff) {
    PlayerState.SilenceSeconds = 0;
    ActivateAndConnect();
    SetFill(95);
    Sound(0);
    Ticks(1000);
    EXPECT_EQ(PlayerState.WebError, 0);
}

TEST_F(DeadAirTest, OutsideTheWindowASilentStreamIsLeftToTheClose) {
    ActivateAndConnect();
    SetFill(95);
    Sound(0);
    At(18, 0, 1);
    Ticks(400);
    EXPECT_EQ(PlayerState.WebError, 0);
}

TEST_F(DeadAirTest, AHeldStreamSilentSinceItConnectedIsGivenUpAtTheTracksEndAndLocalMusicGoesOn) {
    ConnectBehindALocalTrack();
    Sound(0);
    Ticks(100);  // 10 s, all of its life
    const QString before = Playing();
    EndLocalTrack();
    EXPECT_EQ(History(), QStringList({kSilenceHistory, "PLAY MÚSICAS LOCAIS  -  Stop Música 1000"}));
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_NE(Playing(), before);
    EXPECT_TRUE(WebChannel()->sliding);
    // The fade-down starts from the held volume: the stream is never brought up.
    for (int i = 0; i < 50 && w->timer_DiminuirVolume->isActive(); ++i) {
        w->timer_DiminuirVolumeTimer();
        EXPECT_EQ(WebChannel()->volume, 0u) << i;
    }
    EXPECT_FALSE(w->timer_DiminuirVolume->isActive());
}

TEST_F(DeadAirTest, AHeldStreamIsSwitchedToWhenItHadSoundInTheLast30SecondsOrIsNewerThan10) {
    ConnectBehindALocalTrack();
    Sound(0);
    Ticks(99);  // 9.9 s since it connected
    EndLocalTrack();
    EXPECT_EQ(History(), QStringList({"Sonaris - No AR"}));

    // Held again behind a track by hand: sound 29.9 s ago is recent enough...
    w->BitBtn14Click();
    Sound(kSoft);
    Ticks(1);
    Sound(kQuiet);
    Ticks(299);
    ClearHistory();
    EndLocalTrack();
    EXPECT_EQ(History(), QStringList({"Sonaris - No AR"}));

    // ...30 s of silence are not.
    w->BitBtn14Click();
    Ticks(2);
    ClearHistory();
    EndLocalTrack();
    EXPECT_EQ(History().first(), kSilenceHistory);
    EXPECT_EQ(PlayerState.WebError, -1);
}

// A speaker or TV switched off: nothing goes out, so the library measures nothing. That is not
// the stream's silence: a good stream stays, and no drop is counted, however long it lasts;
// and a stream quiet before the loss is judged on what is heard, not on the minute away.
TEST_F(DeadAirTest, TheOutputLostForAMinuteIsNotTheStreamsSilence) {
    ActivateAndConnect();
    SetFill(95);
    ClearHistory();
    lib.LoseOutput(1);
    Ticks(600);
    lib.RestoreOutput(1, "TV");
    Ticks(10);
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_TRUE(History().isEmpty()) << History().join(" | ").toStdString();
    EXPECT_FALSE(WebChannel()->sliding);

    Sound(kQuiet);
    Ticks(200);
    lib.LoseOutput(1);
    Ticks(600);
    lib.RestoreOutput(1, "TV");
    Ticks(99);
    EXPECT_EQ(PlayerState.WebError, 0) << "20 s quiet before the loss and 10 s after are not 30 s";
    Ticks(1);
    EXPECT_EQ(History().first(), kSilenceHistory);
    EXPECT_TRUE(w->Run->DayAccount.TakeLine().endsWith("Quedas: 1"));
}
