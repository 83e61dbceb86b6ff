#pragma once
// A volume for each hour: VOLUME.INI may hold VOLUME_HH= lines (HH 00..23, a volume 0..100)
// beside VOLUME_NORMAL. From the start of such an hour the playing volume is that one, reached
// over 10 s; an hour without a line goes back to VOLUME_NORMAL. The file is read at each new
// hour, so that F10's save and a hand edit count from the next one (the office's at once). With
// no hourly line the playing volume is never touched, but once when the lines are taken away:
// it then goes back to VOLUME_NORMAL.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>

struct HourlyVolumes {
    std::array<int, 24> ByHour;  // -1: no line for that hour
    int Normal = 100;
    HourlyVolumes() { ByHour.fill(-1); }
    bool Any() const;
    // The volume from the start of `hour` on.
    int At(int hour) const { return hour >= 0 && hour < 24 && ByHour[hour] >= 0 ? ByHour[hour] : Normal; }
};

// A line "VOLUME_HH=V" that reads so, with its hour and volume.
bool ReadHourlyLine(const QString& line, int* hour, int* volume);
HourlyVolumes ReadHourlyVolumes(const QStringList& lines);
// VOLUME.INI as F10's "Salvar" writes it: VOLUME_NORMAL= first, then the hourly lines of
// `existing` as they were. With none, the one line it always was.
QStringList VolumeIniLines(const QStringList& existing, int normal);

class THourlyVolume {
public:
    static constexpr qint64 kRampMs = 10000;
    explicit THourlyVolume(QString volumeIniPath) : path_(std::move(volumeIniPath)) {}
    // At each tick: the playing volume now, `current` being the one in force.
    int Tick(const QDateTime& now, int current);
    // The file read again at the next tick, as at a new hour (the office replaced its lines).
    void Reread() { hour_ = -1; }

private:
    QString path_;
    int hour_ = -1;
    QDate date_;
    bool ramping_ = false;
    bool hadLines_ = false;  // the last reading had hourly lines
    int from_ = 0, to_ = 0;
    QDateTime rampStart_;
};
