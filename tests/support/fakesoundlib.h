#pragma once
// FakeSoundLib: a scripted sound library for tests of everything above ISoundLib (the player
// object, the controller, the dialog, local playback). It plays nothing and keeps no time:
// a test sets the state of a channel (positions, levels, buffer) and simulates what the real
// library would do by itself (a stream that ends, stalls, a slide that finishes) with the
// helpers below, then ticks the code under test.
//
// Single-threaded; the error code is one value for the whole fake.
//
// Devices
//   deviceDescriptions[1..10]: description of each device, empty = no such device (index 0 is
//   unused). Default: only device 1, "Fake output".
//   BASS_Init(n) succeeds unless n is in failInit (code initErrorCode) or has no description
//   (code 23); a second BASS_Init of an initialised device fails with code 14.
//   outputComesLater: BASS_Init(n) of such a device keeps it waiting for its output, as the
//   real library does before the session's sound server is up: the device is initialised,
//   its output lost (RestoreOutput brings it), and the call fails with code 3, as does a
//   second one while the output is still lost.
//   BASS_SetDevice(n) needs an initialised device (else code 8); BASS_Free frees the selected
//   device and every channel created on it.
//
// Channels
//   Handles start at 1, grow by one per created channel and are never reused. A freed channel
//   stays in `channels` with freed = true; calls on it, on 0 or on an unknown handle fail with
//   code 5 (IsActive/IsSliding give 0, lengths/positions their error value, Bytes2Seconds -1).
//   A new file channel: length 10 s (1764000 bytes), not 8-bit, file positions 0.
//   A new URL channel: length unknown (BASS_QWORD_ERROR), a full buffer (end 160000,
//   download 160000, current 0: GetBufferPercent 100).
//   onCreate runs on each new channel before the create call returns, to adjust it.
//
// Scripting creation
//   createError[source] = code: creating that source fails with that code; "*" matches every
//   source. The code 0 gives handle 0 without an error code. For files both the first attempt
//   and the software-mixing retry (flags BASS_SAMPLE_SOFTWARE) fail, unless
//   failFirstAttemptOnly is set, in which case the retry succeeds.
//   `source` is the text the library was given: the file name's bytes, or the URL up to its NUL.
//
// Scripting play
//   playError: when non-zero, the next BASS_ChannelPlay fails with that code (one shot).
//   Play on a freed handle fails with 5 by itself (see EndChannel with auto-free).
//
// Behaviour
//   Play: active 1. Stop: active 0, slide cancelled. SetAttributes: -1 keeps freq/volume,
//   -101 keeps pan. SlideAttributes with volume -2: sliding = true, slideTime = time (the
//   volume does not move by itself: set it, or call FinishSlide). IsSliding: BASS_SLIDE_VOL
//   while sliding. SetFlags records loopFlags. GetInfo: freq 44100, 2 channels, flags with
//   BASS_SAMPLE_8BITS when eightBits. GetLevel: `level` (playing or not); GetDecodedPeak:
//   `decodedPeak` (playing or not, not reset by the call). GetData: writes
//   nothing, returns dataResult. Bytes2Seconds / Seconds2Bytes use bytesPerSecond.
//   SetConfig records config[option] = value and returns the previous value (0 when unset);
//   SetConfigPtr(BASS_CONFIG_NET_PROXY) records proxy (nullopt for a null text).
//   BASS_ErrorGetCode returns the code left by the last call (0 = success).
//
// Log
//   calls: one readable line per call, the name and its arguments separated by blanks, e.g.
//   "BASS_Init 1", "BASS_SetConfig 0 3000", "BASS_StreamCreateFile /a/b.mp3 16",
//   "BASS_StreamCreateURL http://x:9500 262144", "BASS_ChannelPlay 3", "BASS_StreamFree 3",
//   "BASS_ChannelSetAttributes 3 44100 80 0", "BASS_ChannelSlideAttributes 3 -1 -2 -101 550",
//   "BASS_ChannelSlideDuck 3 -15 300" (dB as an integer; the channel's duckDb is the target).
//   CountCalls(prefix) counts the lines that begin with prefix (mind "… 1" vs "… 10").
//
// Losing the output
//   LoseOutput(n): device n's output goes away (GetOutputStatus says lost, its channels'
//   positions stay where they are, their decoded peak reads 0 as nothing goes out);
//   RestoreOutput(n, name): it comes back as `name`.
//   GetOutputStatus of an initialised device gives outputLost[n] and outputName[n] (the
//   device's description until RestoreOutput names another); code 8 for any other device.
//   GetDefaultDevice gives defaultDevice (1).
#include "audio/soundlib/soundlib.h"

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class FakeSoundLib : public soundlib::ISoundLib {
public:
    using DWORD = soundlib::DWORD;
    using QWORD = soundlib::QWORD;
    using HSTREAM = soundlib::HSTREAM;

    struct Channel {
        HSTREAM handle = 0;
        int device = 0;            // device selected when it was created
        std::string source;        // file name bytes or URL
        bool isUrl = false;
        bool aac = false;          // created through the AAC entry point
        bool wma = false;          // created through the WMA entry point
        DWORD flags = 0;           // creation flags
        DWORD active = soundlib::BASS_ACTIVE_STOPPED;  // 0 stopped, 1 playing, 2 stalled
        DWORD freq = 44100;
        DWORD volume = 100;
        int pan = 0;
        bool sliding = false;
        DWORD slideTime = 0;
        DWORD loopFlags = 0;       // last BASS_ChannelSetFlags
        QWORD length = 1764000;    // bytes; BASS_QWORD_ERROR = unknown
        QWORD position = 0;        // bytes
        double bytesPerSecond = 176400;
        DWORD level = 0;           // high 16 bits right, low 16 bits left
        DWORD decodedPeak = 16384; // what BASS_ChannelGetDecodedPeak returns, every time: sound
        DWORD dataResult = 0;      // what BASS_ChannelGetData returns
        DWORD filePosCurrent = 0;
        DWORD filePosDownload = 0;
        DWORD filePosEnd = 0;
        bool freed = false;
        int freeFailures = 0;      // number of BASS_StreamFree calls on it that fail (code -1)
        bool eightBits = false;
        float duckDb = 0;          // last BASS_ChannelSlideDuck, taken as reached at once
        soundlib::ISoundLib::Wake wake;  // the wake watch set last, until it is fired
        DWORD wakeFill = 0, wakeQuietPeak = 0;
    };

    FakeSoundLib();

    // --- set-up -------------------------------------------------------------------------
    DWORD version = soundlib::BASSVERSION << 16;
    std::array<std::string, 11> deviceDescriptions;
    std::set<int> failInit;
    std::set<int> outputComesLater;
    int initErrorCode = soundlib::BASS_ERROR_DEVICE;
    std::map<std::string, int> createError;
    bool failFirstAttemptOnly = false;
    std::function<void(Channel&)> onCreate;
    int playError = 0;

    // --- state --------------------------------------------------------------------------
    std::set<int> initialisedDevices;
    int selectedDevice = 0;
    std::deque<Channel> channels;  // every channel ever created, freed ones included (stable addresses)
    std::map<DWORD, DWORD> config;
    std::optional<std::string> proxy;
    int lastError = 0;
    std::vector<std::string> calls;

    Channel* Find(HSTREAM handle);  // also freed channels; nullptr for unknown handles
    Channel* Last();                // the most recently created channel, nullptr if none
    int CountCalls(const std::string& prefix) const;

    // --- what the real library would do by itself --------------------------------------
    void EndChannel(HSTREAM h);     // active 0; freed too when created with auto-free
    void StallChannel(HSTREAM h);   // active 2
    void ResumeChannel(HSTREAM h);  // active 1
    void FinishSlide(HSTREAM h);    // volume 0, active 0, sliding false
    void SetLevel(HSTREAM h, int right, int left);
    void SetFilePositions(HSTREAM h, DWORD current, DWORD download, DWORD end);
    // Off: BASS_ChannelSetWakeWatch is not supported, as in a library without it. On: the
    // watch is kept on the channel, unlogged, and fired only by FireWakeWatch.
    bool wakeWatches = false;
    void FireWakeWatch(HSTREAM h);

    // --- ISoundLib ----------------------------------------------------------------------
    DWORD BASS_GetVersion() override;
    bool BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid) override;
    bool BASS_SetDevice(DWORD device) override;
    bool BASS_Free() override;
    bool BASS_Update() override;
    const char* BASS_GetDeviceDescription(DWORD device) override;
    DWORD BASS_SetConfig(DWORD option, DWORD value) override;
    bool BASS_SetConfigPtr(DWORD option, const char* value) override;
    HSTREAM BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;
    HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;
    HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) override;
    HSTREAM BASS_AAC_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) override;
    bool BASS_StreamFree(HSTREAM handle) override;
    bool BASS_ChannelPlay(DWORD handle, bool restart) override;
    bool BASS_ChannelStop(DWORD handle) override;
    DWORD BASS_ChannelIsActive(DWORD handle) override;
    bool BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) override;
    bool BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) override;
    bool BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) override;
    DWORD BASS_ChannelIsSliding(DWORD handle) override;
    bool BASS_ChannelSetFlags(DWORD handle, DWORD flags) override;
    bool BASS_ChannelGetInfo(DWORD handle, soundlib::BASS_CHANNELINFO* info) override;
    QWORD BASS_ChannelGetLength(DWORD handle) override;
    QWORD BASS_ChannelGetPosition(DWORD handle) override;
    bool BASS_ChannelSetPosition(DWORD handle, QWORD pos) override;
    float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override;
    QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) override;
    DWORD BASS_ChannelGetLevel(DWORD handle) override;
    DWORD BASS_ChannelGetDecodedPeak(DWORD handle) override;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    bool BASS_ChannelSlideDuck(DWORD handle, float db, DWORD ms) override;
    bool BASS_ChannelSetWakeWatch(DWORD handle, DWORD fillPercent, DWORD quietPeak, Wake wake) override;
    DWORD BASS_StreamGetFilePosition(DWORD handle, DWORD mode) override;
    int BASS_ErrorGetCode() override;
    soundlib::OutputStatus GetOutputStatus(DWORD device) override;
    DWORD GetDefaultDevice() override { return defaultDevice; }
    // A new count at every call: the players' polls always find something may have changed,
    // so a scripted change is seen at the next tick as it always was.
    std::uint64_t ChannelStateChanges() override { return ++stateChangeReads_; }

    // --- the output that goes away and comes back -------------------------------------
    std::map<int, bool> outputLost;
    std::map<int, std::string> outputName;
    DWORD defaultDevice = 1;
    void LoseOutput(int device);
    void RestoreOutput(int device, const std::string& name);
    // Off: a new count at every call, so a look at the output is never skipped. On: counted
    // as the real library counts them, raised by LoseOutput and RestoreOutput.
    bool countOutputChanges = false;
    std::uint64_t OutputStatusChanges() override {
        return countOutputChanges ? outputChanges_.load() : ++outputChanges_;
    }

private:
    void Log(std::string line);
    Channel* Live(DWORD handle);  // a channel that is not freed; sets code 5 when there is none
    bool Ok();
    HSTREAM CreateFile(const char* file, DWORD flags, bool wma);
    HSTREAM CreateUrl(const char* url, DWORD flags, bool aac);
    // Gives `c` the next handle and the selected device, keeps it, and lets onCreate adjust it.
    HSTREAM AddChannel(Channel c);
    const int* ScriptedCreateError(const std::string& source) const;
    HSTREAM next_ = 1;
    std::atomic<std::uint64_t> stateChangeReads_{0};
    std::atomic<std::uint64_t> outputChanges_{0};
};
