#include "audio/soundlib/decoder.h"

#include "audio/soundlib/netstream.h"
#include "audio/soundlib/soundlib.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <array>
#include <limits>

namespace soundlib {

namespace {
// A probe below this score is a guess from a few lucky bytes (random data often scores a few
// points as MPEG audio); real files score far above it.
constexpr int kMinProbeScore = AVPROBE_SCORE_RETRY + 1;
constexpr int kProbeBytes = 1 << 20;
constexpr int kStreamIoBuffer = 4096;
constexpr std::size_t kProbeStreamBytes = 64 * 1024;
// Packets that may fail to decode before the first good frame, for a file that is not audio.
constexpr int kMaxBadPackets = 64;
constexpr int kMaxPlanes = 64;
// FFmpeg sizes some buffers from the file's own fields and zeroes them: a damaged WAV whose
// INFO chunk claims 1.6 GB made a 300-byte file take that much memory, enough to have a shop's
// PC kill the player. No piece of audio, tag or cover picture needs more than this; a larger
// request fails, and the file with it, like any other damaged file.
constexpr std::size_t kMostOneAllocation = 64u << 20;
// Rates no audio has: a header that claims one (a damaged WAV says 900 MHz) would have the
// resampler build filter tables for minutes, inside the open, on the caller's thread.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;
}  // namespace

Decoder::Decoder(int outRate) : outRate_(outRate) {
    static const bool capped = [] {
        av_max_alloc(kMostOneAllocation);
        return true;
    }();
    (void)capped;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
}

Decoder::~Decoder() {
    swr_free(&swr_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        if (net_) avio_context_free(&io_);
        else avio_closep(&io_);
    }
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

int Decoder::OpenFile(const std::string& path, int outRate, std::unique_ptr<Decoder>& decoder) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return BASS_ERROR_FILEOPEN;
    std::unique_ptr<Decoder> d(new Decoder(outRate));
    if (avio_open(&d->io_, path.c_str(), AVIO_FLAG_READ) < 0) {
        d->io_ = nullptr;
        return BASS_ERROR_FILEOPEN;
    }
    // Probe by content alone: no file name, so the extension (.TKM, a .MP3 that holds a WAV)
    // gives no hint.
    const AVInputFormat* format = nullptr;
    int score = av_probe_input_buffer2(d->io_, &format, "", nullptr, 0, kProbeBytes);
    if (score < kMinProbeScore || !format) return BASS_ERROR_FILEFORM;
    if (int code = d->OpenInput(format, ""); code != BASS_OK) return code;
    if (int code = d->Prime(); code != BASS_OK) return code;
    decoder = std::move(d);
    return BASS_OK;
}

int Decoder::OpenStream(NetStream& net, bool forceAac, int outRate, std::chrono::steady_clock::time_point until,
                        std::unique_ptr<Decoder>& decoder) {
    std::unique_ptr<Decoder> d(new Decoder(outRate));
    d->net_ = &net;
    d->readUntil_ = until;
    if (forceAac) {
        if (int code = d->OpenAdts(); code != BASS_OK) return code;
        if (int code = d->Prime(); code != BASS_OK) return code;
        d->MeasureAdtsBitRate();
        decoder = std::move(d);
        return BASS_OK;
    }
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kStreamIoBuffer));
    d->io_ = avio_alloc_context(buffer, kStreamIoBuffer, 0, d.get(), &Decoder::ReadNet, nullptr, nullptr);
    d->io_->seekable = 0;
    const AVInputFormat* format = nullptr;
    int score = av_probe_input_buffer2(d->io_, &format, "", nullptr, 0, 64 * 1024);
    if (score < 0) return d->ReadTimedOut() ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM;
    if (score < kMinProbeScore || !format) return BASS_ERROR_FILEFORM;
    if (int code = d->OpenInput(format, ""); code != BASS_OK) return code;
    if (int code = d->Prime(); code != BASS_OK) return code;
    decoder = std::move(d);
    return BASS_OK;
}

int Decoder::ReadNet(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<Decoder*>(opaque);
    if (self->PastReadDeadline()) return AVERROR_EXIT;
    int got = self->net_->Read(buffer, size, self->readUntil_);
    if (got > 0) return got;
    return got == 0 ? AVERROR_EOF : AVERROR_EXIT;
}

