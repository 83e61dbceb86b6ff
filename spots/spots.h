#pragma once
// TSpots: the shop's spots, wired into the controller in a few calls. It creates SPOTS/, reads
// SPOTS.INI (again when it changes, looked at once a minute), keeps the schedule and plays the
// spots over the music; it starts each spot on its instant with a timer of its own, and
// otherwise follows the controller's ticks, which hand it the window in force and whether the
// run is activated. The files the office sends by address come through TSpotDownloads. User-
// interface thread only. With no SPOTS.INI it plays nothing, creates no player and measures
// nothing, and with no office's list it fetches nothing: a look at the file once a minute is all
// it costs.
#include "audio/soundlib/soundlib.h"
#include "schedule/playwindow.h"
#include "spots/spotdownloads.h"
#include "spots/spotplayer.h"
#include "spots/spotschedule.h"
#include "spots/spotsfile.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class TLoudness;

class TSpots : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> History;  // Salva_Historico
        std::function<void(double db, int ms)> Duck;   // both music players (TZorvanBass::Duck)
        std::function<int()> Volume;                   // the playing volume
        // The history lines of a date ("HH:MM:SS - ..."), to learn until when a previous run
        // of the day kept its record; none: the spots since the window opened count as missed.
        std::function<QStringList(const QDate&)> HistoryOf;
    };
    // `programFolder` with its trailing '/'; `device` the music players' device; `music` the
    // local tracks' loudness (none with NIVELAR=0). Created before the run writes its first
    // history line: what the history holds then is the previous runs'.
    TSpots(soundlib::ISoundLib& lib, const QString& programFolder, int device, TLoudness* music, Hooks hooks,
           QObject* parent = nullptr);
    ~TSpots() override;

    // Every tick of the daily run, with the window in force and whether the run is activated.
    void Tick(const PlayWindow& window, bool activated);
    // After the day's account line: "RESUMO DE SPOTS - ..." when any spot was due since the last.
    void WriteSummary();
    // With the music's players at the scheduled close: a spot that plays fades out with them
    // (the music's duck goes back with the spot's end).
    void FadeOut(std::uint16_t ms);
    // At deactivation, whose run has no more ticks to say so: the spot that plays fades out, and
    // nothing of the time until the next activation is due, nor missed.
    void Deactivate(std::uint16_t fadeMs);
    // SPOTS.INI and the office's list of files read again now (the office replaced them): the
    // new spots hold from this moment, not from the next look.
    void Reread();
    TSpotDownloads& Downloads() { return downloads_; }
    // The next spot time (the fleet's proximo_spot).
    std::optional<TSpotSchedule::Upcoming> Next() const;

    TSpotSchedule& Schedule() { return schedule_; }
    int Missed() const { return schedule_.Missed(); }  // since the day's last summary
    TSpotPlayer* Player() { return player_.get(); }

private:
    void Look();      // SPOTS.INI changed?
    void Run();       // a tick with what the controller last said
    void ArmTimer();  // on the next spot's instant

    soundlib::ISoundLib& lib_;
    const QString iniPath_;
    const QString spotsDir_;
    const int device_;
    TLoudness* music_;
    Hooks hooks_;
    TSpotSchedule schedule_;
    TSpotDownloads downloads_;
    QStringList files_;  // SPOTS.INI's files, measured
    std::unique_ptr<TSpotPlayer> player_;  // created with the first SPOTS.INI
    FileChangeStamp stamp_;
    QDateTime lastLook_;
    PlayWindow window_;
    bool activated_ = false;
    int duckDb_ = kDuckDefaultDb;
    QTimer onTime_;
};
