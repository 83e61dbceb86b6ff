#pragma once
// TZorvanBass: the program's audio player. One object plays one channel of the sound library
// (a local file or an internet stream), detects the end of playback by polling every 60 ms on
// a threaded timer, and announces it through OnStop. It reaches the library only through the
// ISoundLib it is given. All of it runs on the user-interface thread.
#include "audio/soundlib/soundlib.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QTime>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class TThreadedTimer;

// Turns a library error code into its Portuguese text; the code is narrowed to its low
// 16 bits and read as signed first.
QString ErrorText(int code);

class TZorvanBass : public QObject {
    Q_OBJECT
public:
    // Create(owner): RewindOnStop true, BufferLength 3000, CreateErrorCount 0.
    TZorvanBass(soundlib::ISoundLib& lib, QObject* owner);
    ~TZorvanBass() override;

    void InitDevice(int device, void* window);
    static void UpdateDevice(soundlib::ISoundLib& lib, int device, void* window);

    void Load(const QString& source);
    // An internet stream's Load in two steps, for a caller that runs the library's open away
    // from this thread: BeginStream does here what Load does before the open and returns the
    // open itself, which may run on any thread and gives the handle and the library's code of
    // that thread; EndStream takes them here. Load of a URL is the two back to back.
    struct StreamOpened {
        soundlib::HSTREAM channel = 0;
        int code = soundlib::BASS_OK;
    };
    std::function<StreamOpened()> BeginStream(const QString& url);
    void EndStream(const QString& url, const StreamOpened& opened);
    void Play();
    void Stop();
    void Close();
    void FadeOut(std::uint16_t time);

    bool IsPlaying() const;
    bool IsFading();

    std::uint32_t GetVolume();
    void SetVolume(std::uint32_t v);
    std::uint32_t GetPan();
    void SetPan(std::uint32_t p);
    std::uint32_t GetFrequency();
    void SetFrequency(std::uint32_t f);

    std::uint32_t GetLength();
    std::int32_t GetPosition();
    void SetPosition(std::int32_t ms);

    void GetLevels(int& right, int& left);
    // The loudest decoded sample (0..32768) since the last call, whatever the volume; -1 when
    // there is no channel to ask.
    int GetDecodedPeak();
    std::int64_t GetBufferPercent();
    // `wake` once, on a library thread, when GetBufferPercent would fall to `fillPercent` or
    // below, or a piece of the sound goes out with a decoded peak under `quietPeak` (see
    // ISoundLib::BASS_ChannelSetWakeWatch). False when nothing watches: look every time.
    bool WatchForWake(int fillPercent, int quietPeak, std::function<void()> wake);
    std::int64_t GetDecodePosition();
    std::int64_t GetDownloadPosition();
    std::int32_t GetData(void* buffer, std::uint32_t length);

    // The library watches the player's sound output by itself; this is its report. Lost while
    // no output exists (the channel holds its position until one is back).
    bool OutputLost();
    QString OutputName();  // the output in use

    // `device` when it names one of the library's devices, else the system's default output.
    int DeviceOrDefault(int device);

    std::uint8_t GetDevice() const;
    int GetDeviceCount();
    QString GetDeviceName(int n);

    // A gain toward a loudness, applied with the volume as the channel is mixed, so that the
    // volume, the ramps and the fades mean what they always did. Each Load starts at 0 dB.
    void SetLoudnessGain(double db);
    double LoudnessGain() const { return loudnessGainDb_; }
    // Lowers what this player plays by `db` (below 0; 0 brings it back) over `ms`, beside the
    // volume, so that the ramps and fades of the volume go on meaning what they did. It holds
    // for the channels loaded later until it is brought back: a track that follows another
    // under an announcement starts lowered.
    void Duck(double db, int ms);
    double DuckDb() const { return duckDb_; }
    // Handed every channel this player creates: it hears the decoded sound, on the library's
    // decoder thread, whatever the volume (see ISoundLib::BASS_ChannelSetDecodedTap).
    soundlib::ISoundLib::DecodedTap DecodedTap;

    // Raised with the player as sender (see Stop, Close, Poll).
    std::function<void(TZorvanBass*)> OnStop;

    // Fields, as the controller and the report read and write them.
    std::uint16_t BufferLength = 3000;
    std::int32_t Device = 0;
    QString DeviceDescription;
    QString Source;
    std::uint16_t UseAac = 0;
    std::uint32_t FrequencyValue = 44100;
    std::uint32_t VolumeValue = 0;
    std::uint32_t PanValue = 0;
    std::int32_t LastFadeVolume = 0;
    std::int32_t StillTicks = 0;
    bool Looping = false;
    bool RewindOnStop = true;
    soundlib::DWORD Channel = 0;
    bool Loaded = false;
    bool Playing = false;
    TThreadedTimer* PollTimer = nullptr;  // created by the first Load; owned by the player

    // Program-wide state of the unit, one copy for all players.
    static inline std::vector<std::int16_t> InitializedDevices;
    static inline std::int16_t PlayingCount = 0;
    static inline std::int16_t CreatedCount = 0;
    static inline std::int16_t LoadedCount = 0;
    static inline std::int16_t DeviceUpdateCount = 0;
    static inline std::int16_t CreateErrorCount = 0;
    static inline std::int16_t PlaysSinceUpdate = 0;
    static inline QDate InitDate = QDate(1899, 12, 30);
    static inline QTime InitTime = QTime(0, 0);
    // Back to the values at program start (for tests).
    static void ResetProgramWideState();

    // Runs one poll tick now (the PollTimer's handler).
    void Poll();

    // From any thread: a count that rises whenever IsPlaying's answer or the device may have
    // changed, so that a timer's thread can tell that a look at the player would find nothing new.
    std::uint64_t StateChanges() const { return stateChanges_.load(); }
    // Called on this thread right after every rise of StateChanges, for a timer's thread that
    // sleeps until one comes.
    std::function<void()> StateChangesAnnounced;

protected:
    virtual void DoStop();

private:
    void SetLoop(bool on);
    void PrepareLoad();     // the poll timer, the previous channel let go, the device's settings
    void ReadAttributes();  // frequency, volume and pan of the channel into the fields
    void StartChannel();    // the attributes, then play without restart
    // The library kept `device` after a failed BASS_Init, its output lost until it can open it.
    bool WaitsForItsOutput(int device);
    void Loaded_();  // a new channel is there: Loaded, and what every channel is handed
    soundlib::ISoundLib& lib_;
    double loudnessGainDb_ = 0;
    double duckDb_ = 0;
    // Read by the poll timer's thread: the library's count of changes at the last poll, and
    // whether the next tick is owed a look whatever the count says (a start, a fade).
    std::atomic<std::uint64_t> changesSeen_{0};
    std::atomic<bool> pollAnyway_{true};
    std::atomic<std::uint64_t> stateChanges_{0};  // Loaded, Playing or Device written
    int changesWatch_ = 0;  // the library's announcement of its changes to the poll; 0: none
    void LookAtNextTick();
    void StateChanged();  // the rise of stateChanges_, announced
};