bool Decoder::PastReadDeadline() {
    if (!net_ || std::chrono::steady_clock::now() <= readUntil_) return false;
    readTimedOut_ = true;
    return true;
}

bool Decoder::ReadTimedOut() const { return readTimedOut_ || (net_ && net_->ReadTimedOut()); }

int Decoder::OpenInput(const AVInputFormat* format, const char* url) {
    format_ = avformat_alloc_context();
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (net_) {
        format_->probesize = 32 * 1024;
        format_->max_analyze_duration = AV_TIME_BASE / 2;
    }
    int result = avformat_open_input(&format_, url, format, nullptr);
    if (result < 0) {
        format_ = nullptr;  // freed by avformat_open_input
        return ReadTimedOut() ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0 && ReadTimedOut()) return BASS_ERROR_TIMEOUT;
    // The ADTS demuxer looks for the next frame after a damaged stretch only while the read
    // position is below the probe size: for a stream that must hold for as long as it plays.
    if (net_) format_->probesize = std::numeric_limits<std::int64_t>::max();
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) return ReadTimedOut() ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
    return OpenCodec();
}

int Decoder::OpenAdts() {
    adts_ = std::make_unique<AdtsFramer>();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec) return BASS_ERROR_FORMAT;
    codec_ = avcodec_alloc_context3(codec);
    codec_->thread_count = 1;
    if (avcodec_open2(codec_, codec, nullptr) < 0) return BASS_ERROR_FORMAT;
    stream_ = 0;
    return BASS_OK;
}

int Decoder::NextAdtsFrame(std::vector<std::uint8_t>& frame) {
    std::array<std::uint8_t, kStreamIoBuffer> chunk;
    while (!adts_->Next(frame)) {
        if (adtsEnded_) return AVERROR_EOF;
        // Before the first frame a stream that holds no ADTS at all is told from one that
        // starts in the middle of a frame by how much has been searched.
        if (rate_ == 0 && adts_->Skipped() > kProbeStreamBytes) return AVERROR_INVALIDDATA;
        int got = ReadNet(this, chunk.data(), static_cast<int>(chunk.size()));
        if (got == AVERROR_EOF) {
            adts_->End();
            adtsEnded_ = true;
            continue;
        }
        if (got < 0) return got;
        adts_->Feed(chunk.data(), static_cast<std::size_t>(got));
    }
    return 0;
}

void Decoder::MeasureAdtsBitRate() {
    // As FFmpeg's own analysis would: half a second of frames, read ahead and kept for the
    // decoder, at most the probe's bytes.
    while (adts_->SampleRate() > 0 && adts_->Frames() * 1024 < static_cast<std::uint64_t>(adts_->SampleRate()) / 2 &&
           adts_->FrameBytes() < kProbeStreamBytes) {
        std::vector<std::uint8_t> frame;
        if (NextAdtsFrame(frame) != 0) break;
        adtsAhead_.push_back(std::move(frame));
    }
    if (adts_->Frames() > 0 && adts_->SampleRate() > 0)
        adtsBitRate_ = static_cast<std::int64_t>(adts_->FrameBytes() * 8 * static_cast<std::uint64_t>(adts_->SampleRate()) /
                                                 (adts_->Frames() * 1024));
}

int Decoder::ReadPacket() {
    if (!adts_) return av_read_frame(format_, packet_);
    if (!adtsAhead_.empty()) {
        adtsFrame_ = std::move(adtsAhead_.front());
        adtsAhead_.pop_front();
    } else if (int result = NextAdtsFrame(adtsFrame_); result != 0) {
        return result;
    }
    if (av_new_packet(packet_, static_cast<int>(adtsFrame_.size())) < 0) return AVERROR(ENOMEM);
    std::copy(adtsFrame_.begin(), adtsFrame_.end(), packet_->data);
    packet_->stream_index = stream_;
    return 0;
}

int Decoder::OpenCodec() {
    AVCodecParameters* parameters = format_->streams[stream_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return BASS_ERROR_FORMAT;
    codec_ = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(codec_, parameters) < 0) return BASS_ERROR_FORMAT;
    codec_->thread_count = 1;
    if (avcodec_open2(codec_, codec, nullptr) < 0) return BASS_ERROR_FORMAT;
    eightBit_ = codec_->sample_fmt == AV_SAMPLE_FMT_U8 || codec_->sample_fmt == AV_SAMPLE_FMT_U8P;
    return BASS_OK;
}

