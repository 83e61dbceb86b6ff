// What a listener hears from file channels: SDL's disk driver records the mixed output, and
// the tests measure the recording (tone, level, silence after a stop, the fall of a slide).
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/pcmanalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace soundlib;
using namespace audiotest;

namespace {

constexpr double kToneRms = 0.5 / 1.4142135;  // a sine of amplitude 0.5
// ffmpeg's sine source (amplitude 1/8) spread from mono to stereo at -3 dB.
constexpr double kEncodedToneRms = 0.125 / 2;

class FilePlayback : public ::testing::Test {
protected:
    void SetUp() override {
        UseDiskOutput(dir.File("heard.raw"));
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr)) << lib->BASS_ErrorGetCode();
    }

    std::string Tone(const std::string& name, double seconds, double amplitude = 0.5) {
        audiotest::Tone tone;
        tone.seconds = seconds;
        tone.amplitude = amplitude;
        WriteToneWav(dir.File(name), tone);
        return dir.File(name);
    }

    HSTREAM Open(const std::string& path, DWORD flags = 0) {
        HSTREAM handle = lib->BASS_StreamCreateFile(false, path.c_str(), 0, 0, flags);
        EXPECT_NE(handle, 0u) << "code " << lib->BASS_ErrorGetCode();
        return handle;
    }

    // Closes the library (the device with it) and reads what was heard.
    Heard Listen() {
        lib.reset();
        return ReadHeard(dir.File("heard.raw"));
    }

    TempDir dir;
    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(FilePlayback, ToneIsHeardAtItsLevelAndStopLeavesSilence) {
    HSTREAM h = Open(Tone("tone.wav", 3.0));
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(800);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    DWORD level = lib->BASS_ChannelGetLevel(h);
    EXPECT_NEAR(level & 0xFFFF, 16384, 1200);
    EXPECT_NEAR(level >> 16, 16384, 1200);
    QWORD position = lib->BASS_ChannelGetPosition(h);
    EXPECT_GT(position, 176400u * 5 / 10);
    EXPECT_LT(position, 176400u * 11 / 10);
    ASSERT_TRUE(lib->BASS_ChannelStop(h));
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    Wait(400);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.1), heard.At(0.5)), kToneRms, kToneRms * 0.05);
    EXPECT_NEAR(Rms(heard.right, start + heard.At(0.1), heard.At(0.5)), kToneRms, kToneRms * 0.05);
    EXPECT_NEAR(Frequency(heard.left, start + heard.At(0.1), heard.At(0.5), heard.rate), 1000.0, 20.0);
    std::size_t last = LastSound(heard.left);
    double played = static_cast<double>(last - start) / heard.rate;
    EXPECT_GT(played, 0.6);
    EXPECT_LT(played, 1.0);
    // After the stop: silence to the end of the recording, at least a quarter second of it.
    EXPECT_GT(heard.Frames() - last, heard.At(0.25));
    EXPECT_LT(Peak(heard.left, last + 1, heard.Frames()), 1e-4);
}

TEST_F(FilePlayback, VolumeIsAppliedAtOnceWhilePlaying) {
    HSTREAM h = Open(Tone("tone.wav", 3.0));
    ASSERT_TRUE(lib->BASS_ChannelSetAttributes(h, -1, 25, -101));
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(600);
    ASSERT_TRUE(lib->BASS_ChannelSetAttributes(h, -1, 100, -101));
    DWORD volume = 0;
    ASSERT_TRUE(lib->BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 100u);
    Wait(600);
    lib->BASS_ChannelStop(h);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left, 0.001f);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.1), heard.At(0.3)), kToneRms / 4, kToneRms * 0.02);
    // The change is heard within about one output period (23 ms) of the call.
    std::size_t loud = FirstSound(heard.left, 0.3f);
    double quietFor = static_cast<double>(loud - start) / heard.rate;
    EXPECT_GT(quietFor, 0.5);
    EXPECT_LT(quietFor, 0.75);
    EXPECT_NEAR(Rms(heard.left, loud + heard.At(0.1), heard.At(0.3)), kToneRms, kToneRms * 0.05);
}

