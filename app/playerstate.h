#pragma once
// The shared player state: program-wide values that the controller's Parts, the local
// playback and the sound device dialog read and write. One instance, PlayerState, lives for
// the whole run; tests assign a fresh TPlayerState{} to start again from the load values.
#include "schedule/playwindow.h"

#include <QString>
#include <QTime>

#include <array>
#include <cstdint>

struct TPlayerState {
    std::int32_t DeviceIndex = 1;
    std::int32_t NormalVolume = 100;
    std::int32_t RampVolume = 100;
    std::int32_t WebError = -1;  // 0 stream open and playing; -1 none, one is wanted; else library code
    std::int32_t StallTicks = 0;
    std::int32_t EmptyTicks = 0;
    std::int32_t BufferMark = 0;
    bool CloseArmed = false;
    bool AutoStarted = false;
    QString StreamUrl;
    QString StationLabel;
    QString StreamPort;
    QTime ActivatedAt = QTime(0, 0);
    QString HistoryDir;
    QString MusicDir;
    // The window in force, as its labels show it, and as the instants it holds (the stop of a
    // night lies on the next date).
    QTime TodayStart = QTime(0, 0);
    QTime TodayStop = QTime(0, 0);
    PlayWindow Window;
    QString ProxyUser;
    QString ProxyPass;
    QString ProxyServer;
    QString ProxyPortStream = QStringLiteral("0");
    QString ProxyTypeStream = QStringLiteral("0");
    // The proxy text handed to the sound library, which reads it at every connection: it must
    // stay valid for the whole run. At most 99 characters and a terminating zero.
    std::array<char, 100> ProxyText{};
    // ESTACAO.INI, read once at creation: the shop's own station (empty: the built-in one) and
    // the dead-air detection's threshold and duration (0 seconds: no detection).
    QString StationUrl;
    QString StationName;
    std::int32_t SilenceDb = -50;
    std::int32_t SilenceSeconds = 30;
    bool Nivelar = true;  // local tracks brought to the stream's loudness

    // Today's playing window holds both of its ends.
    bool InsideToday(const QDateTime& now) const { return Window.Holds(now); }
};

inline TPlayerState PlayerState;
