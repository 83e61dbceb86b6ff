// The scripted library is what every controller test stands on: its promises are checked here.
#include "tests/support/fakesoundlib.h"

#include <gtest/gtest.h>

using namespace soundlib;

TEST(FakeSoundLib, DevicesInitialiseOnce) {
    FakeSoundLib lib;
    EXPECT_TRUE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(lib.BASS_Init(2, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(lib.BASS_GetDeviceDescription(2), nullptr);
    EXPECT_STREQ(lib.BASS_GetDeviceDescription(1), "Fake output");
}

TEST(FakeSoundLib, HandlesAreNeverReusedAndFreedOnesFailWithBadHandle) {
    FakeSoundLib lib;
    const HSTREAM a = lib.BASS_StreamCreateFile(false, "/a.mp3", 0, 0, 0);
    ASSERT_TRUE(lib.BASS_StreamFree(a));
    const HSTREAM b = lib.BASS_StreamCreateURL("http://x:1", 0, BASS_STREAM_AUTOFREE, nullptr, 0);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_FALSE(lib.BASS_ChannelPlay(a, false));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(lib.BASS_StreamGetFilePosition(0, BASS_FILEPOS_END), BASS_DWORD_ERROR);

    ASSERT_TRUE(lib.BASS_ChannelPlay(b, false));
    lib.EndChannel(b);
    EXPECT_TRUE(lib.Find(b)->freed) << "an auto-free stream is freed at its end";
    EXPECT_EQ(lib.CountCalls("BASS_ChannelPlay"), 2);
}

TEST(FakeSoundLib, ScriptedCreationAndPlayErrors) {
    FakeSoundLib lib;
    lib.createError["/bad.mp3"] = BASS_ERROR_FORMAT;
    lib.failFirstAttemptOnly = true;
    EXPECT_EQ(lib.BASS_StreamCreateFile(false, "/bad.mp3", 0, 0, 0), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    const HSTREAM h = lib.BASS_StreamCreateFile(false, "/bad.mp3", 0, 0, BASS_SAMPLE_SOFTWARE);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_OK);

    lib.playError = BASS_ERROR_START;
    EXPECT_FALSE(lib.BASS_ChannelPlay(h, false));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_START);
    EXPECT_TRUE(lib.BASS_ChannelPlay(h, false)) << "one shot";
}

TEST(FakeSoundLib, SlideRunsUntilFinished) {
    FakeSoundLib lib;
    const HSTREAM h = lib.BASS_StreamCreateFile(false, "/a.mp3", 0, 0, 0);
    lib.BASS_ChannelPlay(h, false);
    lib.BASS_ChannelSlideAttributes(h, -1, -2, -101, 1500);
    EXPECT_EQ(lib.BASS_ChannelIsSliding(h), BASS_SLIDE_VOL);
    lib.FinishSlide(h);
    EXPECT_EQ(lib.BASS_ChannelIsSliding(h), 0u);
    EXPECT_EQ(lib.BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(lib.Find(h)->volume, 0u);
}
