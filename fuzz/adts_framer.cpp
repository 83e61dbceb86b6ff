// The ADTS framer as the download thread feeds it: arbitrary bytes in arbitrary chunk sizes.
// The first bytes of the input choose the chunk sizes, the rest is the stream.
#include "audio/soundlib/adtsframer.h"
#include "fuzz/targets.h"

#include <vector>

namespace fuzz {

int AdtsFramer(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t* sizes = data;
    const std::size_t sizeCount = 4;
    data += sizeCount;
    size -= sizeCount;

    soundlib::AdtsFramer framer;
    std::vector<std::uint8_t> frame;
    std::uint64_t handedOut = 0;
    auto drain = [&] {
        while (framer.Next(frame)) {
            // A frame handed out always starts with a whole header of its own.
            Require(frame.size() >= 7, "a frame shorter than its header");
            Require(frame[0] == 0xFF && (frame[1] & 0xF6) == 0xF0, "a frame without an ADTS header");
            handedOut += frame.size();
            Require(framer.SampleRate() > 0, "a frame without a rate");
        }
    };
    std::size_t at = 0;
    for (std::size_t n = 0; at < size; ++n) {
        const std::size_t chunk = std::min<std::size_t>(size - at, 1 + sizes[n % sizeCount] * (1 + n % 3));
        framer.Feed(data + at, chunk);
        at += chunk;
        drain();
    }
    framer.End();
    drain();
    Require(handedOut == framer.FrameBytes(), "frame bytes miscounted");
    Require(framer.FrameBytes() + framer.Skipped() <= size, "more bytes accounted for than were fed");
    return 0;
}

}  // namespace fuzz