TEST_F(FilePlayback, SlideToSilenceFallsOverItsTimeThenStops) {
    HSTREAM h = Open(Tone("tone.wav", 4.0));
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(400);
    ASSERT_TRUE(lib->BASS_ChannelSlideAttributes(h, -1, -2, -101, 800));
    EXPECT_EQ(lib->BASS_ChannelIsSliding(h), BASS_SLIDE_VOL);
    Wait(400);
    DWORD volume = 0;
    lib->BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr);
    EXPECT_GT(volume, 25u);
    EXPECT_LT(volume, 75u);
    EXPECT_TRUE(WaitUntil(1500, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    EXPECT_EQ(lib->BASS_ChannelIsSliding(h), 0u);
    lib->BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 0u);
    Wait(200);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    // Full level before the slide, then a steady fall in 100 ms steps, then nothing.
    std::size_t fallStart = start + heard.At(0.4);
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.1), heard.At(0.2)), kToneRms, kToneRms * 0.05);
    double previous = Rms(heard.left, fallStart - heard.At(0.1), heard.At(0.1));
    for (int step = 1; step < 7; ++step) {
        double now = Rms(heard.left, fallStart + heard.At(0.1 * step), heard.At(0.1));
        EXPECT_LT(now, previous) << "step " << step;
        previous = now;
    }
    double middle = Rms(heard.left, fallStart + heard.At(0.35), heard.At(0.1));
    EXPECT_NEAR(middle, kToneRms / 2, kToneRms * 0.12);
    std::size_t last = LastSound(heard.left, 0.002f);
    double fall = static_cast<double>(last - fallStart) / heard.rate;
    EXPECT_GT(fall, 0.65);
    EXPECT_LT(fall, 0.9);
    EXPECT_LT(Peak(heard.left, last + heard.At(0.05), heard.Frames()), 1e-4);
}

TEST_F(FilePlayback, DuckLowersWhatPlaysBesideItsVolumeAndBringsItBack) {
    HSTREAM h = Open(Tone("tone.wav", 4.0));
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(500);
    ASSERT_TRUE(lib->BASS_ChannelSlideDuck(h, -15.0f, 300));
    // Not a slide of the volume: a player's fade watch and the controller's ramps see nothing.
    EXPECT_EQ(lib->BASS_ChannelIsSliding(h), 0u);
    Wait(1000);
    DWORD volume = 0;
    ASSERT_TRUE(lib->BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 100u);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(lib->BASS_ChannelSlideDuck(h, 0.0f, 1000));
    Wait(1800);
    lib->BASS_ChannelStop(h);
    EXPECT_FALSE(lib->BASS_ChannelSlideDuck(h, 3.0f, 0));  // only down, never above the music
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    const double ducked = kToneRms * std::pow(10.0, -15.0 / 20.0);
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.1), heard.At(0.3)), kToneRms, kToneRms * 0.05);
    EXPECT_NEAR(Rms(heard.left, start + heard.At(1.0), heard.At(0.3)), ducked, ducked * 0.1);
    EXPECT_NEAR(Rms(heard.left, start + heard.At(2.9), heard.At(0.3)), kToneRms, kToneRms * 0.05);
}

