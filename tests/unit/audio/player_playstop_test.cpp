#include "playerfixture.h"

#include "ui/thdtimer.h"

using namespace soundlib;

using PlayerPlayStop = PlayerTest;

TEST_F(PlayerPlayStop, PlayStartsWithTheStoredAttributesAndCounts) {
    auto& c = PlayFile();
    EXPECT_EQ(c.active, BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_TRUE(player->PollTimer->Enabled());
    EXPECT_EQ(TZorvanBass::PlayingCount, 1);
    EXPECT_EQ(TZorvanBass::PlaysSinceUpdate, 1);
    EXPECT_EQ(c.loopFlags, 0u);
}

TEST_F(PlayerPlayStop, SetVolumeBeforeLoadChangesNothing) {
    player->SetVolume(80);
    lib.onCreate = [](FakeSoundLib::Channel& c) { c.volume = 100; };
    auto& c = PlayFile();
    EXPECT_EQ(c.volume, 100u);
    player->SetVolume(30);
    EXPECT_EQ(c.volume, 30u);
    EXPECT_EQ(player->GetVolume(), 30u);
}

TEST_F(PlayerPlayStop, PlayOnAPlayingChannelDoesNothing) {
    PlayFile();
    const int plays = lib.CountCalls("BASS_ChannelPlay");
    player->Play();
    EXPECT_EQ(lib.CountCalls("BASS_ChannelPlay"), plays);
    EXPECT_EQ(TZorvanBass::PlayingCount, 1);
}

TEST_F(PlayerPlayStop, PlayOnAStalledChannelResumesWithoutRewinding) {
    auto& c = PlayFile();
    c.position = 50000;
    lib.StallChannel(c.handle);
    player->Play();
    EXPECT_EQ(c.active, BASS_ACTIVE_PLAYING);
    EXPECT_EQ(c.position, 50000u);
    EXPECT_EQ(TZorvanBass::PlayingCount, 2);
}

TEST_F(PlayerPlayStop, StopRewindsAndRaisesOnStopEvenWhenNotPlaying) {
    auto& c = PlayFile();
    c.position = 1000;
    player->Stop();
    EXPECT_EQ(c.position, 0u);
    EXPECT_EQ(c.active, BASS_ACTIVE_STOPPED);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(TZorvanBass::PlayingCount, 0);
    EXPECT_FALSE(player->PollTimer->Enabled());

    player->Stop();  // loaded, not playing
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(TZorvanBass::PlayingCount, -1) << "every stop of an inactive channel counts down";
}

TEST_F(PlayerPlayStop, StopWithoutRewindKeepsThePosition) {
    auto& c = PlayFile();
    c.position = 1000;
    player->RewindOnStop = false;
    player->Stop();
    EXPECT_EQ(c.position, 1000u);
}

TEST_F(PlayerPlayStop, StopOnAnEmptyPlayerRaisesNothing) {
    player->Stop();
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(lib.CountCalls("BASS_ChannelStop"), 0);
}

TEST_F(PlayerPlayStop, CloseFreesAndCountsDown) {
    auto& c = PlayFile();
    player->Close();
    EXPECT_TRUE(c.freed);
    EXPECT_FALSE(player->Loaded);
    EXPECT_EQ(player->Channel, 0u);
    EXPECT_EQ(TZorvanBass::LoadedCount, 0);
    EXPECT_EQ(TZorvanBass::PlayingCount, 0);
    EXPECT_EQ(stops, 0);
    EXPECT_FALSE(player->PollTimer->Enabled());
}

TEST_F(PlayerPlayStop, CloseRetriesARefusedFreeAndRaisesOnStop) {
    auto& c = PlayFile();
    c.freeFailures = 1;
    player->Close();
    EXPECT_TRUE(c.freed);
    EXPECT_FALSE(player->Loaded);
    EXPECT_EQ(stops, 1);

    auto& d = PlayFile(QStringLiteral("/music/B.MP3"));
    d.freeFailures = 2;
    player->Close();
    EXPECT_FALSE(d.freed);
    EXPECT_TRUE(player->Loaded) << "both attempts failed: the channel is still held";
    EXPECT_EQ(stops, 2);
}

TEST_F(PlayerPlayStop, LostHandleIsReloadedWithTheAttributesOfTheReload) {
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    const HSTREAM first = player->Channel;
    player->SetVolume(20);
    lib.EndChannel(first);  // an auto-free stream that ended is gone
    lib.onCreate = [](FakeSoundLib::Channel& c) { c.volume = 100; };
    player->Play();
    ASSERT_NE(player->Channel, first);
    auto* again = lib.Find(player->Channel);
    EXPECT_EQ(again->source, "http://127.0.0.1:9500");
    EXPECT_EQ(again->active, BASS_ACTIVE_PLAYING);
    EXPECT_EQ(again->volume, 100u) << "the volume set before Play is not carried over";
    EXPECT_TRUE(player->IsPlaying());
    // The lost handle cannot be freed: Play's Close and the reload's Close each needed their
    // second attempt.
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(TZorvanBass::PlayingCount, 1);
}

TEST_F(PlayerPlayStop, OtherPlayErrorsAreNotReloads) {
    player->Load(QStringLiteral("/music/A.MP3"));
    lib.playError = BASS_ERROR_START;
    player->Play();
    EXPECT_EQ(lib.CountCalls("BASS_StreamCreateFile"), 1);
    EXPECT_TRUE(player->Playing);
}

TEST_F(PlayerPlayStop, DestroyFreesTheChannelAndCountsDown) {
    auto& c = PlayFile();
    EXPECT_EQ(TZorvanBass::CreatedCount, 1);
    player.reset();
    EXPECT_TRUE(c.freed);
    EXPECT_EQ(TZorvanBass::CreatedCount, 0);
    EXPECT_EQ(stops, 0);
}
