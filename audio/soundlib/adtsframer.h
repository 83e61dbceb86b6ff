#pragma once
// AdtsFramer: cuts an AAC stream in ADTS framing into whole frames, for a decoder that takes
// one frame per packet. A header counts only when the header of the next frame stands where
// its length says: garbage, a false sync word or a frame cut short is stepped over one byte at
// a time until such a pair is found, so that a glitch costs the damaged bytes and nothing
// more. A change of rate or channel count is a frame like any other.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundlib {

class AdtsFramer {
public:
    void Feed(const std::uint8_t* data, std::size_t size);
    // No more bytes will come: the last frame is taken without a header after it.
    void End() { ended_ = true; }
    // The next confirmed frame into `frame`; false when more bytes are needed (or, after End,
    // when none is left).
    bool Next(std::vector<std::uint8_t>& frame);
    // Bytes stepped over since the last confirmed frame.
    std::size_t Skipped() const { return skipped_; }
    // Bytes of the frames handed out, headers included, and the count of those frames.
    std::uint64_t FrameBytes() const { return frameBytes_; }
    std::uint64_t Frames() const { return frames_; }
    int SampleRate() const { return rate_; }  // of the last frame; 0 before the first

private:
    // The frame length of a plausible header at `at` (7 bytes there), 0 when there is none.
    std::size_t HeaderLength(std::size_t at) const;

    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;
    bool ended_ = false;
    std::size_t skipped_ = 0;
    std::uint64_t frameBytes_ = 0;
    std::uint64_t frames_ = 0;
    int rate_ = 0;
};

}  // namespace soundlib
