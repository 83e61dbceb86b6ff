// The sound output goes away and comes back, on a real PulseAudio server of the test's own:
// the server killed and started again, and its only sink unloaded and loaded again.
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/outputgap.h"
#include "tests/integration/audio/pulseserver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace soundlib;
using namespace audiotest;

TEST(OutputLoss, KilledServerIsNoticedAndTheTrackGoesOnWhereItWasOnceItIsBack) {
    const GapRun run = RunServerGap(2000);
    ASSERT_TRUE(run.started);
    std::printf("noticed_ms=%.0f reopened_s=%.3f sound_back_s=%.3f position_error_ms=%.1f\n", run.noticedMs,
                run.reopenedSeconds, run.soundBackSeconds, run.positionErrorMs);
    EXPECT_GE(run.noticedMs, 0);
    EXPECT_LE(run.noticedMs, 1000);
    EXPECT_TRUE(run.positionHeld);
    EXPECT_TRUE(run.levelsSilent);
    EXPECT_GE(run.reopenedSeconds, 0);
    EXPECT_LE(run.reopenedSeconds, 3.0);
    EXPECT_GE(run.soundBackSeconds, 0);
    EXPECT_LE(run.soundBackSeconds, 3.0);
    EXPECT_FALSE(run.lostAfter);
    EXPECT_EQ(run.nameAfter, PulseServer::kSinkDescription);
    // What was mixed and still in the server's buffer when it died is not heard again.
    EXPECT_LT(std::fabs(run.positionErrorMs), 250.0);
}

TEST(OutputLoss, SinkThatGoesAndComesBackIsOpenedAgainByItsName) {
    PulseServer pulse;
    pulse.UseThisServer();
    TempDir dir;
    WriteToneWav(dir.File("tone.wav"), Tone{44100, 2, 16, 1000.0, 0.5, 30.0});
    RealSoundLib lib;
    ASSERT_TRUE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));
    HSTREAM channel = lib.BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    ASSERT_NE(channel, 0u);
    pulse.StartRecording("before.raw");
    ASSERT_TRUE(lib.BASS_ChannelPlay(channel, false));
    ASSERT_TRUE(WaitUntil(5000, [&] { return pulse.SecondsToFirstSound("before.raw") >= 0; }));

    ASSERT_TRUE(pulse.UnloadSink());
    EXPECT_TRUE(WaitUntil(1000, [&] { return lib.GetOutputStatus(1).lost; }));
    Wait(500);
    const QWORD held = lib.BASS_ChannelGetPosition(channel);
    Wait(1000);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(channel), held);

    ASSERT_TRUE(pulse.LoadSink());
    pulse.StartRecording("after.raw");
    EXPECT_TRUE(WaitUntil(3000, [&] { return !lib.GetOutputStatus(1).lost; }));
    // The monitor of a new null sink takes ~2 s to deliver to its recorder.
    EXPECT_TRUE(WaitUntil(5000, [&] { return pulse.SecondsToFirstSound("after.raw") >= 0; }));
    const OutputStatus status = lib.GetOutputStatus(1);
    EXPECT_FALSE(status.lost);
    EXPECT_EQ(status.name, PulseServer::kSinkDescription);
    EXPECT_EQ(lib.BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
}

TEST(OutputLoss, SoundServerThatComesUpAfterTheLibraryIsReachedAndTheTrackStartsThen) {
    PulseServer pulse;
    pulse.UseThisServer();
    pulse.KillHard();  // as at a logon where the session's sound server starts after the player
    TempDir dir;
    WriteToneWav(dir.File("tone.wav"), Tone{44100, 2, 16, 1000.0, 0.5, 30.0});
    RealSoundLib lib;
    EXPECT_FALSE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    EXPECT_FALSE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));  // the second player hears the same
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    ASSERT_TRUE(lib.BASS_SetDevice(1));
    HSTREAM channel = lib.BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    ASSERT_NE(channel, 0u);
    ASSERT_TRUE(lib.BASS_ChannelPlay(channel, false));
    EXPECT_TRUE(lib.GetOutputStatus(1).lost);
    Wait(1000);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(channel), 0u);

    ASSERT_TRUE(pulse.Start());
    pulse.StartRecording("after.raw");
    EXPECT_TRUE(WaitUntil(3000, [&] { return !lib.GetOutputStatus(1).lost; }));
    EXPECT_TRUE(WaitUntil(5000, [&] { return pulse.SecondsToFirstSound("after.raw") >= 0; }));
    EXPECT_EQ(lib.GetOutputStatus(1).name, PulseServer::kSinkDescription);
}