TEST_F(FilePlayback, SlideWithAutoFreeReleasesTheHandle) {
    HSTREAM h = Open(Tone("tone.wav", 3.0), BASS_STREAM_AUTOFREE);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(200);
    ASSERT_TRUE(lib->BASS_ChannelSlideAttributes(h, -1, -2, -101, 200));
    EXPECT_TRUE(WaitUntil(1500, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(lib->BASS_StreamFree(h));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(FilePlayback, FileEndsByItselfAtItsLength) {
    HSTREAM h = Open(Tone("short.wav", 0.5));
    EXPECT_EQ(lib->BASS_ChannelGetLength(h), 88200u);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil(2000, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    EXPECT_EQ(lib->BASS_ChannelGetPosition(h), 88200u);
    // Not auto-freed: the handle still answers.
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_OK);
    Wait(100);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    double played = static_cast<double>(LastSound(heard.left) - start) / heard.rate;
    EXPECT_NEAR(played, 0.5, 0.01);
}

TEST_F(FilePlayback, SetPositionPlaysFromThere) {
    HSTREAM h = Open(Tone("tone.wav", 3.0));
    QWORD at = lib->BASS_ChannelSeconds2Bytes(h, 2.5f);
    EXPECT_EQ(at, 441000u);
    EXPECT_FLOAT_EQ(lib->BASS_ChannelBytes2Seconds(h, lib->BASS_ChannelGetLength(h)), 3.0f);
    ASSERT_TRUE(lib->BASS_ChannelSetPosition(h, at));
    EXPECT_EQ(lib->BASS_ChannelGetPosition(h), at);
    EXPECT_FALSE(lib->BASS_ChannelSetPosition(h, 529200u + 4));
    EXPECT_EQ(lib->BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil(2000, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    Wait(100);

    Heard heard = Listen();
    double played = static_cast<double>(LastSound(heard.left) - FirstSound(heard.left)) / heard.rate;
    EXPECT_NEAR(played, 0.5, 0.01);
}

TEST_F(FilePlayback, Mp3NamedTkmIsDecodedByItsContent) {
    std::string path = dir.File("song.TKM");
    ASSERT_TRUE(EncodeTone(path, "libmp3lame", "mp3", 2.0));
    HSTREAM h = Open(path);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(lib->BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u);
    EXPECT_NEAR(lib->BASS_ChannelBytes2Seconds(h, lib->BASS_ChannelGetLength(h)), 2.0, 0.1);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(700);
    lib->BASS_ChannelStop(h);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Frequency(heard.left, start + heard.At(0.1), heard.At(0.4), heard.rate), 1000.0, 20.0);
    EXPECT_NEAR(Rms(heard.left, start + heard.At(0.1), heard.At(0.4)), kEncodedToneRms, 0.008);
}

TEST_F(FilePlayback, WmaPlaysThroughTheWmaEntryPoint) {
    std::string path = dir.File("song.WMA");
    ASSERT_TRUE(EncodeTone(path, "wmav2", "asf", 2.0));
    HSTREAM h = lib->BASS_WMA_StreamCreateFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(700);
    lib->BASS_ChannelStop(h);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Frequency(heard.left, start + heard.At(0.1), heard.At(0.4), heard.rate), 1000.0, 20.0);
}

TEST_F(FilePlayback, EightBitMonoFileReportsItsFormatAndPlaysOnBothSides) {
    audiotest::Tone tone;
    tone.rate = 22050;
    tone.channels = 1;
    tone.bits = 8;
    tone.seconds = 2.0;
    WriteToneWav(dir.File("old.wav"), tone);
    HSTREAM h = Open(dir.File("old.wav"));
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(lib->BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, 22050u);
    EXPECT_EQ(info.chans, 1u);
    EXPECT_NE(info.flags & BASS_SAMPLE_8BITS, 0u);
    // Positions count 16-bit samples at the file's own rate and channel count.
    EXPECT_EQ(lib->BASS_ChannelGetLength(h), 22050u * 2 * 2);
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(600);
    lib->BASS_ChannelStop(h);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_NEAR(Frequency(heard.left, start + heard.At(0.1), heard.At(0.3), heard.rate), 1000.0, 20.0);
    EXPECT_NEAR(Rms(heard.right, start + heard.At(0.1), heard.At(0.3)), kToneRms, kToneRms * 0.08);
}

TEST_F(FilePlayback, TwoChannelsAreMixedAndClipped) {
    HSTREAM a = Open(Tone("a.wav", 2.0, 0.8));
    HSTREAM b = Open(Tone("b.wav", 2.0, 0.8));
    ASSERT_TRUE(lib->BASS_ChannelPlay(a, false));
    ASSERT_TRUE(lib->BASS_ChannelPlay(b, false));
    Wait(500);
    ASSERT_TRUE(lib->BASS_ChannelStop(b));
    Wait(400);
    lib->BASS_ChannelStop(a);

    Heard heard = Listen();
    std::size_t start = FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames());
    EXPECT_LE(Peak(heard.left, 0, heard.Frames()), 1.0);
    // While both play the sum is louder than one tone alone after the stop of the second.
    double both = Rms(heard.left, start + heard.At(0.15), heard.At(0.2));
    double one = Rms(heard.left, start + heard.At(0.65), heard.At(0.2));
    EXPECT_NEAR(one, 0.8 / 1.4142, 0.03);
    EXPECT_GT(both, one * 1.05);
}

}  // namespace
