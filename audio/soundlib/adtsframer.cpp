#include "audio/soundlib/adtsframer.h"

#include <array>

namespace soundlib {

namespace {
constexpr std::size_t kHeaderBytes = 7;
constexpr std::array<int, 13> kRates{96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
}  // namespace

void AdtsFramer::Feed(const std::uint8_t* data, std::size_t size) {
    // What was handed out already goes before the new bytes come in.
    if (at_ > 0 && at_ * 2 >= buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

std::size_t AdtsFramer::HeaderLength(std::size_t at) const {
    const std::uint8_t* h = buffer_.data() + at;
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return 0;  // sync word, layer 0
    const int rateIndex = (h[2] >> 2) & 0x0F;
    if (rateIndex >= static_cast<int>(kRates.size())) return 0;
    const std::size_t length = (static_cast<std::size_t>(h[3] & 0x03) << 11) | (static_cast<std::size_t>(h[4]) << 3) | (h[5] >> 5);
    const std::size_t least = kHeaderBytes + ((h[1] & 0x01) ? 0 : 2);  // a CRC when not absent
    return length > least ? length : 0;
}

bool AdtsFramer::Next(std::vector<std::uint8_t>& frame) {
    for (;;) {
        const std::size_t left = buffer_.size() - at_;
        if (left < kHeaderBytes) return false;
        const std::size_t length = HeaderLength(at_);
        if (length == 0) {
            ++at_;
            ++skipped_;
            continue;
        }
        if (left < length + kHeaderBytes) {
            if (!ended_ || left < length) return false;
        } else if (HeaderLength(at_ + length) == 0) {
            ++at_;
            ++skipped_;
            continue;
        }
        rate_ = kRates[static_cast<std::size_t>((buffer_[at_ + 2] >> 2) & 0x0F)];
        frame.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(at_), buffer_.begin() + static_cast<std::ptrdiff_t>(at_ + length));
        at_ += length;
        skipped_ = 0;
        frameBytes_ += length;
        ++frames_;
        return true;
    }
}

}  // namespace soundlib
