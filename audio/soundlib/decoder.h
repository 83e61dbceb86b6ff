#pragma once
// Decoder: one FFmpeg demuxer, audio decoder and resampler that turn a file or a net stream
// into 16-bit stereo frames at the output device's rate, keeping the source's own rate and
// channel count for the library's byte positions. Not synchronised: one thread at a time (the
// thread that creates the channel, then the channel's decoder thread).
//
// A net stream is never ended by what it carries, only by its connection or by time: a
// packet or frame the decoder refuses is skipped, the demuxer finds the next frame by itself,
// and a change of rate or channel count goes on through a resampler of the new format after
// the old one has given up what it held. The stream ends when its connection does, or when no
// valid audio has come for the network time-out.
#include "audio/soundlib/adtsframer.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVIOContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct AVInputFormat;

namespace soundlib {

class NetStream;

class Decoder {
public:
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Each returns a library code (0 on success) and, on success, a decoder that has already
    // decoded its first frames: what it holds is audio.
    static int OpenFile(const std::string& path, int outRate, std::unique_ptr<Decoder>& decoder);
    // Every read of the opening is done by `until`, the attempt's deadline. An AAC stream is
    // cut into frames by an AdtsFramer, which steps over garbage by itself.
    static int OpenStream(NetStream& net, bool forceAac, int outRate, std::chrono::steady_clock::time_point until,
                          std::unique_ptr<Decoder>& decoder);

    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    bool EightBit() const { return eightBit_; }
    std::int64_t TotalFrames() const { return totalFrames_; }  // source frames; -1 unknown
    std::int64_t BitRate() const;                            // bits per second; 0 unknown

    // Appends the next decoded piece; false once nothing more comes.
    bool DecodeMore(std::vector<std::int16_t>& out);
    // The next DecodeMore starts at source frame `frame` (as close as the format allows).
    bool Seek(std::int64_t frame);

    std::int64_t BytePosition() const;
    std::int64_t ByteSize() const;

    // Net streams, once created: each DecodeMore has the network time-out to find valid audio.
    void StartPlaying() { playing_ = true; }
    bool ReadTimedOut() const;

private:
    explicit Decoder(int outRate);
    int OpenInput(const AVInputFormat* format, const char* url);
    int OpenCodec();
    int OpenAdts();
    int ReadPacket();  // the next packet of the stream into packet_, as av_read_frame answers
    int NextAdtsFrame(std::vector<std::uint8_t>& frame);
    void MeasureAdtsBitRate();
    int Prime();
    bool Convert(AVFrame* frame, std::vector<std::int16_t>& out);
    void Drain(std::vector<std::int16_t>& out);  // what the resampler still holds
    bool PastReadDeadline();
    static int ReadNet(void* opaque, std::uint8_t* buffer, int size);

    const int outRate_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;  // ours: a file opened for probing, or the net stream's reader
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    NetStream* net_ = nullptr;
    bool playing_ = false;
    bool readTimedOut_ = false;
    std::chrono::steady_clock::time_point readUntil_ = std::chrono::steady_clock::time_point::max();
    int stream_ = -1;
    int rate_ = 0;
    int channels_ = 0;
    bool eightBit_ = false;
    std::int64_t totalFrames_ = -1;
    bool inputEnded_ = false;
    bool flushed_ = false;  // the decoder was told that no more input comes
    bool decoderDrained_ = false;
    std::int64_t skipUntil_ = -1;  // after a seek: drop source frames before this one
    int swrRate_ = 0;
    int swrFormat_ = -1;
    int swrChannels_ = 0;
    std::uint64_t swrLayoutMask_ = 0;
    std::vector<std::int16_t> primed_;
    std::unique_ptr<AdtsFramer> adts_;  // AAC streams: our framing instead of FFmpeg's demuxer
    std::vector<std::uint8_t> adtsFrame_;
    std::deque<std::vector<std::uint8_t>> adtsAhead_;  // framed while the bit rate was measured
    std::int64_t adtsBitRate_ = 0;
    bool adtsEnded_ = false;
};

}  // namespace soundlib
