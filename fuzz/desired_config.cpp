// The settings a chain's office sends, as the broker hands them to the shop: the bytes as the
// document, checked, and when taken, written into the program folder and read back by the
// shop's own readers, which must find what the document said.
#include "app/startupfiles.h"
#include "app/stationfile.h"
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"
#include "schedule/cfgfile.h"
#include "spots/remotespots.h"
#include "spots/spotsfile.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/rawfile.h"
#include "telemetry/desiredconfig.h"
#include "ui/hourlyvolume.h"

#include <QFile>
#include <QJsonDocument>

namespace fuzz {

int DesiredConfig(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DesiredCheck check = CheckDesiredConfig(bytes);
    Require(check.Config.has_value() != !check.Refusal.isEmpty(), "a document neither taken nor refused with a reason");
    Require(!check.Refusal.contains(QLatin1Char('\n')) && !check.Refusal.contains(QLatin1Char('\r')),
            "a refusal that would break its history line");
    Require(!QJsonDocument::fromJson(AppliedPayload(check.Version, check.Refusal.isEmpty(), check.Refusal, QDateTime::currentDateTime())).isNull(),
            "an answer that is not JSON");
    if (!check.Config) return 0;
    const ::DesiredConfig& c = *check.Config;
    Require(bytes.size() <= kMaxDesiredBytes && c.Version > 0, "a document taken past its size or without a version");
    Require(!AppliedHistoryLine(c).contains(QLatin1Char('\n')) && !AppliedHistoryLine(c).contains(QLatin1Char('\r')),
            "an author or reason that would break the history line");

    for (const char* name : {"CFG.ACI", "VOLUME.INI", "ESTACAO.INI", "SPOTS.INI", "SPOTS_REMOTOS.JSON"})
        QFile::remove(TempFolder() + QLatin1String(name));
    WriteFile(kStationIni, "SILENCIO_DB=-40\r\n");
    Require(WriteDesiredFiles(c, TempFolder()).isEmpty(), "a document taken that could not be written");
    if (c.Schedule) {
        WeekSchedule week;
        Require(ParseSchedule(ReadLines1252(CfgFilePath(TempFolder())), week) == 7, "a schedule not of seven days");
        for (std::size_t i = 0; i < week.size(); ++i) {
            const auto& day = (*c.Schedule)[i];
            bool ok = false;
            if (day) {
                Require(ParseTime(week[i].Start, &ok) == day->Start && ok && ParseTime(week[i].Stop, &ok) == day->Stop && ok,
                        "a day that reads back otherwise");
            } else {
                // "||||" reads as "|||" and nothing: no time, as a day never saved with F11.
                ParseTime(week[i].Start, &ok);
                Require(!ok, "a day without a window that reads as one");
            }
        }
    }
    if (c.Volume) Require(ReadNormalVolume(TempFolder()) == *c.Volume, "a volume that reads back otherwise");
    const StationSettings station = ReadStationIni(TempFolder());
    Require(station.SilenceDb == -40, "a station setting the office did not name was lost");
    if (c.Station) Require(station.Url == c.Station->Url && !station.UrlRefused && station.Label == c.Station->Label,
                           "a station that reads back otherwise");
    if (c.Level) Require(station.Level == *c.Level, "levelling that reads back otherwise");
    if (c.HourlyVolumes) {
        const HourlyVolumes hours = ReadHourlyVolumes(ReadLines1252(TempFolder() + QStringLiteral("VOLUME.INI")));
        for (std::size_t h = 0; h < 24; ++h) Require(hours.ByHour[h] == (*c.HourlyVolumes)[h], "an hourly volume that reads back otherwise");
    }
    if (c.Spots) {
        // Every spot the office may send is one the shop reads, in its order, inside SPOTS/.
        const SpotsSettings spots = ReadSpotsIni(TempFolder() + kSpotsIni);
        Require(spots.BadLines.empty() && spots.Spots.size() == c.Spots->size(), "a spot the shop cannot read");
        for (std::size_t i = 0; i < spots.Spots.size(); ++i)
            Require(spots.Spots[i].File == (*c.Spots)[i].File, "a spot whose file reads back otherwise");
        for (const RemoteSpotFile& f : ParseRemoteSpots(ReadFileRaw(TempFolder() + kRemoteSpotsFile).value_or(QByteArray())))
            Require(IsPlainSpotName(f.File), "a file to download outside SPOTS/");
    }
    return 0;
}

}  // namespace fuzz
