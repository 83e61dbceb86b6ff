// Devices, configuration and the error code, on SDL's dummy driver (one output device).
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

using namespace soundlib;
using namespace audiotest;

namespace {

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        UseDummyOutput();
        lib = std::make_unique<RealSoundLib>();
    }
    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(Devices, DummyDriverOffersOneDeviceNamedBySdl) {
    EXPECT_EQ(lib->BASS_GetVersion() >> 16, 515u);
    const char* first = lib->BASS_GetDeviceDescription(1);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "System audio output device");
    for (DWORD n : {0u, 2u, 10u, 11u}) {
        EXPECT_EQ(lib->BASS_GetDeviceDescription(n), nullptr) << n;
        EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    }
}

TEST_F(Devices, DeviceIsInitialisedOnceAndFreedWithItsChannels) {
    EXPECT_FALSE(lib->BASS_Init(2, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(lib->BASS_Free());
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_INIT);

    ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(lib->BASS_SetDevice(2));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_TRUE(lib->BASS_SetDevice(1));
    EXPECT_TRUE(lib->BASS_Update());

    TempDir dir;
    WriteToneWav(dir.File("tone.wav"), Tone{});
    HSTREAM h = lib->BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    // A player's poll sleeps until the library announces a change: the channel that the free
    // ends is one.
    std::atomic<int> announced{0};
    const int watch = lib->WatchChannelStateChanges([&] { ++announced; });
    const std::uint64_t changes = lib->ChannelStateChanges();
    ASSERT_TRUE(lib->BASS_Free());
    EXPECT_GT(lib->ChannelStateChanges(), changes);
    EXPECT_GE(announced.load(), 1);
    lib->UnwatchChannelStateChanges(watch);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(lib->BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_INIT);

    // The device can be initialised again after its release (the dialog's "Conectar").
    ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
    HSTREAM again = lib->BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, h);  // handles are not reused
}

TEST_F(Devices, ConfigReturnsThePreviousValue) {
    EXPECT_EQ(lib->BASS_SetConfig(BASS_CONFIG_BUFFER, 3000), 500u);
    EXPECT_EQ(lib->BASS_SetConfig(BASS_CONFIG_BUFFER, 1200), 3000u);
    EXPECT_EQ(lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 20000), 5000u);
    EXPECT_EQ(lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 10000), 5000u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(lib->BASS_SetConfig(99, 1), BASS_DWORD_ERROR);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr));
    EXPECT_FALSE(lib->BASS_SetConfigPtr(BASS_CONFIG_BUFFER, "x"));
}

TEST_F(Devices, ErrorCodeBelongsToTheCallingThread) {
    EXPECT_FALSE(lib->BASS_ChannelPlay(12345, false));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    int otherThreadCode = -99;
    std::thread([&] {
        otherThreadCode = lib->BASS_ErrorGetCode();
        lib->BASS_GetVersion();
    }).join();
    EXPECT_EQ(otherThreadCode, BASS_OK);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Devices, CallsOnHandleZeroFailWithBadHandle) {
    ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(lib->BASS_ChannelIsActive(0), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(lib->BASS_StreamFree(0));
    EXPECT_EQ(lib->BASS_ChannelGetLength(0), BASS_QWORD_ERROR);
    EXPECT_EQ(lib->BASS_StreamGetFilePosition(0, BASS_FILEPOS_END), BASS_DWORD_ERROR);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace
