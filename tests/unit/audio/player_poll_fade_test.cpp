#include "playerfixture.h"

using namespace soundlib;

namespace {
// One byte per millisecond, so positions and lengths read as milliseconds.
void MillisecondBytes(FakeSoundLib::Channel& c) {
    c.bytesPerSecond = 1000;
    c.length = 2200;
}
}  // namespace

class PlayerPoll : public PlayerTest {
protected:
    FakeSoundLib::Channel& PlayMsFile() {
        lib.onCreate = MillisecondBytes;
        return PlayFile();
    }
};

TEST_F(PlayerPoll, TickDuringPlaybackDoesNothing) {
    auto& c = PlayMsFile();
    c.position = 1000;
    player->Poll();
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(player->IsPlaying());
}

TEST_F(PlayerPoll, EndedOrStalledChannelStopsOnce) {
    auto& c = PlayMsFile();
    lib.EndChannel(c.handle);
    player->Poll();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(player->IsPlaying());

    auto& d = PlayMsFile();
    lib.StallChannel(d.handle);
    player->Poll();
    EXPECT_EQ(stops, 2) << "a stalled stream ends playback like the end of a file";
}

TEST_F(PlayerPoll, PositionAtTheLengthStops) {
    auto& c = PlayMsFile();
    c.position = 2200;
    player->Poll();
    EXPECT_EQ(stops, 1);
}

TEST_F(PlayerPoll, StreamOfUnknownLengthNeverEndsByPosition) {
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    player->Play();
    auto* c = lib.Find(player->Channel);
    c->position = 3600ull * 176400;  // an hour in
    player->Poll();
    EXPECT_EQ(stops, 0);
    EXPECT_GT(player->GetLength(), 24000000u) << "all bits set converts as 4,294,967,295 bytes";
}

TEST_F(PlayerPoll, FadeThatReachesSilenceStopsTwiceInOneTick) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    ASSERT_TRUE(player->IsFading());
    c.volume = 4;
    player->Poll();
    EXPECT_EQ(stops, 2);
}

TEST_F(PlayerPoll, RestartFromTheFirstStopHandlerEndsTheTick) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    c.volume = 3;
    player->OnStop = [this](TZorvanBass*) {
        if (++stops == 1) player->Play();
    };
    player->Poll();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(player->IsPlaying());
}

TEST_F(PlayerPoll, SlideThatEndedBetweenTicksStopsOnce) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    lib.FinishSlide(c.handle);
    player->Poll();
    EXPECT_EQ(stops, 1);
}

TEST_F(PlayerPoll, StuckFadeStopsAfterFiftyOneStillTicks) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    c.volume = 60;
    for (int i = 0; i < 51; ++i) player->Poll();  // first tick sees a change, then 50 still
    EXPECT_EQ(stops, 0);
    player->Poll();
    EXPECT_EQ(stops, 2) << "the still rule and the inactive channel";
}

TEST_F(PlayerPoll, MovingFadeResetsTheStillCount) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    c.volume = 60;
    for (int i = 0; i < 40; ++i) player->Poll();
    c.volume = 59;
    for (int i = 0; i < 40; ++i) player->Poll();
    EXPECT_EQ(stops, 0);
}

using PlayerFade = PlayerPoll;

TEST_F(PlayerFade, FadeIsShortenedToEndBeforeTheTrack) {
    auto& c = PlayMsFile();
    c.position = 1600;  // 600 ms left
    player->FadeOut(1500);
    EXPECT_TRUE(c.sliding);
    EXPECT_EQ(c.slideTime, 550u);
    EXPECT_EQ(lib.calls.back(), "BASS_ChannelSlideAttributes " + std::to_string(c.handle) + " -1 -2 -101 550");
    EXPECT_EQ(stops, 0);
}

TEST_F(PlayerFade, FullFadeWhenTheTrackIsLongEnough) {
    auto& c = PlayMsFile();
    player->FadeOut(1500);
    EXPECT_EQ(c.slideTime, 1500u);
}

TEST_F(PlayerFade, ShortestRemainderStopsAtOnce) {
    auto& c = PlayMsFile();
    c.position = 2200 - 60;  // 10 ms of fade remain
    player->FadeOut(1500);
    EXPECT_EQ(c.slideTime, 10u);
    EXPECT_EQ(stops, 0);

    auto& d = PlayMsFile();
    d.position = 2200 - 59;
    player->FadeOut(1500);
    EXPECT_FALSE(d.sliding);
    EXPECT_EQ(stops, 2) << "one for the reload over the first, one for the stop";
    EXPECT_FALSE(player->IsPlaying());
}

TEST_F(PlayerFade, PastTheEndStopsAtOnce) {
    auto& c = PlayMsFile();
    c.position = 2200;
    player->FadeOut(1500);
    EXPECT_FALSE(c.sliding);
    EXPECT_EQ(stops, 1);
}

TEST_F(PlayerFade, InactiveChannelStopsAndIdlePlayerIgnoresIt) {
    auto& c = PlayMsFile();
    lib.EndChannel(c.handle);
    player->FadeOut(1500);
    EXPECT_EQ(stops, 1);
    player->FadeOut(1500);  // not playing any more
    EXPECT_EQ(stops, 1);
}
