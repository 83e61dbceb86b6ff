// A glitch in the middle of a stream is not the end of it: garbage between the frames (random
// bytes, a frame cut in half, a false sync word) every 3 s, or a change from 44.1 kHz stereo to
// 48 kHz mono and back every 10 s, and the stream plays on for its 60 s without a stop or a
// stall. What a listener hears is measured on SDL's disk output: the tone dips to silence every
// 250 ms of content, for 40 ms on each whole second and 20 ms otherwise, so the distance between
// two dips tells how much content a glitch took away (or put in), up to a second, and a silence
// longer than its dip is a gap in the sound. A stream that carries nothing but garbage ends
// after the network time-out.
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/misbehavingstation.h"
#include "tests/integration/audio/pcmanalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace soundlib;
using namespace audiotest;

namespace {

constexpr double kPeriod = 0.25;  // s of content between two dips
constexpr double kDip = 0.02;
constexpr double kLongDip = 0.04;  // on each whole second of content
constexpr int kPlayMs = 60000;
constexpr double kLongestGlitch = 0.1;

// A 1000 Hz tone at half scale with its dips.
std::string MarkedTone(int rate, double seconds) {
    std::ostringstream source;
    source << "aevalsrc=0.5*sin(2*PI*1000*t)*gt(mod(t\\,0.25)\\,0.02)*gt(mod(t\\,1)\\,0.04):s=" << rate << ":d=" << seconds;
    return source.str();
}

bool EncodeMarkedTone(const std::string& path, int rate, int channels, double seconds, const char* bitRate) {
    return RunFfmpeg({"-f", "lavfi", "-i", MarkedTone(rate, seconds), "-ac", std::to_string(channels), "-c:a", "aac", "-b:a",
                      bitRate, "-f", "adts"},
                     path);
}

void Figure(const std::string& name, double value) {
    std::cout << "[figure] " << name << "=" << value << std::endl;
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

struct Listening {
    std::vector<double> dips;         // start of each dip, s of output
    std::vector<double> silences;     // length of each silence, s
};

// Dips and silences of the left channel from `from` on, on an envelope of 2 ms steps.
Listening Listen(const Heard& heard, double from) {
    const std::size_t step = static_cast<std::size_t>(heard.rate / 500);
    std::vector<double> envelope;
    for (std::size_t at = heard.At(from); at + step <= heard.Frames(); at += step)
        envelope.push_back(Rms(heard.left, at, step));
    std::vector<double> sorted = envelope;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const double level = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    Listening listening;
    std::size_t quietSince = 0;
    bool quiet = false;
    for (std::size_t i = 0; i < envelope.size(); ++i) {
        const bool now = envelope[i] < 0.25 * level;
        if (now && !quiet) quietSince = i;
        if (!now && quiet) {
            listening.dips.push_back(from + double(quietSince) * step / heard.rate);
            listening.silences.push_back(double(i - quietSince) * step / heard.rate);
        }
        quiet = now;
    }
    return listening;
}

class StreamGlitch : public ::testing::Test {
protected:
    void SetUp() override {
        UseDiskOutput(files.File("heard.raw"));
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
        lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 20000);
        lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
        lib->BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
    }

    // Opens and plays `station` for 60 s; every state other than playing is counted. Then the
    // recording is measured: figures named after `name`.
    void PlayAndMeasure(MisbehavingStation& station, const std::string& name, int glitches) {
        ASSERT_TRUE(station.Ok());
        const std::string url = station.Url() + std::string(1, '\0');
        HSTREAM h = lib->BASS_AAC_StreamCreateURL(url.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
        ASSERT_NE(h, 0u) << "code " << lib->BASS_ErrorGetCode();
        ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
        int stalls = 0, stops = 0;
        for (int t = 0; t < kPlayMs; t += 50) {
            Wait(50);
            const DWORD state = lib->BASS_ChannelIsActive(h);
            stalls += state == BASS_ACTIVE_STALLED;
            stops += state == BASS_ACTIVE_STOPPED;
        }
        EXPECT_EQ(stops, 0) << "the stream stopped";
        EXPECT_EQ(stalls, 0) << "the stream ran dry";
        lib->BASS_StreamFree(h);
        lib.reset();  // the recording is complete once the output is closed

        const Heard heard = ReadHeard(files.File("heard.raw"));
        const double start = double(FirstSound(heard.left)) / heard.rate + 0.5;
        const double end = double(heard.Frames()) / heard.rate - 0.5;
        ASSERT_GT(end - start, 55.0) << "too little was heard";
        Listening listening = Listen(heard, start);
        ASSERT_GT(listening.dips.size(), 100u);
        // Each dip's place in the content, in periods: the nearest count that agrees with its
        // length (long on whole seconds), counted on from the first long dip.
        std::size_t first = 0;
        while (first < listening.dips.size() && listening.silences[first] < (kDip + kLongDip) / 2) ++first;
        ASSERT_LT(first, listening.dips.size());
        double longestSilence = 0, worst = 0;
        int seen = 0;
        long place = 0;
        for (std::size_t i = first + 1; i < listening.dips.size(); ++i) {
            const bool longDip = listening.silences[i] > (kDip + kLongDip) / 2;
            longestSilence = std::max(longestSilence, listening.silences[i] - (longDip ? kLongDip : kDip));
            const double distance = listening.dips[i] - listening.dips[i - 1];
            double off = 1e9;
            long step = 0;
            for (long k = 1; k <= 8; ++k) {
                if (((place + k) % 4 == 0) != longDip) continue;
                if (std::fabs(k * kPeriod - distance) < std::fabs(off)) {
                    off = k * kPeriod - distance;
                    step = k;
                }
            }
            place += step;
            if (std::fabs(off) > 0.005) ++seen;
            worst = std::max(worst, std::fabs(off));
        }
        Figure(name + "_glitches_sent", glitches);
        Figure(name + "_glitches_heard", seen);
        Figure(name + "_worst_content_skip_s", worst);
        Figure(name + "_longest_silence_beyond_a_dip_s", longestSilence);
        EXPECT_LE(worst, kLongestGlitch);
        EXPECT_LE(longestSilence, kLongestGlitch);
    }

    TempDir files;
    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(StreamGlitch, GarbageBetweenTheFramesEvery3sLeavesTheStreamPlaying) {
    ASSERT_TRUE(EncodeMarkedTone(files.File("tone.aac"), 44100, 2, 70, "128k"));
    MisbehavingStation station({"--glitch-every", "3", files.File("tone.aac")});
    PlayAndMeasure(station, "garbage", kPlayMs / 3000);
    EXPECT_NE(station.Output().find("glitch 2"), std::string::npos) << "the station sent no false sync word";
}

TEST_F(StreamGlitch, AChangeOfRateAndChannelsEvery10sLeavesTheStreamPlaying) {
    ASSERT_TRUE(EncodeMarkedTone(files.File("a.aac"), 44100, 2, 10, "128k"));
    ASSERT_TRUE(EncodeMarkedTone(files.File("b.aac"), 48000, 1, 10, "64k"));
    const std::string a = files.File("a.aac"), b = files.File("b.aac");
    MisbehavingStation station({a, b, a, b, a, b, a});
    PlayAndMeasure(station, "format_change", kPlayMs / 10000);
}

}  // namespace

TEST(StreamWithoutAudio, NothingButGarbageForTheNetworkTimeOutEndsTheStream) {
    TempDir files;
    UseDummyOutput();
    RealSoundLib lib;
    ASSERT_TRUE(lib.BASS_Init(1, 44100, 0, nullptr, nullptr));
    lib.BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 3000);
    lib.BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
    lib.BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
    ASSERT_TRUE(EncodeMarkedTone(files.File("tone.aac"), 44100, 2, 30, "128k"));
    MisbehavingStation station({"--garbage-after", "3", files.File("tone.aac")});
    ASSERT_TRUE(station.Ok());
    const std::string url = station.Url() + std::string(1, '\0');
    HSTREAM h = lib.BASS_AAC_StreamCreateURL(url.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
    ASSERT_NE(h, 0u) << "code " << lib.BASS_ErrorGetCode();
    ASSERT_TRUE(lib.BASS_ChannelPlay(h, false));
    int playedMs = 0;
    while (playedMs < 15000 && lib.BASS_ChannelIsActive(h) != BASS_ACTIVE_STOPPED) {
        Wait(50);
        playedMs += 50;
    }
    Figure("garbage_only_stream_ended_after_ms", playedMs);
    // 3 s of audio, then the time-out of 3 s spent looking for more, give or take the buffers.
    EXPECT_GE(playedMs, 3000);
    EXPECT_LE(playedMs, 9000);
}
