#pragma once
// The sound library as the player object sees it: the calls of the 2.3 API, with their names,
// arguments, constants and error codes. Two implementations: the real one over FFmpeg and
// SDL2 (RealSoundLib, realsoundlib.h) and a scripted fake for the controller's tests
// (FakeSoundLib, tests/support/fakesoundlib.h).
//
// Callers are on the user-interface thread only, but for the URL open and DecodeFile, which
// say so. The error code is per calling thread and describes the last call made on that thread
// ("read right after it").
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace soundlib {

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using HSTREAM = DWORD;  // channel handle; 0 = none

// Version reported by BASS_GetVersion: high 16 bits 0x0203 (515) = 2.3.
constexpr DWORD BASSVERSION = 0x0203;

// Config options.
constexpr DWORD BASS_CONFIG_BUFFER = 0;        // playback buffer length, ms
constexpr DWORD BASS_CONFIG_NET_TIMEOUT = 11;  // connect and data-wait time-out, ms
constexpr DWORD BASS_CONFIG_NET_BUFFER = 12;   // download buffer length, ms
constexpr DWORD BASS_CONFIG_NET_PROXY = 17;    // proxy text "[user:pass@]server:port" or none

// Flags.
constexpr DWORD BASS_SAMPLE_8BITS = 1;
constexpr DWORD BASS_SAMPLE_MONO = 2;
constexpr DWORD BASS_SAMPLE_LOOP = 4;
constexpr DWORD BASS_SAMPLE_SOFTWARE = 16;
constexpr DWORD BASS_STREAM_AUTOFREE = 0x40000;  // 262144

// BASS_ChannelIsActive.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;

// BASS_ChannelIsSliding.
constexpr DWORD BASS_SLIDE_FREQ = 1;
constexpr DWORD BASS_SLIDE_VOL = 2;
constexpr DWORD BASS_SLIDE_PAN = 4;

// BASS_StreamGetFilePosition modes.
constexpr DWORD BASS_FILEPOS_CURRENT = 0;
constexpr DWORD BASS_FILEPOS_DOWNLOAD = 1;
constexpr DWORD BASS_FILEPOS_END = 2;

// Error value of the calls that return a count: all bits set.
constexpr DWORD BASS_DWORD_ERROR = 0xFFFFFFFFu;
constexpr QWORD BASS_QWORD_ERROR = 0xFFFFFFFFFFFFFFFFull;

// Error codes (BASS_ErrorGetCode).
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;
constexpr int BASS_ERROR_FILEOPEN = 2;   // open failed; also an HTTP error status
constexpr int BASS_ERROR_DRIVER = 3;
constexpr int BASS_ERROR_BUFLOST = 4;
constexpr int BASS_ERROR_HANDLE = 5;     // not a valid handle (also: freed by auto-free)
constexpr int BASS_ERROR_FORMAT = 6;
constexpr int BASS_ERROR_POSITION = 7;
constexpr int BASS_ERROR_INIT = 8;       // device not initialised
constexpr int BASS_ERROR_START = 9;
constexpr int BASS_ERROR_ALREADY = 14;   // device already initialised
constexpr int BASS_ERROR_NOPAUSE = 16;
constexpr int BASS_ERROR_ILLTYPE = 19;
constexpr int BASS_ERROR_ILLPARAM = 20;  // bad parameter; also a malformed URL
constexpr int BASS_ERROR_DEVICE = 23;    // no such device
constexpr int BASS_ERROR_NOPLAY = 24;
constexpr int BASS_ERROR_FREQ = 25;
constexpr int BASS_ERROR_NOTFILE = 27;
constexpr int BASS_ERROR_NOHW = 29;
constexpr int BASS_ERROR_NONET = 32;     // no connection could be made (refused, unresolved, bad proxy)
constexpr int BASS_ERROR_CREATE = 33;
constexpr int BASS_ERROR_NOFX = 34;
constexpr int BASS_ERROR_PLAYING = 35;
constexpr int BASS_ERROR_NOTAVAIL = 37;
constexpr int BASS_ERROR_DECODE = 38;
constexpr int BASS_ERROR_DX = 39;
constexpr int BASS_ERROR_TIMEOUT = 40;   // no answer within the network time-out
constexpr int BASS_ERROR_FILEFORM = 41;  // not an audio stream / unsupported file format
constexpr int BASS_ERROR_UNKNOWN = -1;

// BASS_ChannelGetInfo: the third 32-bit field is the flags.
struct BASS_CHANNELINFO {
    DWORD freq;
    DWORD chans;
    DWORD flags;
    DWORD ctype;
    DWORD origres;
};

// Beyond the 2.3 calls: the state of an initialised device's sound output, which the library
// watches by itself. While `lost` no output exists: the channels hold their positions and
// resume on the output the library opens next. `name` is the output in use (or last used).
struct OutputStatus {
    bool lost = false;
    std::string name;
};

class ISoundLib {
public:
    virtual ~ISoundLib() = default;

    virtual DWORD BASS_GetVersion() = 0;
    // device 1..10; freq 44100; flags 0; win: the owner window (unused on Linux); clsid: none.
    virtual bool BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid) = 0;
    virtual bool BASS_SetDevice(DWORD device) = 0;  // selects the device of later calls
    virtual bool BASS_Free() = 0;                   // frees the selected device and its channels
    virtual bool BASS_Update() = 0;
    // Description of device 1..10, or nullptr when there is none. The text stays valid until
    // the next call of this function.
    virtual const char* BASS_GetDeviceDescription(DWORD device) = 0;

    // Returns the option's previous value (BASS_DWORD_ERROR and code 20 for an unknown option).
    virtual DWORD BASS_SetConfig(DWORD option, DWORD value) = 0;
    // The proxy option takes a text: nullptr means no proxy. The library reads the text at
    // every connection, so the caller keeps it alive.
    virtual bool BASS_SetConfigPtr(DWORD option, const char* value) = 0;

    virtual HSTREAM BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) = 0;
    virtual HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) = 0;
    // url: the address followed by one extra NUL. Blocks until the stream is connected and
    // its buffer pre-filled, or fails (bounded by the network time-out).
    // The one call that may come from another thread while the calling thread goes on.
    virtual HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) = 0;
    virtual HSTREAM BASS_AAC_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) = 0;
    virtual bool BASS_StreamFree(HSTREAM handle) = 0;

    virtual bool BASS_ChannelPlay(DWORD handle, bool restart) = 0;  // restart false: resume
    virtual bool BASS_ChannelStop(DWORD handle) = 0;
    virtual DWORD BASS_ChannelIsActive(DWORD handle) = 0;  // 0 stopped, 1 playing, 2 stalled
    // volume 0..100, pan -100..100. Set: -1 leaves freq/volume, -101 leaves pan.
    virtual bool BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) = 0;
    virtual bool BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) = 0;
    // volume -2: slide to silence over `time` ms, then stop the channel.
    virtual bool BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) = 0;
    virtual DWORD BASS_ChannelIsSliding(DWORD handle) = 0;  // BASS_SLIDE_* bits
    virtual bool BASS_ChannelSetFlags(DWORD handle, DWORD flags) = 0;
    virtual bool BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) = 0;
    // Byte counts of the decoded 16-bit PCM; length is BASS_QWORD_ERROR when not known.
    virtual QWORD BASS_ChannelGetLength(DWORD handle) = 0;
    virtual QWORD BASS_ChannelGetPosition(DWORD handle) = 0;
    virtual bool BASS_ChannelSetPosition(DWORD handle, QWORD pos) = 0;
    virtual float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) = 0;
    virtual QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) = 0;
    // Low 16 bits left, high 16 bits right, each 0..32768; BASS_DWORD_ERROR on failure.
    virtual DWORD BASS_ChannelGetLevel(DWORD handle) = 0;
    // Not of 2.3: the highest peak, 0..32768, of the decoded sound (before volume and pan) that
    // went out since the previous call on this channel, so that a channel held at volume 0 is
    // measured too; 0 when nothing went out. BASS_DWORD_ERROR on failure.
    virtual DWORD BASS_ChannelGetDecodedPeak(DWORD handle) = 0;
    // Count of bytes written; BASS_DWORD_ERROR (-1) on failure.
    virtual DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) = 0;
    // Not of 2.3: a gain in dB (-60..+24) applied when the channel is mixed, on top of its volume
    // and slides, so that a track can be brought to a loudness without the volume's meaning
    // changing. 0 on creation.
    virtual bool BASS_ChannelSetGain(DWORD handle, float db) {
        (void)handle;
        (void)db;
        return false;
    }
    // Not of 2.3: a second gain in dB (-60..0) that moves to `db` over `ms` (0: at once), on top
    // of the volume, its slides and the gain above, so that whatever plays can be lowered under
    // an announcement and keep running: the volume keeps its meaning for those who read and
    // ramp it, BASS_ChannelIsSliding does not report this slide, and it never stops the
    // channel. 0 dB on creation.
    virtual bool BASS_ChannelSlideDuck(DWORD handle, float db, DWORD ms) {
        (void)handle;
        (void)db;
        (void)ms;
        return false;
    }
    // Not of 2.3: `tap` receives the channel's decoded sound (16-bit stereo frames at `rate`,
    // the device's, before volume and gain) as it is decoded, on the channel's decoder thread:
    // it must be quick and must not call the library. An empty function removes it.
    using DecodedTap = std::function<void(const std::int16_t* frames, std::size_t count, int rate)>;
    virtual bool BASS_ChannelSetDecodedTap(DWORD handle, DecodedTap tap) {
        (void)handle;
        (void)tap;
        return false;
    }

    // Not of 2.3: for a monitor that sleeps while a stream plays steadily, `wake` is called once,
    // on a library thread, at the first of: the net buffer's fill, in percent as
    // BASS_StreamGetFilePosition's (DOWNLOAD - CURRENT) * 100 / END in 32-bit unsigned
    // arithmetic, falling to `fillPercent` or below as the decoder takes from it; a piece of the
    // channel's sound going out with a decoded peak under `quietPeak` (0: never). At once when
    // the fill is already there. It must be quick and must not call the library. Setting it
    // again replaces it; an empty function removes it. False: not watched, look every time.
    using Wake = std::function<void()>;
    virtual bool BASS_ChannelSetWakeWatch(DWORD handle, DWORD fillPercent, DWORD quietPeak, Wake wake) {
        (void)handle;
        (void)fillPercent;
        (void)quietPeak;
        (void)wake;
        return false;
    }
    // Bytes (32-bit); BASS_DWORD_ERROR on failure.
    virtual DWORD BASS_StreamGetFilePosition(DWORD handle, DWORD mode) = 0;

    virtual int BASS_ErrorGetCode() = 0;

    // A count that rises whenever a channel stops, stalls or ends its slide by itself (its
    // data used up, its buffer run dry, a slide to a stop finished). It may come from
    // any thread, as may the watch of it and OutputStatusChanges: a player's poll asks it on its
    // timer's thread to learn whether anything changed before it wakes the user-interface thread.
    virtual std::uint64_t ChannelStateChanges() = 0;
    // `changed` is called on a library thread after every rise of ChannelStateChanges, until
    // UnwatchChannelStateChanges(the returned number), so a poll can sleep until there is
    // something to see. 0: this library does not announce its changes; ask it each time.
    virtual int WatchChannelStateChanges(std::function<void()> changed) {
        (void)changed;
        return 0;
    }
    virtual void UnwatchChannelStateChanges(int watch) { (void)watch; }

    // Code 8 and a default status for a device that is not initialised.
    virtual OutputStatus GetOutputStatus(DWORD device) = 0;
    // From any thread: a count that rises after every change of any output's status (opened,
    // let go, lost, back), so that a timer's thread knows whether GetOutputStatus could answer
    // anything new. A library that does not count them gives a new number at each call.
    virtual std::uint64_t OutputStatusChanges() {
        static std::atomic<std::uint64_t> calls{0};
        return ++calls;
    }
    // `changed` is called on a library thread after every rise of OutputStatusChanges, until
    // UnwatchOutputStatusChanges(the returned number). 0: this library does not announce them.
    virtual int WatchOutputStatusChanges(std::function<void()> changed) {
        (void)changed;
        return 0;
    }
    virtual void UnwatchOutputStatusChanges(int watch) { (void)watch; }
    // The number (1..10) of the system's default output; 1 when the system does not tell.
    virtual DWORD GetDefaultDevice() = 0;
    // Decodes a whole file the way a file channel would, without a device or a channel, and
    // hands it to `sink` piece by piece as 16-bit stereo frames at `rate`; `sink` answers false
    // to stop early. From any thread, as many at once as the callers like: it shares nothing
    // with the channels. The library's code: 0 when the whole file was decoded, else the code
    // its open would give (or BASS_ERROR_NOTAVAIL for a library that cannot do this).
    using DecodedSink = std::function<bool(const std::int16_t* frames, std::size_t count)>;
    virtual int DecodeFile(const char* path, int rate, const DecodedSink& sink) {
        (void)path;
        (void)rate;
        (void)sink;
        return BASS_ERROR_NOTAVAIL;
    }
};

}  // namespace soundlib
