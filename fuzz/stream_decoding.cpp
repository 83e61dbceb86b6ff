// The stream path as a station feeds it: the bytes come through a NetStream (FFmpeg's data:
// protocol standing in for the server, so the download thread, the framer and the decoder are
// the real ones) and are decoded as the channel does, for a bounded number of pieces.
#include "audio/soundlib/decoder.h"
#include "audio/soundlib/netstream.h"
#include "fuzz/targets.h"

#include <QByteArray>

#include <vector>

namespace fuzz {

int StreamDecoding(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    soundlib::StreamAddress address;
    address.url = "data:audio/aac;base64," + bytes.toBase64().toStdString();
    // A generous deadline: an input that needs it all is a time-out finding, not a pass.
    const auto deadline = soundlib::NetStream::Clock::now() + std::chrono::seconds(5);
    soundlib::NetStream net(5000);
    if (net.Connect(address, std::nullopt, std::string(), deadline) != 0) return 0;
    net.Start(64 * 1024);
    std::unique_ptr<soundlib::Decoder> decoder;
    if (soundlib::Decoder::OpenStream(net, true, 44100, deadline, decoder) != 0) return 0;
    decoder->StartPlaying();
    std::vector<std::int16_t> out;
    for (int piece = 0; piece < 64 && decoder->DecodeMore(out); ++piece) {
        Require(out.size() % 2 == 0, "stereo output cut inside a frame");
        out.clear();
    }
    Require(net.Taken() <= net.Downloaded(), "the decoder took more than came");
    return 0;
}

}  // namespace fuzz
