#pragma once
// The texts a stream connection starts from: the stream address, the proxy text of the
// configuration, and the library codes of the ways a connection fails.
#include <optional>
#include <string>

namespace soundlib {

struct StreamAddress {
    std::string url;   // scheme in lower case, ready for FFmpeg
    std::string host;  // for the name look-up
    int port = 80;
};

// Accepts "http://host[:port][/path]" (scheme in any case; https when FFmpeg has TLS).
// nullopt for anything else: the caller reports a malformed address (code 20).
std::optional<StreamAddress> ParseStreamUrl(const std::string& text);

struct ProxyAddress {
    std::string option;  // FFmpeg's http_proxy value: "http://[USER:PASS@]HOST:PORT"
    std::string host;
    int port = 0;
};

// "server:port" or "user:pass@server:port" (blanks around the whole text ignored); the
// credentials are percent-encoded. nullopt when the text names no usable proxy.
std::optional<ProxyAddress> ParseProxyText(const std::string& text);

std::string PercentEncode(const std::string& text);

// The library code of an FFmpeg error met while connecting or reading the first data.
// `timedOut` says that the time-out's deadline had passed when the call gave up.
int ConnectionErrorCode(int averror, bool timedOut);

}  // namespace soundlib
