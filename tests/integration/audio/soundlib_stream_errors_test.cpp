// How opening a URL fails, each way with its own code: no connection, no answer in time, an
// HTTP error, a web page instead of a stream, a malformed address.
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/childprocess.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/icecastserver.h"
#include "tests/integration/audio/silentlistener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace soundlib;
using namespace audiotest;

namespace {

class StreamErrors : public ::testing::Test {
protected:
    void SetUp() override {
        UseDummyOutput();
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
        lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1500);
        lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
    }

    // The code of a failed open (0 when it opened).
    int OpenCode(const std::string& url, bool aac = true) {
        std::string text = url + std::string(1, '\0');
        HSTREAM h = aac ? lib->BASS_AAC_StreamCreateURL(text.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0)
                        : lib->BASS_StreamCreateURL(text.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
        int code = lib->BASS_ErrorGetCode();
        EXPECT_EQ(h == 0, code != 0) << url;
        if (h) lib->BASS_StreamFree(h);
        return code;
    }

    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(StreamErrors, RefusedPortAndUnknownHostGiveNoConnection) {
    EXPECT_EQ(OpenCode("http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/"), BASS_ERROR_NONET);
    EXPECT_EQ(OpenCode("http://no-such-host.invalid:9500"), BASS_ERROR_NONET);
}

TEST_F(StreamErrors, ServerThatNeverAnswersTimesOut) {
    SilentListener silent;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenCode("http://127.0.0.1:" + std::to_string(silent.Port())), BASS_ERROR_TIMEOUT);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 4000);  // bounded by the time-out, not by FFmpeg's own defaults
}

TEST_F(StreamErrors, MalformedAddressesAreBadParameters) {
    for (const char* url : {"http//127.0.0.1:9500", "http://", "http://127.0.0.1:99999/", "http://127.0.0.1:95x0/", "ftp://127.0.0.1/",
                            "http://bad host/", "127.0.0.1:9500"}) {
        EXPECT_EQ(OpenCode(url), BASS_ERROR_ILLPARAM) << url;
    }
    EXPECT_EQ(lib->BASS_AAC_StreamCreateURL(nullptr, 0, 0, nullptr, 0), 0u);
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(StreamErrors, HttpErrorAndWebPageAreTold) {
    IcecastServer server;
    ASSERT_TRUE(server.Ok());
    EXPECT_EQ(OpenCode(server.Url("/no-such-mount")), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(OpenCode(server.Url("/no-such-mount"), false), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(OpenCode(server.PageUrl()), BASS_ERROR_FILEFORM);
    EXPECT_EQ(OpenCode(server.PageUrl(), false), BASS_ERROR_FILEFORM);
}

TEST_F(StreamErrors, NoDeviceNoStream) {
    lib->BASS_Free();
    EXPECT_EQ(OpenCode("http://127.0.0.1:9/"), BASS_ERROR_INIT);
}

}  // namespace
