// Opening files that are not what their names say: missing, folders, garbage, empty, cut off.
// Output goes to SDL's dummy driver (paced in real time, nothing recorded).
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace soundlib;
using namespace audiotest;

namespace {

class FileOpen : public ::testing::Test {
protected:
    void SetUp() override {
        UseDummyOutput();
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr)) << lib->BASS_ErrorGetCode();
    }

    // The code of a failed open, or 0 when it opened (the channel is then freed).
    int OpenCode(const std::string& path) {
        HSTREAM h = lib->BASS_StreamCreateFile(false, path.c_str(), 0, 0, 0);
        int code = lib->BASS_ErrorGetCode();
        if (h != 0) {
            EXPECT_EQ(code, BASS_OK);
            lib->BASS_StreamFree(h);
        }
        return code;
    }

    TempDir dir;
    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(FileOpen, MissingFileAndFolderFailToOpen) {
    EXPECT_EQ(OpenCode(dir.File("nothing-here.mp3")), BASS_ERROR_FILEOPEN);
    std::filesystem::create_directory(dir.File("Album.MP3"));
    EXPECT_EQ(OpenCode(dir.File("Album.MP3")), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(OpenCode(""), BASS_ERROR_FILEOPEN);
}

TEST_F(FileOpen, ContentThatIsNotAudioIsRefused) {
    WriteBytes(dir.File("empty.MP3"), {});
    WriteBytes(dir.File("noise.MP3"), RandomBytes(200000, 7));
    WriteBytes(dir.File("small-noise.WAV"), RandomBytes(3000, 11));
    WriteBytes(dir.File("text.MP3"), std::vector<unsigned char>(5000, 'a'));
    for (const char* name : {"empty.MP3", "noise.MP3", "small-noise.WAV", "text.MP3"}) {
        int code = OpenCode(dir.File(name));
        EXPECT_TRUE(code == BASS_ERROR_FILEFORM || code == BASS_ERROR_FORMAT) << name << ": code " << code;
    }
}

TEST_F(FileOpen, WavNamedMp3OpensByItsContent) {
    Tone tone;
    WriteToneWav(dir.File("really-a-wav.MP3"), tone);
    EXPECT_EQ(OpenCode(dir.File("really-a-wav.MP3")), BASS_OK);
}

TEST_F(FileOpen, TruncatedMp3PlaysWhatItHasThenEnds) {
    std::string whole = dir.File("whole.mp3");
    ASSERT_TRUE(EncodeTone(whole, "libmp3lame", "mp3", 3.0));
    auto bytes = ReadAll(whole);
    bytes.resize(bytes.size() / 3 + 17);  // cut inside a frame
    WriteBytes(dir.File("cut.mp3"), bytes);

    HSTREAM h = lib->BASS_StreamCreateFile(false, dir.File("cut.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << lib->BASS_ErrorGetCode();
    ASSERT_TRUE(lib->BASS_ChannelPlay(h, false));
    Wait(300);
    EXPECT_EQ(lib->BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(WaitUntil(3000, [&] { return lib->BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    double played = lib->BASS_ChannelBytes2Seconds(h, lib->BASS_ChannelGetPosition(h));
    EXPECT_GT(played, 0.8);
    EXPECT_LT(played, 1.3);
}

TEST_F(FileOpen, StoppedFileResumesWhereItWasAndRestartsOnRequest) {
    Tone tone;
    tone.seconds = 3.0;
    WriteToneWav(dir.File("tone.wav"), tone);
    HSTREAM h = lib->BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    lib->BASS_ChannelPlay(h, false);
    Wait(500);
    lib->BASS_ChannelStop(h);
    QWORD stoppedAt = lib->BASS_ChannelGetPosition(h);
    EXPECT_GT(stoppedAt, 176400u / 4);
    Wait(200);
    EXPECT_EQ(lib->BASS_ChannelGetPosition(h), stoppedAt);
    lib->BASS_ChannelPlay(h, false);
    Wait(200);
    EXPECT_GT(lib->BASS_ChannelGetPosition(h), stoppedAt);
    lib->BASS_ChannelPlay(h, true);
    EXPECT_LT(lib->BASS_ChannelGetPosition(h), stoppedAt);
}

TEST_F(FileOpen, FilePositionsDescribeTheFile) {
    Tone tone;
    WriteToneWav(dir.File("tone.wav"), tone);
    HSTREAM h = lib->BASS_StreamCreateFile(false, dir.File("tone.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    DWORD size = static_cast<DWORD>(std::filesystem::file_size(dir.File("tone.wav")));
    EXPECT_EQ(lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), size);
    EXPECT_LE(lib->BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT), size);
    EXPECT_EQ(lib->BASS_StreamGetFilePosition(h, 99), BASS_DWORD_ERROR);
}

}  // namespace
