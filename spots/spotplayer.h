#pragma once
// TSpotPlayer: plays the spots over the music on a player object of its own, on the device of
// the music's players. At a spot's start whatever plays is lowered by the spots' dB in 0.3 s
// through the duck that the controller hands over (it keeps running underneath: a live stream
// cannot wait); the spot plays at the playing volume, brought to the loudness the local tracks
// are brought to (its own loudness without levelling); when the last of the spots due together
// has ended, the music comes back up in 1 s. User-interface thread only.
#include "audio/soundlib/soundlib.h"
#include "spots/spotschedule.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TLoudness;
class TZorvanBass;

class TSpotPlayer : public ISpotOutput {
public:
    struct Hooks {
        // Lowers (db below 0) or brings back (0) what the music's players play, over `ms`.
        std::function<void(double db, int ms)> Duck;
        // The volume the music plays at now (0..100).
        std::function<int()> Volume;
        // The spot has ended (its player stopped): the owner looks at what follows.
        std::function<void()> Ended;
        // The file comes from the office and is not here and checked yet.
        std::function<bool(const QString&)> Awaited;
    };
    static constexpr int kDownMs = 300;
    static constexpr int kUpMs = 1000;

    // `spotsDir` with its trailing '/'. `music`: the local tracks' loudness, none without
    // levelling; the spots are then measured beside it, in the spots' own NIVEIS.INI.
    TSpotPlayer(soundlib::ISoundLib& lib, int device, QString spotsDir, TLoudness* music, Hooks hooks, QObject* owner);
    ~TSpotPlayer() override;

    void SetDuckDb(int db) { duckDb_ = db; }
    // The files of SPOTS.INI, measured ahead of their times.
    void Measure(const QStringList& files);

    // Opens `file` ahead of its time while nothing plays, so that its start costs no more than
    // starting: opening a file is the slow part, and on a busy machine the part that makes late.
    void Prepare(const QString& file);

    bool Busy() override;
    bool OutputLost() override;
    bool Start(const QString& file) override;
    bool Awaited(const QString& file) override { return hooks_.Awaited && hooks_.Awaited(file); }
    // After the schedule's tick: nothing left to play, the music comes back up.
    void Settle();
    bool Ducked() const { return ducked_; }

    TZorvanBass& Player() { return *player_; }

private:
    soundlib::ISoundLib& lib_;
    const QString spotsDir_;
    TLoudness* music_;
    std::unique_ptr<TLoudness> levels_;
    Hooks hooks_;
    TZorvanBass* player_;  // owned by `owner`
    int duckDb_ = kDuckDefaultDb;
    bool ducked_ = false;
    QString prepared_;       // the file the player holds, opened and not started
    bool preparedOk_ = false;
};
