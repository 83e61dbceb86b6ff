// A file of the customer's music folder as the file path opens it: the bytes written to a
// file and opened (the format probed from the content, whatever the name says), then decoded
// for a bounded number of pieces, with a seek, as playing and the position bar do.
#include "audio/soundlib/decoder.h"
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"

#include <vector>

namespace fuzz {

namespace {

void OpenAndDecode(const QString& path) {
    std::unique_ptr<soundlib::Decoder> decoder;
    if (soundlib::Decoder::OpenFile(path.toStdString(), 44100, decoder) != 0) return;
    Require(decoder->Rate() > 0 && decoder->Channels() > 0, "an opened file without rate or channels");
    std::vector<std::int16_t> out;
    for (int piece = 0; piece < 32 && decoder->DecodeMore(out); ++piece) {
        Require(out.size() % 2 == 0, "stereo output cut inside a frame");
        out.clear();
    }
    if (decoder->TotalFrames() > 0) {
        decoder->Seek(decoder->TotalFrames() / 2);
        for (int piece = 0; piece < 8 && decoder->DecodeMore(out); ++piece) out.clear();
    }
}

}  // namespace

int LocalFile(const std::uint8_t* data, std::size_t size) {
    const long peakBefore = PeakMemoryMb();
    WriteFile(QStringLiteral("FAIXA.TKM"), QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    OpenAndDecode(TempFolder() + QStringLiteral("FAIXA.TKM"));
    Require(PeakMemoryMb() - peakBefore < 512, "a small file took hundreds of MB");
    return 0;
}

}  // namespace fuzz
