#pragma once
// Reading what a listener would have heard: the raw float stereo output that SDL's disk
// driver writes, cut into windows and measured.
#include <cstddef>
#include <string>
#include <vector>

namespace audiotest {

struct Heard {
    int rate = 44100;
    std::vector<float> left;
    std::vector<float> right;

    std::size_t Frames() const { return left.size(); }
    std::size_t At(double seconds) const { return static_cast<std::size_t>(seconds * rate); }
};

// The disk driver's file: interleaved 32-bit floats, `channels` per frame.
Heard ReadHeard(const std::string& path, int channels = 2, int rate = 44100);

double Rms(const std::vector<float>& samples, std::size_t from, std::size_t count);
double Peak(const std::vector<float>& samples, std::size_t from, std::size_t count);
// Frequency from the count of rising zero crossings.
double Frequency(const std::vector<float>& samples, std::size_t from, std::size_t count, int rate);
// First frame whose magnitude exceeds `threshold`; samples.size() when none.
std::size_t FirstSound(const std::vector<float>& samples, float threshold = 0.01f);
// Last frame whose magnitude exceeds `threshold`; 0 when none.
std::size_t LastSound(const std::vector<float>& samples, float threshold = 0.01f);
// Short-term loudness (LUFS) of the 3 s of a stereo signal from frame `first`; NaN where the
// signal does not reach that far.
double ShortTermLufs(const std::vector<float>& left, const std::vector<float>& right, std::size_t first, int rate);

}  // namespace audiotest