int Decoder::Prime() {
    // The first frame tells the true rate and channel count (HE-AAC doubles its rate) and
    // proves that the content decodes.
    int badPackets = 0;
    for (;;) {
        int result = avcodec_receive_frame(codec_, frame_);
        if (result == 0) {
            rate_ = frame_->sample_rate;
            channels_ = frame_->ch_layout.nb_channels;
            if (rate_ <= 0 || channels_ <= 0) return BASS_ERROR_FORMAT;
            bool converted = Convert(frame_, primed_);
            av_frame_unref(frame_);
            if (!converted) return BASS_ERROR_FORMAT;
            break;
        }
        // A stream may be joined in the middle of a damaged stretch: what the decoder refuses
        // counts against the content, and only too much of it fails the open.
        if (result != AVERROR(EAGAIN) && (result == AVERROR_EOF || !net_ || ++badPackets > kMaxBadPackets))
            return ReadTimedOut() ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM;
        result = ReadPacket();
        if (result < 0) {
            if (!net_ || adts_ || result == AVERROR_EOF || result == AVERROR_EXIT || ++badPackets > kMaxBadPackets)
                return ReadTimedOut() ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM;
            continue;
        }
        if (packet_->stream_index == stream_ && avcodec_send_packet(codec_, packet_) < 0 && ++badPackets > kMaxBadPackets) {
            av_packet_unref(packet_);
            return BASS_ERROR_FILEFORM;
        }
        av_packet_unref(packet_);
    }
    if (net_) return BASS_OK;  // a stream has no length
    AVStream* stream = format_->streams[stream_];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        totalFrames_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate_});
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        totalFrames_ = av_rescale_q(format_->duration, AV_TIME_BASE_Q, AVRational{1, rate_});
    return BASS_OK;
}

std::int64_t Decoder::BitRate() const {
    if (adts_) return adtsBitRate_;
    if (!format_) return 0;
    std::int64_t rate = format_->streams[stream_]->codecpar->bit_rate;
    return rate > 0 ? rate : std::max<std::int64_t>(format_->bit_rate, 0);
}

bool Decoder::DecodeMore(std::vector<std::int16_t>& out) {
    if (!primed_.empty()) {
        out.insert(out.end(), primed_.begin(), primed_.end());
        primed_.clear();
        return true;
    }
    if (net_ && playing_) readUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(net_->TimeoutMs());
    std::size_t before = out.size();
    while (!decoderDrained_) {
        int result = avcodec_receive_frame(codec_, frame_);
        if (result == 0) {
            Convert(frame_, out);
            av_frame_unref(frame_);
            if (out.size() > before) return true;
            continue;
        }
        if (result == AVERROR_EOF) {
            decoderDrained_ = true;
            break;
        }
        // Any other answer than "more input" is a frame the decoder refused: the next packet
        // follows as if it had not been there.
        if (inputEnded_) {
            if (!flushed_) avcodec_send_packet(codec_, nullptr);
            else if (result == AVERROR(EAGAIN)) decoderDrained_ = true;
            flushed_ = true;
            continue;
        }
        if (PastReadDeadline()) {
            inputEnded_ = true;  // no valid audio for the whole time-out
            continue;
        }
        result = ReadPacket();
        if (result < 0) {
            // A file ends at its first read error. A net stream ends with its connection (end of
            // stream), when it is closed or out of time (exit); anything else is a damaged
            // stretch the demuxer resynchronises after.
            if (!net_ || result == AVERROR_EOF || result == AVERROR_EXIT) inputEnded_ = true;
            continue;
        }
        // A damaged packet (a cut-off last frame, a false header) is skipped; the rest plays.
        if (packet_->stream_index == stream_) avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
    }
    Drain(out);
    return out.size() > before;
}

void Decoder::Drain(std::vector<std::int16_t>& out) {
    if (!swr_) return;
    int pending = swr_get_out_samples(swr_, 0);
    if (pending <= 0) return;
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(pending) * 2);
    auto* target = reinterpret_cast<std::uint8_t*>(out.data() + at);
    int got = swr_convert(swr_, &target, pending, nullptr, 0);
    out.resize(at + static_cast<std::size_t>(std::max(got, 0)) * 2);
}

