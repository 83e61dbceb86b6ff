// Creating channels: files through FFmpeg's own file reading, URLs through a NetStream that
// connects, is probed, and is pre-buffered before the call returns, all of it within the
// network time-out. A URL may be opened on a thread other than the one that makes the other
// calls (the caller waits for it without blocking its user interface): it holds tableLock_
// only to read the settings at its start and to register the channel at its end.
#include "audio/soundlib/realsoundlib.h"

#include "audio/soundlib/channel.h"
#include "audio/soundlib/decoder.h"
#include "audio/soundlib/errorcode.h"
#include "audio/soundlib/netaddress.h"
#include "audio/soundlib/netstream.h"
#include "audio/soundlib/outputdevice.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace soundlib {

namespace {
// Until the stream tells its own, the net buffer is sized for 128 kbit/s.
constexpr std::int64_t kAssumedBitRate = 128000;
constexpr DWORD kKeptFlags = BASS_SAMPLE_LOOP | BASS_SAMPLE_SOFTWARE | BASS_STREAM_AUTOFREE;

std::size_t NetBufferBytes(DWORD ms, std::int64_t bitRate) {
    return static_cast<std::size_t>(static_cast<std::int64_t>(ms) * (bitRate / 8) / 1000);
}
}  // namespace

HSTREAM RealSoundLib::BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) {
    if (mem || offset != 0 || length != 0 || !file) {
        // Memory streams and parts of files are not offered by this library.
        SetErrorCode(BASS_ERROR_ILLPARAM);
        return 0;
    }
    return CreateFile(file, flags);
}

HSTREAM RealSoundLib::BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) {
    // FFmpeg reads ASF/WMA like any other format, by its content.
    return BASS_StreamCreateFile(mem, file, offset, length, flags);
}

int RealSoundLib::DecodeFile(const char* path, int rate, const DecodedSink& sink) {
    // The decoder of a file channel, on the caller's thread: no device, no table, no lock.
    if (!path || rate < 8000 || rate > 192000 || !sink) return BASS_ERROR_ILLPARAM;
    std::unique_ptr<Decoder> decoder;
    if (int code = Decoder::OpenFile(path, rate, decoder); code != BASS_OK) return code;
    if (decoder->EightBit()) return BASS_ERROR_FORMAT;  // a file channel refuses it too
    std::vector<std::int16_t> piece;
    while (decoder->DecodeMore(piece)) {
        if (!sink(piece.data(), piece.size() / 2)) break;
        piece.clear();
    }
    return BASS_OK;
}

HSTREAM RealSoundLib::CreateFile(const char* file, DWORD flags) {
    {
        std::lock_guard<std::mutex> guard(tableLock_);
        ReleaseFinished();
    }
    OutputDevice* device = CurrentDevice();
    if (!device) return 0;
    std::unique_ptr<Decoder> decoder;
    if (int code = Decoder::OpenFile(file, device->Rate(), decoder); code != BASS_OK) {
        SetErrorCode(code);
        return 0;
    }
    ChannelFormat format{device->Rate(), static_cast<int>(bufferMs_), device->Frames(), flags & kKeptFlags};
    auto channel = std::make_unique<Channel>(current_, format, std::move(decoder), nullptr);
    std::lock_guard<std::mutex> guard(tableLock_);
    return Register(std::move(channel), flags & kKeptFlags);
}

HSTREAM RealSoundLib::BASS_StreamCreateURL(const char* url, DWORD, DWORD flags, void*, DWORD) {
    return CreateUrl(url, flags, false);
}

HSTREAM RealSoundLib::BASS_AAC_StreamCreateURL(const char* url, DWORD, DWORD flags, void*, DWORD) {
    return CreateUrl(url, flags, true);
}

HSTREAM RealSoundLib::CreateUrl(const char* url, DWORD flags, bool aac) {
    // One deadline for the whole attempt, from here: connection, redirects, headers, probe and
    // pre-fill share it, so no server can hold an attempt longer however it answers.
    struct Settings {
        int device = 0, rate = 0, frames = 0;
        DWORD bufferMs = 0, netBufferMs = 0, netTimeoutMs = 0;
        std::string proxy;
        std::string authorities;
    } settings;
    {
        std::lock_guard<std::mutex> guard(tableLock_);
        OutputDevice* device = CurrentDevice();
        if (!device) return 0;
        settings = {current_, device->Rate(), device->Frames(), bufferMs_, netBufferMs_, netTimeoutMs_, proxy_ ? proxy_ : "",
                    authorities_};
    }
    const auto deadline = NetStream::Clock::now() + std::chrono::milliseconds(settings.netTimeoutMs);
    auto address = url ? ParseStreamUrl(url) : std::nullopt;
    if (!address) {
        SetErrorCode(BASS_ERROR_ILLPARAM);
        return 0;
    }
    // The proxy text is read anew at every connection; blank means none.
    std::optional<ProxyAddress> proxy;
    if (settings.proxy.find_first_not_of(" \t") != std::string::npos) {
        proxy = ParseProxyText(settings.proxy);
        if (!proxy) {
            SetErrorCode(BASS_ERROR_NONET);
            return 0;
        }
    }

    auto net = std::make_unique<NetStream>(static_cast<int>(settings.netTimeoutMs));
    if (int code = net->Connect(*address, proxy, settings.authorities, deadline); code != BASS_OK) {
        SetErrorCode(code);
        return 0;
    }
    if (net->MimeType().rfind("text/", 0) == 0) {
        SetErrorCode(BASS_ERROR_FILEFORM);  // a web page, not a stream
        return 0;
    }
    net->Start(NetBufferBytes(settings.netBufferMs, kAssumedBitRate));

    std::unique_ptr<Decoder> decoder;
    if (int code = Decoder::OpenStream(*net, aac, settings.rate, deadline, decoder); code != BASS_OK) {
        SetErrorCode(code);
        return 0;
    }
    std::int64_t bitRate = decoder->BitRate();
    if (bitRate >= 8000 && bitRate <= 2000000) net->SetCapacity(NetBufferBytes(settings.netBufferMs, bitRate));
    if (!net->WaitForFill(net->Capacity() * 3 / 4, deadline)) {
        SetErrorCode(BASS_ERROR_TIMEOUT);
        return 0;
    }
    decoder->StartPlaying();
    ChannelFormat format{settings.rate, static_cast<int>(settings.bufferMs), settings.frames, flags & kKeptFlags};
    auto channel = std::make_unique<Channel>(settings.device, format, std::move(decoder), std::move(net));
    std::lock_guard<std::mutex> guard(tableLock_);
    // The device may have been freed (or opened anew at another rate) while this waited.
    OutputDevice* device = devices_[static_cast<std::size_t>(settings.device)].get();
    if (!device || device->Rate() != settings.rate) {
        SetErrorCode(BASS_ERROR_INIT);
        return 0;
    }
    return Register(std::move(channel), flags & kKeptFlags);
}

}  // namespace soundlib
