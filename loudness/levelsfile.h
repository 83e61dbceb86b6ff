#pragma once
// NIVEIS.INI: the loudness of every local track measured so far, and the stream's last figure,
// so that a folder of thousands is measured once and a day without the stream still has a
// target. Code page 1252, CR LF, replaced whole. One line per track:
//   NAME=SIZE;MTIME;LUFS;TRUEPEAK
// NAME is the file's name in the music folder (it may hold '=' and ';': the values follow the
// last '='), SIZE in bytes, MTIME in seconds since 1970, LUFS the integrated loudness, TRUEPEAK
// in dBTP; a track that could not be measured has ERRO in both, so that it is measured again
// only when it changes. The stream's line has a key no file can have:
//   /TRANSMISSAO=LUFS;DD/MM/YYYY
// A line that does not read exactly so is dropped, and the next write leaves it out.
#include <QDate>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

inline const QString kLevelsIni = QStringLiteral("NIVEIS.INI");

struct TrackLevel {
    std::int64_t Size = 0;
    std::int64_t Mtime = 0;
    bool Measured = false;  // false: the measurement failed
    double Lufs = 0;
    double TruePeakDb = 0;
};

struct StreamLevel {
    double Lufs = 0;
    QDate Day;
};

struct Levels {
    std::map<QString, TrackLevel> Tracks;
    std::optional<StreamLevel> Stream;
    int Dropped = 0;  // lines of the file read that did not read exactly (never written)
};

// A missing or unreadable file gives empty levels.
Levels ReadLevelsIni(const QString& path);
// Through a temporary file: a failed write leaves the old file as it was.
bool WriteLevelsIni(const QString& path, const Levels& levels);
