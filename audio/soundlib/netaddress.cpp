#include "audio/soundlib/netaddress.h"

#include "audio/soundlib/soundlib.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace soundlib {

namespace {

std::string Trimmed(const std::string& text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::optional<int> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) return std::nullopt;
    int port = std::stoi(text);
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

bool ValidHost(const std::string& host) {
    if (host.empty()) return false;
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_';
    });
}

}  // namespace

std::optional<StreamAddress> ParseStreamUrl(const std::string& text) {
    auto sep = text.find("://");
    if (sep == std::string::npos) return std::nullopt;
    std::string scheme = text.substr(0, sep);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme != "http" && scheme != "https") return std::nullopt;
    std::string rest = text.substr(sep + 3);
    if (std::any_of(rest.begin(), rest.end(), [](unsigned char c) { return c <= ' ' || c == 127; })) return std::nullopt;

    auto pathStart = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, pathStart);
    std::string path = pathStart == std::string::npos ? std::string("/") : rest.substr(pathStart);
    if (authority.find('@') != std::string::npos) return std::nullopt;

    StreamAddress address;
    address.port = scheme == "https" ? 443 : 80;
    auto colon = authority.rfind(':');
    address.host = authority.substr(0, colon);
    if (colon != std::string::npos) {
        auto port = ParsePort(authority.substr(colon + 1));
        if (!port) return std::nullopt;
        address.port = *port;
    }
    if (!ValidHost(address.host)) return std::nullopt;
    address.url = scheme + "://" + authority;
    if (path.front() != '/') address.url += '/';
    address.url += path;
    return address;
}

std::string PercentEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<ProxyAddress> ParseProxyText(const std::string& raw) {
    std::string text = Trimmed(raw);
    std::string credentials;
    auto at = text.rfind('@');
    if (at != std::string::npos) {
        credentials = text.substr(0, at);
        text = text.substr(at + 1);
    }
    auto colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    ProxyAddress proxy;
    proxy.host = text.substr(0, colon);
    auto port = ParsePort(text.substr(colon + 1));
    if (!port || !ValidHost(proxy.host)) return std::nullopt;
    proxy.port = *port;

    proxy.option = "http://";
    if (at != std::string::npos) {
        auto split = credentials.find(':');
        std::string user = credentials.substr(0, split);
        std::string pass = split == std::string::npos ? std::string() : credentials.substr(split + 1);
        proxy.option += PercentEncode(user) + ":" + PercentEncode(pass) + "@";
    }
    proxy.option += proxy.host + ":" + std::to_string(proxy.port);
    return proxy;
}

int ConnectionErrorCode(int averror, bool timedOut) {
    if (timedOut || averror == AVERROR(ETIMEDOUT)) return BASS_ERROR_TIMEOUT;
    switch (averror) {
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR_HTTP_OTHER_4XX:
    case AVERROR_HTTP_SERVER_ERROR:
        return BASS_ERROR_FILEOPEN;
    case AVERROR_PROTOCOL_NOT_FOUND:
        return BASS_ERROR_ILLPARAM;
    case AVERROR_INVALIDDATA:
    case AVERROR_EOF:
        return BASS_ERROR_FILEFORM;
    default:
        break;
    }
    // Refused, reset, unreachable, a failed name look-up inside FFmpeg (EIO): no connection.
    return BASS_ERROR_NONET;
}

}  // namespace soundlib