bool Decoder::Convert(AVFrame* frame, std::vector<std::int16_t>& out) {
    if (frame->sample_rate < kLowestRate || frame->sample_rate > kHighestRate) return false;
    AVChannelLayout layout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
    else av_channel_layout_copy(&layout, &frame->ch_layout);
    std::uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    if (!swr_ || frame->sample_rate != swrRate_ || frame->format != swrFormat_ || layout.nb_channels != swrChannels_ ||
        mask != swrLayoutMask_) {
        // A new format mid-stream: the old resampler's last samples are heard before the new
        // one starts, so that the change makes no gap and no click.
        Drain(out);
        swr_free(&swr_);
        AVChannelLayout stereo{};
        av_channel_layout_default(&stereo, 2);
        if (swr_alloc_set_opts2(&swr_, &stereo, AV_SAMPLE_FMT_S16, outRate_, &layout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        // A mono file is heard at its full level on both sides, not 3 dB down.
        if (layout.nb_channels == 1) {
            const double fullOnBothSides[2] = {1.0, 1.0};
            swr_set_matrix(swr_, fullOnBothSides, 1);
        }
        if (swr_init(swr_) < 0) {
            swr_free(&swr_);
            av_channel_layout_uninit(&layout);
            return false;
        }
        swrRate_ = frame->sample_rate;
        swrFormat_ = frame->format;
        swrChannels_ = layout.nb_channels;
        swrLayoutMask_ = mask;
    }
    av_channel_layout_uninit(&layout);

    int skip = 0;
    if (skipUntil_ >= 0) {
        std::int64_t timestamp = frame->best_effort_timestamp;
        if (timestamp != AV_NOPTS_VALUE) {
            AVStream* stream = format_->streams[stream_];
            std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            std::int64_t position = av_rescale_q(timestamp - start, stream->time_base, AVRational{1, rate_});
            if (position + frame->nb_samples <= skipUntil_) return true;
            if (position < skipUntil_) skip = static_cast<int>(skipUntil_ - position);
        }
        skipUntil_ = -1;
    }

    // Skipping inside the frame: move each plane's start past the dropped samples.
    std::array<const std::uint8_t*, kMaxPlanes> planes{};
    auto sampleFormat = static_cast<AVSampleFormat>(frame->format);
    bool planar = av_sample_fmt_is_planar(sampleFormat);
    int planeCount = planar ? frame->ch_layout.nb_channels : 1;
    if (planeCount > kMaxPlanes) return false;
    std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(skip) * av_get_bytes_per_sample(sampleFormat) *
                            (planar ? 1 : frame->ch_layout.nb_channels);
    for (int p = 0; p < planeCount; ++p) planes[static_cast<std::size_t>(p)] = frame->extended_data[p] + offset;

    int inSamples = frame->nb_samples - skip;
    int room = swr_get_out_samples(swr_, inSamples);
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(std::max(room, 0)) * 2);
    auto* target = reinterpret_cast<std::uint8_t*>(out.data() + at);
    int got = swr_convert(swr_, &target, room, planes.data(), inSamples);
    out.resize(at + static_cast<std::size_t>(std::max(got, 0)) * 2);
    return got >= 0;
}

bool Decoder::Seek(std::int64_t frame) {
    if (!format_) return false;
    primed_.clear();
    AVStream* stream = format_->streams[stream_];
    std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    std::int64_t timestamp = start + av_rescale_q(frame, AVRational{1, rate_}, stream->time_base);
    if (av_seek_frame(format_, stream_, timestamp, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format_, stream_, INT64_MIN, timestamp, INT64_MAX, 0) < 0)
        return false;
    avcodec_flush_buffers(codec_);
    swr_free(&swr_);
    inputEnded_ = false;
    flushed_ = false;
    decoderDrained_ = false;
    skipUntil_ = frame;
    return true;
}

std::int64_t Decoder::BytePosition() const { return format_ && format_->pb ? avio_tell(format_->pb) : 0; }

std::int64_t Decoder::ByteSize() const { return format_ && format_->pb ? avio_size(format_->pb) : -1; }

}  // namespace soundlib
