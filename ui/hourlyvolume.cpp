#include "ui/hourlyvolume.h"

#include "system/codepage1252.h"
#include "system/funcoes.h"

#include <algorithm>
#include <cmath>

namespace {
const QString kNormalKey = QStringLiteral("VOLUME_NORMAL");
const QString kNormalDefault = QStringLiteral("100");

bool Decimal(const QString& text, int* value) {
    if (text.isEmpty() || text.size() > 3) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    *value = text.toInt();
    return true;
}
}  // namespace

bool HourlyVolumes::Any() const {
    return std::any_of(ByHour.begin(), ByHour.end(), [](int v) { return v >= 0; });
}

bool ReadHourlyLine(const QString& line, int* hour, int* volume) {
    const int equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) return false;
    const QString key = line.left(equals).trimmed().toUpper();
    if (key.size() != 9 || !key.startsWith(QStringLiteral("VOLUME_"))) return false;
    int h = 0, v = 0;
    if (!Decimal(key.mid(7), &h) || h > 23 || !Decimal(line.mid(equals + 1).trimmed(), &v) || v > 100) return false;
    *hour = h;
    *volume = v;
    return true;
}

HourlyVolumes ReadHourlyVolumes(const QStringList& lines) {
    HourlyVolumes volumes;
    for (const QString& line : lines) {
        int hour = 0, volume = 0;
        if (ReadHourlyLine(line, &hour, &volume)) volumes.ByHour[hour] = volume;
    }
    bool ok = false;
    const int normal = ReadSetting(lines, kNormalKey, kNormalDefault).toInt(&ok, 10);
    volumes.Normal = ok ? std::clamp(normal, 0, 100) : kNormalDefault.toInt();
    return volumes;
}

QStringList VolumeIniLines(const QStringList& existing, int normal) {
    QStringList lines{kNormalKey + QLatin1Char('=') + QString::number(normal)};
    for (const QString& line : existing) {
        int hour = 0, volume = 0;
        if (ReadHourlyLine(line, &hour, &volume)) lines << line;
    }
    return lines;
}

int THourlyVolume::Tick(const QDateTime& now, int current) {
    const int hour = now.time().hour();
    if (hour != hour_ || now.date() != date_) {
        hour_ = hour;
        date_ = now.date();
        const HourlyVolumes volumes = ReadHourlyVolumes(ReadLines1252(path_));
        ramping_ = false;
        // Lines that were there and are gone take the volume back to VOLUME_NORMAL once.
        const bool any = volumes.Any() || hadLines_;
        hadLines_ = volumes.Any();
        if (any && volumes.At(hour) != current) {
            ramping_ = true;
            from_ = current;
            to_ = volumes.At(hour);
            rampStart_ = now;
        }
    }
    if (!ramping_) return current;
    const qint64 elapsed = std::clamp<qint64>(rampStart_.msecsTo(now), 0, kRampMs);
    if (elapsed >= kRampMs) {
        ramping_ = false;
        return to_;
    }
    return from_ + int(std::lround(double(to_ - from_) * double(elapsed) / double(kRampMs)));
}
