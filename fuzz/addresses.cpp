// The station's and the proxy's addresses as they come from the program folder: the bytes as
// ESTACAO.INI and as PROXY.INI, read by the program's own readers, and the texts they give
// handed to the sound library's parsers as the connection hands them over.
#include "app/playerstate.h"
#include "app/startupfiles.h"
#include "app/stationfile.h"
#include "audio/soundlib/netaddress.h"
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"

#include <string>

namespace fuzz {

int Addresses(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    WriteFile(kStationIni, bytes);
    const StationSettings station = ReadStationIni(TempFolder());
    if (!station.Url.isEmpty()) {
        // An address the station file accepts is one the open accepts: a refused one falls
        // back to the built-in station with its history line instead of failing every attempt.
        const auto parsed = soundlib::ParseStreamUrl(station.Url.toUtf8().toStdString());
        Require(parsed.has_value(), "ESTACAO.INI accepted an address that the stream's open refuses");
    }
    soundlib::ParseStreamUrl(std::string(bytes.constData(), bytes.size()));

    WriteFile(startupfiles::kProxyIni, bytes);
    TPlayerState state;
    ReadProxyIni(TempFolder(), state);
    // The two proxy texts the connection makes (server:port, user:pass@server:port).
    const QString server = state.ProxyServer.trimmed() + QLatin1Char(':') + state.ProxyPortStream.trimmed();
    const QString withUser = state.ProxyUser.trimmed() + QLatin1Char(':') + state.ProxyPass.trimmed() + QLatin1Char('@') + server;
    for (const QString& text : {server, withUser}) {
        if (const auto proxy = soundlib::ParseProxyText(text.toUtf8().toStdString())) {
            Require(proxy->port > 0 && proxy->port < 65536 && !proxy->host.empty(), "a proxy without host or port");
            Require(proxy->option.rfind("http://", 0) == 0, "a proxy option FFmpeg cannot take");
        }
    }
    soundlib::ParseProxyText(std::string(bytes.constData(), bytes.size()));
    return 0;
}

}  // namespace fuzz
