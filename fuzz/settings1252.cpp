// A settings file edited by hand, in code page 1252: the bytes as the file, read by the line
// reader, the settings reader and the code-page conversion, as the program reads SERVER.INI
// and VOLUME.INI.
#include "app/startupfiles.h"
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"
#include "system/codepage1252.h"
#include "system/funcoes.h"

namespace fuzz {

int Settings1252(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Every byte survives the round trip through the program's texts.
    Require(ToCp1252(FromCp1252(bytes)) == bytes, "a 1252 byte lost in the round trip");

    WriteFile(startupfiles::kServerIni, bytes);
    WriteFile(startupfiles::kVolumeIni, bytes);
    ReadServerIni(TempFolder());
    ReadNormalVolume(TempFolder());
    bool ok = false;
    const QStringList lines = ReadLines1252(TempFolder() + startupfiles::kServerIni, &ok);
    Require(ok, "an existing file read as missing");
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) continue;
        const QString value = ReadSetting(lines, line.left(equals), QString());
        Require(value.size() <= 255, "a setting longer than 255 characters");
    }
    DescramblePassword(FromCp1252(bytes), startupfiles::kProxyPasswordKey);
    return 0;
}

}  // namespace fuzz
