#include "tests/integration/audio/audiofiles.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace audiotest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "soundlib-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Text(const std::string& name) const {
    std::ifstream in(File(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {
void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
}  // namespace

void WriteToneWav(const std::string& path, const Tone& tone) {
    const int frames = static_cast<int>(tone.seconds * tone.rate);
    const int bytesPerSample = tone.bits / 8;
    std::string data;
    for (int f = 0; f < frames; ++f) {
        double value = tone.amplitude * std::sin(2.0 * M_PI * tone.frequency * f / tone.rate);
        for (int c = 0; c < tone.channels; ++c) {
            if (tone.bits == 8) {
                data += static_cast<char>(static_cast<std::uint8_t>(std::lround(128.0 + value * 127.0)));
            } else {
                Put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value * 32767.0))));
            }
        }
    }
    std::string header = "RIFF";
    Put32(header, static_cast<unsigned>(36 + data.size()));
    header += "WAVEfmt ";
    Put32(header, 16);
    Put16(header, 1);
    Put16(header, static_cast<unsigned>(tone.channels));
    Put32(header, static_cast<unsigned>(tone.rate));
    Put32(header, static_cast<unsigned>(tone.rate * tone.channels * bytesPerSample));
    Put16(header, static_cast<unsigned>(tone.channels * bytesPerSample));
    Put16(header, static_cast<unsigned>(tone.bits));
    header += "data";
    Put32(header, static_cast<unsigned>(data.size()));
    std::ofstream(path, std::ios::binary) << header << data;
}

void WriteWav16(const std::string& path, const std::vector<float>& samples, int channels, int rate) {
    std::string data;
    for (float value : samples)
        Put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f))));
    std::string header = "RIFF";
    Put32(header, static_cast<unsigned>(36 + data.size()));
    header += "WAVEfmt ";
    Put32(header, 16);
    Put16(header, 1);
    Put16(header, static_cast<unsigned>(channels));
    Put32(header, static_cast<unsigned>(rate));
    Put32(header, static_cast<unsigned>(rate * channels * 2));
    Put16(header, static_cast<unsigned>(channels * 2));
    Put16(header, 16);
    header += "data";
    Put32(header, static_cast<unsigned>(data.size()));
    std::ofstream(path, std::ios::binary) << header << data;
}

std::vector<std::string> MakeNoiseMp3s(const std::string& folder, int count, int distinct) {
    const int made = std::min(distinct, count);
    auto noise = [&](int i) { return folder + "N" + std::to_string(i) + ".MP3"; };
    for (int i = 0; i < made; ++i) {
        const std::string source = "anoisesrc=d=180:c=pink:r=44100:a=0." + std::to_string(1 + i) + ":s=" + std::to_string(i + 1) +
                                   ",aformat=channel_layouts=stereo";
        if (!RunFfmpeg({"-f", "lavfi", "-i", source, "-c:a", "libmp3lame", "-b:a", "192k"}, noise(i))) return {};
    }
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "F%04d.MP3", i);
        std::filesystem::copy_file(noise(i % made), folder + name);
        names.push_back(name);
    }
    for (int i = 0; i < made; ++i) std::filesystem::remove(noise(i));
    return names;
}

bool RunFfmpeg(const std::vector<std::string>& args, const std::string& output) {
    std::vector<std::string> all = {"ffmpeg", "-nostdin", "-y", "-loglevel", "error"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(output);
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool EncodeTone(const std::string& path, const std::string& codec, const std::string& format, double seconds) {
    return RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100:duration=" + std::to_string(seconds), "-ac", "2",
                      "-c:a", codec, "-b:a", "128k", "-f", format},
                     path);
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& b : bytes) b = static_cast<unsigned char>(generator());
    return bytes;
}

}  // namespace audiotest
