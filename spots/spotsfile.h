#pragma once
// SPOTS.INI (program folder, code page 1252, CR LF, only read): one spot per line,
//   HH:MM:SS;DIAS;ARQUIVO   at that time of the wall clock
//   */MM;DIAS;ARQUIVO       every MM minutes on the clock (*/30 at :00 and :30 of every hour)
// DIAS are weekday digits as CFG.ACI counts them (1 Sunday .. 7 Saturday), ARQUIVO a file in
// SPOTS/. ABAIXAR_DB= is how far the music goes down under a spot (default 15). Blank lines
// are nothing; any other line that does not read so is reported by its number and the others
// stand.
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

inline const QString kSpotsIni = QStringLiteral("SPOTS.INI");
inline const QString kSpotsFolder = QStringLiteral("SPOTS");
inline const QString kDuckKey = QStringLiteral("ABAIXAR_DB");
constexpr int kDuckDefaultDb = 15;
constexpr int kDuckDeepestDb = 60;

struct SpotLine {
    int Number = 0;          // the line's number in the file, from 1
    bool Repeats = false;    // */MM
    QTime At;                // when it does not repeat
    int EveryMinutes = 0;    // 1..60 when it repeats
    std::uint8_t Days = 0;   // bit n-1 for weekday n
    QString File;            // a name in SPOTS/
    bool On(int weekday) const { return weekday >= 1 && weekday <= 7 && (Days >> (weekday - 1)) & 1; }
};

struct SpotsSettings {
    bool Exists = false;
    std::vector<SpotLine> Spots;
    int DuckDb = kDuckDefaultDb;  // lowered by this many dB
    std::vector<int> BadLines;    // numbers, from 1
};

SpotsSettings ReadSpotsIni(const QString& path);
// The history line of a line that does not read.
QString BadLineText(int number);

// What tells that the file changed: a write, a replacement, its removal or arrival.
struct FileChangeStamp {
    bool Exists = false;
    qint64 Size = 0;
    qint64 MtimeNs = 0;
    bool operator==(const FileChangeStamp&) const = default;
};
FileChangeStamp StampOf(const QString& path);
