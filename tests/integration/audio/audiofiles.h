#pragma once
// Audio files made by the tests themselves: tones written sample by sample, and files encoded
// by the ffmpeg command line, in a temporary folder removed at the end.
#include <filesystem>
#include <string>
#include <vector>

namespace audiotest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // The whole text of one of its files (a server's log); empty when there is none.
    std::string Text(const std::string& name) const;

private:
    std::filesystem::path path_;
};

struct Tone {
    int rate = 44100;
    int channels = 2;
    int bits = 16;  // 16 (signed) or 8 (unsigned)
    double frequency = 1000.0;
    double amplitude = 0.5;  // of full scale
    double seconds = 2.0;
};

// A PCM WAV file of a sine tone.
void WriteToneWav(const std::string& path, const Tone& tone);

// A 16-bit PCM WAV file of `samples` (interleaved, `channels` per frame, clipped to full scale).
void WriteWav16(const std::string& path, const std::vector<float>& samples, int channels, int rate);

// Runs `ffmpeg -y -loglevel error ARGS... OUTPUT`; true when it succeeded.
bool RunFfmpeg(const std::vector<std::string>& args, const std::string& output);

// A 1 kHz sine (amplitude 1/8) of `seconds`, stereo 44.1 kHz, encoded with `codec` in
// `format` (e.g. "libmp3lame"/"mp3", "wmav2"/"asf").
bool EncodeTone(const std::string& path, const std::string& codec, const std::string& format, double seconds);

// A music folder for the measuring benchmarks: `count` 3-minute MP3 files named F0000.MP3 ...
// in `folder`, copies of `distinct` pink noises of different levels (encoding them all would
// take longer than the benchmark). Their names in order; empty when ffmpeg failed.
std::vector<std::string> MakeNoiseMp3s(const std::string& folder, int count, int distinct);

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> ReadAll(const std::string& path);
std::vector<unsigned char> RandomBytes(std::size_t count, unsigned seed);

}  // namespace audiotest
