#pragma once
// The fuzz targets: one function per place where bytes from outside enter the program. Each
// is linked twice: into a libFuzzer executable of its own (main.cpp, scripts/fuzz), and into
// the unit test that replays the inputs kept in fuzz/regressions/<name>/. A target aborts
// when the code under it breaks a promise its header makes, so such an input is a finding
// like a crash.
#include <cstddef>
#include <cstdint>

namespace fuzz {

using TargetFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name;
    TargetFunction run;
};

int AdtsFramer(const std::uint8_t* data, std::size_t size);
int Addresses(const std::uint8_t* data, std::size_t size);
int Settings1252(const std::uint8_t* data, std::size_t size);
int Schedule(const std::uint8_t* data, std::size_t size);
int LocalFile(const std::uint8_t* data, std::size_t size);
int StreamDecoding(const std::uint8_t* data, std::size_t size);
int JpegLogo(const std::uint8_t* data, std::size_t size);
int DesiredConfig(const std::uint8_t* data, std::size_t size);

inline constexpr Target kTargets[] = {
    {"adts_framer", AdtsFramer},
    {"addresses", Addresses},
    {"settings1252", Settings1252},
    {"schedule", Schedule},
    {"local_file", LocalFile},
    {"stream_decoding", StreamDecoding},
    {"jpeg_logo", JpegLogo},
    {"desired_config", DesiredConfig},
};

// Aborts with `what` on stderr: a broken promise, reported as a crash.
void Require(bool condition, const char* what);

// The process's peak resident memory so far, in MB: a few kilobytes of input must not raise
// it by hundreds (the replay test has no fuzzer's memory limit to catch that).
long PeakMemoryMb();

}  // namespace fuzz
