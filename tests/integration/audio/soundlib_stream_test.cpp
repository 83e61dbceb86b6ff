// URL channels on a real icecast2 fed by ffmpeg with a 1 kHz tone as 128 kbit/s AAC: the net
// buffer, what is heard, the end of the stream when its source dies, the stall while its
// source is paused, and the way through a real proxy (tinyproxy) with and without a password.
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/icecastserver.h"
#include "tests/integration/audio/pcmanalysis.h"
#include "tests/integration/audio/tinyproxyserver.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <memory>

using namespace soundlib;
using namespace audiotest;

namespace {

class Stream : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new IcecastServer;
        if (server->Ok()) source = server->StartSource("/stream", 2500).release();
    }
    static void TearDownTestSuite() {
        delete source;
        delete server;
        source = nullptr;
        server = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(server->Ok()) << "icecast2 did not start";
        ASSERT_NE(source, nullptr) << "the ffmpeg source did not reach icecast2";
        UseDiskOutput(dir.File("heard.raw"));
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
        lib->BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
        lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
        lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 10000);
    }

    HSTREAM OpenAac(const std::string& url) {
        std::string text = url + std::string(1, '\0');
        return lib->BASS_AAC_StreamCreateURL(text.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
    }

    // The player's buffer percentage.
    DWORD Fill(HSTREAM h) {
        DWORD end = lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
        if (end == 0 || end == BASS_DWORD_ERROR) return 0;
        DWORD download = lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD);
        DWORD current = lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
        return (download - current) * 100 / end;
    }

    static IcecastServer* server;
    static ChildProcess* source;
    TempDir dir;
    std::unique_ptr<RealSoundLib> lib;
};

IcecastServer* Stream::server = nullptr;
ChildProcess* Stream::source = nullptr;

TEST_F(Stream, OpensPreBufferedAndTheToneIsHeard) {
    HSTREAM h = OpenAac(server->Url("/"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_OK);
    EXPECT_GE(Fill(h), 70u);
    EXPECT_EQ(lib->BASS_ChannelGetLength(h), BASS_QWORD_ERROR);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(lib->BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    // A live stream cannot be moved; the player's rewind simply fails.
    EXPECT_FALSE(lib->BASS_ChannelSetPosition(h, 0));

    DWORD downloaded = lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(1500);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    EXPECT_GT(lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD), downloaded + 8000);
    EXPECT_GT(Fill(h), 20u);
    EXPECT_GT(lib->BASS_ChannelGetLevel(h) >> 16, 2000u);
    EXPECT_NEAR(lib->BASS_ChannelBytes2Seconds(h, lib->BASS_ChannelGetPosition(h)), 1.5, 0.3);
    lib->BASS_ChannelStop(h);
    EXPECT_TRUE(lib->BASS_StreamFree(h));

    lib.reset();
    Heard heard = ReadHeard(dir.File("heard.raw"));
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Frequency(heard.left, start + heard.At(0.2), heard.At(1.0), heard.rate), 1000.0, 20.0);
    // ffmpeg's sine source (amplitude 1/8) spread from mono to stereo at -3 dB.
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.2), heard.At(1.0)), 0.125 / 2, 0.01);
}

TEST_F(Stream, GenericEntryPointFindsTheFormatItself) {
    std::string url = server->Url("/stream") + std::string(1, '\0');
    HSTREAM h = lib->BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(300);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
}

