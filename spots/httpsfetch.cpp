#include "spots/httpsfetch.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <chrono>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

struct Interrupt {
    Clock::time_point until;
    const std::atomic<bool>* abort;
    static int Check(void* opaque) {
        const auto* self = static_cast<const Interrupt*>(opaque);
        return self->abort->load() || Clock::now() >= self->until ? 1 : 0;
    }
};

QString ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}
}  // namespace

FetchResult HttpsFetch(const QString& url, const std::string& authorities, int timeoutMs, qint64 largestBytes,
                       const std::atomic<bool>& abort) {
    FetchResult result;
    Interrupt interrupt{Clock::now() + std::chrono::milliseconds(timeoutMs), &abort};
    const AVIOInterruptCB callback{&Interrupt::Check, &interrupt};
    const std::string timeoutUs = std::to_string(qint64(timeoutMs) * 1000);

    AVDictionary* options = nullptr;
    av_dict_set(&options, "timeout", timeoutUs.c_str(), 0);
    av_dict_set(&options, "rw_timeout", timeoutUs.c_str(), 0);
    av_dict_set(&options, "http_proxy", "", 0);
    av_dict_set(&options, "reconnect", "0", 0);
    av_dict_set(&options, "user_agent", "Sonaris-V1", 0);
    av_dict_set(&options, "protocol_whitelist", "https,tls,tcp", 0);
    // As for the station: FFmpeg's TLS takes any certificate unless told to check it.
    av_dict_set(&options, "tls_verify", "1", 0);
    if (!authorities.empty()) av_dict_set(&options, "ca_file", authorities.c_str(), 0);

    AVIOContext* io = nullptr;
    const int opened = avio_open2(&io, url.toUtf8().constData(), AVIO_FLAG_READ, &callback, &options);
    av_dict_free(&options);
    if (opened < 0) {
        result.Error = interrupt.Check(&interrupt) ? QStringLiteral("tempo esgotado") : ErrorText(opened);
        return result;
    }
    const int64_t announced = avio_size(io);
    if (announced > largestBytes) {
        avio_closep(&io);
        result.Error = QStringLiteral("arquivo grande demais");
        return result;
    }
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        const int got = avio_read(io, chunk.data(), int(chunk.size()));
        if (got == AVERROR_EOF || got == 0) break;
        if (got < 0) {
            result.Error = interrupt.Check(&interrupt) ? QStringLiteral("tempo esgotado") : ErrorText(got);
            break;
        }
        if (result.Body.size() + got > largestBytes) {
            result.Error = QStringLiteral("arquivo grande demais");
            break;
        }
        result.Body.append(reinterpret_cast<const char*>(chunk.data()), got);
    }
    avio_closep(&io);
    // A body shorter than announced is a connection cut short.
    if (result.Error.isEmpty() && announced > 0 && result.Body.size() != announced) result.Error = QStringLiteral("arquivo incompleto");
    result.Ok = result.Error.isEmpty();
    if (!result.Ok) result.Body.clear();
    return result;
}
