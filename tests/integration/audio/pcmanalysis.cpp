#include "tests/integration/audio/pcmanalysis.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace audiotest {

Heard ReadHeard(const std::string& path, int channels, int rate) {
    Heard heard;
    heard.rate = rate;
    std::ifstream in(path, std::ios::binary);
    std::vector<float> frame(static_cast<std::size_t>(channels));
    while (in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size() * sizeof(float)))) {
        heard.left.push_back(frame[0]);
        heard.right.push_back(channels > 1 ? frame[1] : frame[0]);
    }
    return heard;
}

double Rms(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    std::size_t end = std::min(samples.size(), from + count);
    if (from >= end) return 0.0;
    double sum = 0;
    for (std::size_t i = from; i < end; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(end - from));
}

double Peak(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    std::size_t end = std::min(samples.size(), from + count);
    double peak = 0;
    for (std::size_t i = from; i < end; ++i) peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
    return peak;
}

double Frequency(const std::vector<float>& samples, std::size_t from, std::size_t count, int rate) {
    std::size_t end = std::min(samples.size(), from + count);
    if (end <= from + 1) return 0.0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < end; ++i)
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) ++crossings;
    return crossings * static_cast<double>(rate) / static_cast<double>(end - from);
}

std::size_t FirstSound(const std::vector<float>& samples, float threshold) {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i]) > threshold) return i;
    return samples.size();
}

std::size_t LastSound(const std::vector<float>& samples, float threshold) {
    for (std::size_t i = samples.size(); i > 0; --i)
        if (std::fabs(samples[i - 1]) > threshold) return i - 1;
    return 0;
}

double ShortTermLufs(const std::vector<float>& left, const std::vector<float>& right, std::size_t first, int rate) {
    const std::size_t count = std::size_t(3) * std::size_t(rate);
    if (first + count > left.size() || first + count > right.size()) return NAN;
    std::vector<float> x(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        x[2 * i] = left[first + i];
        x[2 * i + 1] = right[first + i];
    }
    ebur128_state* st = ebur128_init(2, unsigned(rate), EBUR128_MODE_S);
    ebur128_add_frames_float(st, x.data(), count);
    double lufs = 0;
    ebur128_loudness_shortterm(st, &lufs);
    ebur128_destroy(&st);
    return lufs;
}

}  // namespace audiotest
