#include "app/diagnostics.h"

#include "app/playerstate.h"
#include "audio/uzorvanbass.h"
#include "system/formats.h"

#include <QStringList>

namespace {
QString Flag(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }
}  // namespace

QString ServiceReport(TZorvanBass* WebPlayer, TZorvanBass* LocalPlayer, bool meterRunning) {
    const QString rule(98, QLatin1Char('-'));
    // The player widens the library's unsigned 32-bit positions; the report reads them as the
    // signed 32-bit numbers they are, so the library's "no position" answer shows as -1.
    const auto decoded = static_cast<std::int32_t>(static_cast<std::uint32_t>(WebPlayer->GetDecodePosition()));
    const auto downloaded = static_cast<std::int32_t>(static_cast<std::uint32_t>(WebPlayer->GetDownloadPosition()));
    const auto rest = static_cast<std::int32_t>(static_cast<std::uint32_t>(downloaded) - static_cast<std::uint32_t>(decoded));

    QStringList lines;
    lines << rule
          << QStringLiteral("Data Inicio: ") + FormatDate(TZorvanBass::InitDate) + QStringLiteral("   -   ") +
                 FormatTime(TZorvanBass::InitTime)
          << rule
          << QStringLiteral("Playng: ") + QString::number(TZorvanBass::PlayingCount)
          << QStringLiteral("Canais Criados: ") + QString::number(TZorvanBass::CreatedCount)
          << QStringLiteral("Canais Carregados: ") + QString::number(TZorvanBass::LoadedCount)
          << QStringLiteral("Atualiza Device: ") + QString::number(TZorvanBass::DeviceUpdateCount)
          << QStringLiteral("Erro ao Criar Canal: ") +
                 QString::number(static_cast<std::uint16_t>(TZorvanBass::CreateErrorCount))
          << QStringLiteral("Canais não Atualizado: ") + QString::number(TZorvanBass::PlaysSinceUpdate)
          << rule
          << QStringLiteral("DEVICE WEB: ") + QString::number(static_cast<std::int8_t>(WebPlayer->GetDevice())) +
                 QStringLiteral(" - ") + WebPlayer->DeviceDescription
          << rule
          << QStringLiteral("C MUSICA Started: ") + Flag(LocalPlayer->IsPlaying()) + QStringLiteral("  -  Fading: ") +
                 Flag(LocalPlayer->IsFading()) + QStringLiteral("  -  Volume: ") + QString::number(LocalPlayer->GetVolume())
          << QStringLiteral("C WEB Started: ") + Flag(WebPlayer->IsPlaying()) + QStringLiteral("  -  Fading: ") +
                 Flag(WebPlayer->IsFading()) + QStringLiteral("  -  Volume: ") + QString::number(WebPlayer->GetVolume())
          << QStringLiteral("CW POSITION: ") + QString::number(decoded)
          << QStringLiteral("CW DOWNLOAD: ") + QString::number(downloaded)
          << QStringLiteral("CW RESTO: ") + QString::number(rest)
          << QStringLiteral("WCT_PRONTO: ") + QString::number(PlayerState.StallTicks)
          << QStringLiteral("WERRO_WEB: ") + QString::number(PlayerState.WebError)
          << QStringLiteral("Timer Meter: ") + Flag(meterRunning)
          << QStringLiteral("WMIN_POS: ") + QString::number(PlayerState.BufferMark);
    // A station of the shop's own (ESTACAO.INI): the service sees which address was played.
    if (!PlayerState.StationUrl.isEmpty()) lines << QStringLiteral("ESTACAO.INI URL: ") + PlayerState.StreamUrl;
    return lines.join(QLatin1Char('\r'));
}
