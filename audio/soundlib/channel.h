#pragma once
// Channel: one stream of the library (a file or a net stream) with its playback buffer, the
// attributes applied when it is mixed, and the decoder thread that keeps the buffer filled.
//
// Threads and locks:
// - the user-interface thread calls the public operations;
// - the decoder thread (DecodeLoop) decodes outside any lock and writes into ring_ under lock_;
// - the device's output callback calls Mix under lock_, only copying from ring_ and updating
//   the mix state; it wakes the decoder through wake_ when a quarter of the buffer is free.
// - the decoded-sound tap, when one is set, runs on the decoder thread outside lock_; tapLock_
//   guards tap_ alone, so setting it never waits for a mix and a mix never waits for a tap.
// lock_ guards everything in the "mix state" block. The decoder object is touched only by the
// decoder thread once it runs (seeks are handed to it through seekPending_). levelLeft_,
// levelRight_, decodedPeak_, freedByItself_ and filePosition_ are atomics read without the lock.
#include "audio/soundlib/ringbuffer.h"
#include "audio/soundlib/soundlib.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace soundlib {

class Decoder;
class NetStream;

// Raised by the output callback whenever a channel stops, stalls or ends a slide to a stop by
// itself; read from any thread (RealSoundLib::ChannelStateChanges).
std::atomic<std::uint64_t>& SelfStateChanges();
// Calls `changed` after every rise of SelfStateChanges, on the thread that raised it, until
// UnwatchSelfStateChanges(the returned number); it must be quick and take no lock of the library.
int WatchSelfStateChanges(std::function<void()> changed);
void UnwatchSelfStateChanges(int watch);
// For channels ended from outside the mix (their device freed under them): the players polling
// them sleep until a rise, and would never look again.
void AnnounceChannelsEnded();

struct ChannelFormat {
    int outRate = 44100;       // the device's rate; the buffer holds 16-bit stereo frames at it
    int bufferMs = 500;        // decode-ahead, BASS_CONFIG_BUFFER
    int deviceFrames = 1024;   // frames per output callback
    DWORD flags = 0;
};

class Channel {
public:
    // Takes the decoder (already primed) and, for a URL, its net stream. Starts decoding.
    Channel(int device, const ChannelFormat& format, std::unique_ptr<Decoder> decoder, std::unique_ptr<NetStream> net);
    ~Channel();  // stops and joins the decoder thread, closes the connection
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    int Device() const { return device_; }
    bool IsStream() const { return net_ != nullptr; }
    // The channel ended by itself with BASS_STREAM_AUTOFREE: its handle is gone.
    bool FreedByItself() const { return freedByItself_.load(); }

    // Output callback, lock-free of allocations: adds `frames` frames to `out` (interleaved,
    // `outChannels` per frame).
    void Mix(float* out, int frames, int outChannels);
    // Output callback while the output is lost: nothing is heard, so the levels fall to 0; the
    // position and the buffer stay as they are.
    void Silence();

    void Play(bool restart);
    void Stop();
    DWORD Active() const;

    int Volume() const;  // 0..100
    int Pan() const;     // -100..100
    void SetVolume(int volume);
    void SetPan(int pan);
    void SetGain(float linear);  // applied with the volume, not part of it
    // Another gain that moves to `linear` over `ms`, neither part of the volume nor a slide.
    void SlideDuck(float linear, DWORD ms);
    void SetDecodedTap(ISoundLib::DecodedTap tap);
    // See ISoundLib::BASS_ChannelSetWakeWatch (a stream's; a file channel has no fill to watch).
    void SetWakeWatch(DWORD fillPercent, DWORD quietPeak, ISoundLib::Wake wake);
    // Slides towards `volume` (0..100; -2 = silence, then stop) and/or `pan` (-101 = leave).
    void Slide(int volume, int pan, DWORD ms);
    DWORD Sliding() const;
    void SetLoop(bool on);

    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    bool EightBit() const { return eightBit_; }
    int BytesPerFrame() const { return channels_ * 2; }
    QWORD LengthBytes() const;  // BASS_QWORD_ERROR when not known
    QWORD PositionBytes() const;
    bool SetPositionBytes(QWORD bytes);  // false: beyond the end, or a net stream
    DWORD Level() const;
    DWORD TakeDecodedPeak();  // the peak since the last call, before volume; resets it
    DWORD Data(void* buffer, DWORD length) const;
    DWORD FilePosition(DWORD mode) const;

private:
    struct Ramp {
        bool active = false;
        float from = 0, to = 0;
        std::int64_t total = 0, done = 0;
    };
    void DecodeLoop();
    void Tap(const std::vector<std::int16_t>& decoded);  // on the decoder thread
    void QuietPieceOut();                                 // in Mix: the watch's wake, once
    float Advance(Ramp& ramp, float& value, int frames);

    const int device_;
    const ChannelFormat format_;
    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<NetStream> net_;
    int rate_ = 0;
    int channels_ = 0;
    bool eightBit_ = false;
    std::int64_t totalFrames_ = -1;
    std::int64_t fileSize_ = 0;
    std::size_t wakeFreeSamples_ = 0;
    std::size_t resumeSamples_ = 0;
    std::vector<std::int16_t> pending_;  // decoded, not yet in the buffer; the decoder thread's own
    std::thread thread_;

    // Mix state, guarded by lock_.
    mutable std::mutex lock_;
    std::condition_variable wake_;
    RingBuffer<std::int16_t> ring_;
    bool playing_ = false;
    bool stalled_ = false;
    bool decodeEnded_ = false;
    bool loop_ = false;
    bool quit_ = false;
    bool decoderWaiting_ = false;
    bool seekPending_ = false;
    std::int64_t seekTarget_ = 0;
    float volume_ = 1.0f;
    float pan_ = 0.0f;
    float gain_ = 1.0f;
    float duck_ = 1.0f;
    Ramp volumeRamp_;
    Ramp duckRamp_;
    Ramp panRamp_;
    bool stopAfterRamp_ = false;
    std::int64_t baseFrame_ = 0;      // source frame at the start of ring_'s data stream
    std::int64_t consumedFrames_ = 0;  // output frames mixed since baseFrame_

    // The wake watch: called once by whichever of the mix and the net buffer's reader sees its
    // condition first. quietPeak_ is 0 while none is armed, so the mix reads one atomic.
    struct WakeOnce {
        std::atomic<bool> due{true};
        ISoundLib::Wake wake;
        void operator()() {
            if (due.exchange(false)) wake();
        }
    };
    std::mutex watchLock_;
    std::shared_ptr<WakeOnce> watch_;  // guarded by watchLock_
    std::atomic<std::uint32_t> quietPeak_{0};

    std::mutex tapLock_;
    std::shared_ptr<const ISoundLib::DecodedTap> tap_;  // guarded by tapLock_

    std::atomic<std::uint32_t> levelLeft_{0};
    std::atomic<std::uint32_t> levelRight_{0};
    std::atomic<std::uint32_t> decodedPeak_{0};  // raised by Mix, taken by TakeDecodedPeak
    std::atomic<bool> freedByItself_{false};
    std::atomic<std::int64_t> filePosition_{0};
};

}  // namespace soundlib
