#include "loudness/levelsfile.h"

#include "system/codepage1252.h"

#include <QStringList>

#include <cmath>

namespace {
const QString kStreamKey = QStringLiteral("/TRANSMISSAO");
const QString kFailed = QStringLiteral("ERRO");
// Beyond these no real file or stream lies: a figure outside them is a damaged line.
constexpr double kQuietestLufs = -70;
constexpr double kLoudestLufs = 5;
constexpr double kLowestPeakDb = -100;
constexpr double kHighestPeakDb = 30;

std::optional<double> Number(const QString& text, double low, double high) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::int64_t> Count(const QString& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < 0) return std::nullopt;
    return value;
}

QString Figure(double value) { return QString::number(value, 'f', 2); }

// One line into `levels`; false when it does not read exactly.
bool ReadLine(const QString& line, Levels& levels) {
    const qsizetype eq = line.lastIndexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    const QString key = line.left(eq);
    const QStringList values = line.mid(eq + 1).split(QLatin1Char(';'));
    if (key == kStreamKey) {
        if (values.size() != 2) return false;
        const auto lufs = Number(values[0], kQuietestLufs, kLoudestLufs);
        const QDate day = QDate::fromString(values[1], QStringLiteral("dd/MM/yyyy"));
        if (!lufs || !day.isValid()) return false;
        levels.Stream = StreamLevel{*lufs, day};
        return true;
    }
    if (values.size() != 4) return false;
    const auto size = Count(values[0]);
    const auto mtime = Count(values[1]);
    if (!size || !mtime) return false;
    TrackLevel track{*size, *mtime, false, 0, 0};
    if (values[2] != kFailed || values[3] != kFailed) {
        const auto lufs = Number(values[2], kQuietestLufs, kLoudestLufs);
        const auto peak = Number(values[3], kLowestPeakDb, kHighestPeakDb);
        if (!lufs || !peak) return false;
        track = TrackLevel{*size, *mtime, true, *lufs, *peak};
    }
    levels.Tracks[key] = track;
    return true;
}
}  // namespace

Levels ReadLevelsIni(const QString& path) {
    Levels levels;
    for (const QString& line : ReadLines1252(path)) {
        if (!ReadLine(line, levels)) ++levels.Dropped;
    }
    return levels;
}

bool WriteLevelsIni(const QString& path, const Levels& levels) {
    QStringList lines;
    if (levels.Stream)
        lines << kStreamKey + QLatin1Char('=') + Figure(levels.Stream->Lufs) + QLatin1Char(';') +
                     levels.Stream->Day.toString(QStringLiteral("dd/MM/yyyy"));
    for (const auto& [name, t] : levels.Tracks) {
        // A name the file cannot hold would never be found again: measured anew instead.
        if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')) || FromCp1252(ToCp1252(name)) != name) continue;
        const QString figures = t.Measured ? Figure(t.Lufs) + QLatin1Char(';') + Figure(t.TruePeakDb) : kFailed + QLatin1Char(';') + kFailed;
        lines << name + QLatin1Char('=') + QString::number(t.Size) + QLatin1Char(';') + QString::number(t.Mtime) + QLatin1Char(';') + figures;
    }
    return WriteLines1252Atomic(path, lines);
}