TEST_F(Stream, EndsAndFreesItselfWhenItsSourceDies) {
    auto own = server->StartSource("/dying");
    ASSERT_NE(own, nullptr);
    HSTREAM h = OpenAac(server->Url("/dying"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(300);
    own->Kill();
    // The buffered second or two still plays; then the channel is gone.
    EXPECT_TRUE(WaitUntil(15000, [&] {
        return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED && lib->BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
    }));
    EXPECT_FALSE(lib->BASS_ChannelPlay(h, false));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Stream, StallsWhileItsSourceIsPausedAndResumesByItself) {
    auto own = server->StartSource("/pausing");
    ASSERT_NE(own, nullptr);
    lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 1000);
    HSTREAM h = OpenAac(server->Url("/pausing"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(300);
    own->Signal(SIGSTOP);
    EXPECT_TRUE(WaitUntil(8000, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }));
    EXPECT_EQ(Fill(h), 0u);
    own->Signal(SIGCONT);
    EXPECT_TRUE(WaitUntil(8000, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; }));
}

// The wake watch of a monitor that sleeps: once, at the first quiet piece or the first fall of
// the buffer to its mark, and at once when the buffer is already there.
TEST_F(Stream, TheWakeWatchCallsOnceWhenASoundGoesQuietOrTheBufferFallsToItsMark) {
    auto own = server->StartSource("/watched");
    ASSERT_NE(own, nullptr);
    lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 1000);
    HSTREAM h = OpenAac(server->Url("/watched"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    std::atomic<int> wakes{0};
    const auto count = [&] { ++wakes; };

    ASSERT_TRUE(lib->BASS_ChannelSetWakeWatch(h, 100, 0, count));
    EXPECT_EQ(wakes, 1) << "a buffer at its mark already";

    Wait(300);  // past the decoder's first frames
    ASSERT_TRUE(lib->BASS_ChannelSetWakeWatch(h, 0, 1, count));  // the tone is never that quiet
    Wait(600);
    EXPECT_EQ(wakes, 1);
    ASSERT_TRUE(lib->BASS_ChannelSetWakeWatch(h, 0, 32769, count));  // every piece is
    EXPECT_TRUE(WaitUntil(1000, [&] { return wakes == 2; }));

    ASSERT_TRUE(WaitUntil(4000, [&] { return Fill(h) > 50; }));
    // The download rests a quarter of a second at a time while half full: 10 % is a fall.
    ASSERT_TRUE(lib->BASS_ChannelSetWakeWatch(h, 10, 0, count));
    Wait(600);
    EXPECT_EQ(wakes, 2);
    own->Signal(SIGSTOP);
    EXPECT_TRUE(WaitUntil(8000, [&] { return wakes == 3; }));
    EXPECT_LE(Fill(h), 10u);
    Wait(500);
    EXPECT_EQ(wakes, 3) << "once";
    own->Signal(SIGCONT);
}

TEST_F(Stream, SilenceLongerThanTheTimeOutEndsTheStream) {
    auto own = server->StartSource("/silent");
    ASSERT_NE(own, nullptr);
    lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 1000);
    lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1500);
    HSTREAM h = OpenAac(server->Url("/silent"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    own->Signal(SIGSTOP);
    // The connection still lives, but no data for the time-out counts as its end.
    EXPECT_TRUE(WaitUntil(10000, [&] {
        return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED && lib->BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
    }));
}

TEST_F(Stream, PlaysThroughAProxy) {
    TinyproxyServer proxy;
    ASSERT_TRUE(proxy.Ok());
    std::string text = "127.0.0.1:" + std::to_string(proxy.Port());
    ASSERT_TRUE(lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, text.c_str()));
    HSTREAM h = OpenAac(server->Url("/"));
    ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
    EXPECT_NE(proxy.Log().find("127.0.0.1:" + std::to_string(server->Port())), std::string::npos) << proxy.Log();
    lib->BASS_StreamFree(h);

    // Back to no proxy: the text is read at every connection.
    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
    h = OpenAac(server->Url("/"));
    EXPECT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
}

TEST_F(Stream, ProxyWithPasswordNeedsTheCredentials) {
    TinyproxyServer proxy("shop", "s3cr.et-9");
    ASSERT_TRUE(proxy.Ok());
    std::string port = std::to_string(proxy.Port());
    std::string withCredentials = "shop:s3cr.et-9@127.0.0.1:" + port;
    std::string withoutCredentials = "127.0.0.1:" + port;
    std::string wrongPassword = "shop:wrong@127.0.0.1:" + port;

    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, withoutCredentials.c_str());
    EXPECT_EQ(OpenAac(server->Url("/")), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, wrongPassword.c_str());
    EXPECT_EQ(OpenAac(server->Url("/")), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, withCredentials.c_str());
    HSTREAM h = OpenAac(server->Url("/"));
    EXPECT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
}

TEST_F(Stream, ProxyThatIsNotThereGivesNoConnection) {
    std::string text = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, text.c_str());
    EXPECT_EQ(OpenAac(server->Url("/")), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_NONET);
    lib->BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, ":");
    EXPECT_EQ(OpenAac(server->Url("/")), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_NONET);
}

}  // namespace
