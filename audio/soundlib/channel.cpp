#include "audio/soundlib/channel.h"

#include "audio/soundlib/decoder.h"
#include "audio/soundlib/netstream.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace soundlib {

namespace {
std::mutex& WatchersLock() {
    static std::mutex lock;
    return lock;
}

std::map<int, std::function<void()>>& Watchers() {
    static std::map<int, std::function<void()>> watchers;
    return watchers;
}

// On the output callback's thread when a channel stops, stalls or ends its slide, and on the
// user-interface thread when a freed device ends its channels: the watchers' lock is never
// held long by anyone.
void RaiseSelfStateChanges() {
    SelfStateChanges().fetch_add(1, std::memory_order_release);
    std::lock_guard<std::mutex> guard(WatchersLock());
    for (auto& [watch, changed] : Watchers()) changed();
}
}  // namespace

Channel::Channel(int device, const ChannelFormat& format, std::unique_ptr<Decoder> decoder, std::unique_ptr<NetStream> net)
    : device_(device), format_(format), decoder_(std::move(decoder)), net_(std::move(net)) {
    rate_ = decoder_->Rate();
    channels_ = decoder_->Channels();
    eightBit_ = decoder_->EightBit();
    totalFrames_ = decoder_->TotalFrames();
    fileSize_ = net_ ? 0 : std::max<std::int64_t>(decoder_->ByteSize(), 0);

    std::size_t frames = std::max<std::size_t>(static_cast<std::size_t>(format_.bufferMs) * static_cast<std::size_t>(format_.outRate) / 1000,
                                               static_cast<std::size_t>(format_.deviceFrames) * 4);
    ring_.Resize(frames * 2);
    wakeFreeSamples_ = ring_.Capacity() / 4;
    resumeSamples_ = ring_.Capacity() / 2;

    // Enough decoded before the first output callback can ask for it, so that playback starts
    // at that callback; the thread does the rest.
    std::vector<std::int16_t> first;
    while (ring_.Size() < static_cast<std::size_t>(format_.deviceFrames) * 4 && decoder_->DecodeMore(first)) {
        std::size_t taken = ring_.Write(first.data(), first.size());
        first.erase(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(taken));
        if (!first.empty()) break;
    }
    filePosition_ = decoder_->BytePosition();
    pending_ = std::move(first);
    thread_ = std::thread(&Channel::DecodeLoop, this);
}

Channel::~Channel() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        wake_.notify_all();
    }
    if (net_) net_->Abort();
    if (thread_.joinable()) thread_.join();
    decoder_.reset();
    net_.reset();
}

void Channel::DecodeLoop() {
    pthread_setname_np(pthread_self(), "sound-decode");
    std::vector<std::int16_t>& pending = pending_;
    std::size_t pendingAt = 0;
    for (;;) {
        bool seek = false;
        std::int64_t target = 0;
        {
            std::unique_lock<std::mutex> guard(lock_);
            decoderWaiting_ = true;
            wake_.wait(guard, [&] {
                return quit_ || seekPending_ || (!decodeEnded_ && (pendingAt < pending.size() ? ring_.Free() > 0 : ring_.Free() >= wakeFreeSamples_));
            });
            decoderWaiting_ = false;
            if (quit_) return;
            if (seekPending_) {
                seek = true;
                target = seekTarget_;
                seekPending_ = false;
            }
        }
        if (seek) {
            pending.clear();
            pendingAt = 0;
            bool sought = decoder_->Seek(target);
            std::lock_guard<std::mutex> guard(lock_);
            if (!sought && !seekPending_) decodeEnded_ = true;
            continue;
        }
        for (;;) {
            if (pendingAt == pending.size()) {
                pending.clear();
                pendingAt = 0;
                bool more = decoder_->DecodeMore(pending);
                filePosition_ = decoder_->BytePosition();
                if (more) Tap(pending);
                if (!more) {
                    std::lock_guard<std::mutex> guard(lock_);
                    if (loop_ && !net_ && !seekPending_ && !quit_) {
                        decoder_->Seek(0);
                        continue;
                    }
                    if (!seekPending_) decodeEnded_ = true;
                    break;
                }
            }
            std::lock_guard<std::mutex> guard(lock_);
            if (quit_ || seekPending_) break;
            pendingAt += ring_.Write(pending.data() + pendingAt, pending.size() - pendingAt);
            if (pendingAt < pending.size()) break;  // buffer full: wait for the output
        }
    }
}

void Channel::Tap(const std::vector<std::int16_t>& decoded) {
    std::shared_ptr<const ISoundLib::DecodedTap> tap;
    {
        std::lock_guard<std::mutex> guard(tapLock_);
        tap = tap_;
    }
    if (tap && !decoded.empty()) (*tap)(decoded.data(), decoded.size() / 2, format_.outRate);
}

void Channel::SetDecodedTap(ISoundLib::DecodedTap tap) {
    std::lock_guard<std::mutex> guard(tapLock_);
    tap_ = tap ? std::make_shared<const ISoundLib::DecodedTap>(std::move(tap)) : nullptr;
}

void Channel::SetWakeWatch(DWORD fillPercent, DWORD quietPeak, ISoundLib::Wake wake) {
    std::shared_ptr<WakeOnce> once;
    if (wake) {
        once = std::make_shared<WakeOnce>();
        once->wake = std::move(wake);
    }
    {
        std::lock_guard<std::mutex> guard(watchLock_);
        watch_ = once;
        quietPeak_.store(once ? quietPeak : 0, std::memory_order_relaxed);
    }
    if (net_) net_->WatchFill(fillPercent, once ? std::function<void()>([once] { (*once)(); }) : nullptr);
}

void Channel::QuietPieceOut() {
    std::shared_ptr<WakeOnce> once;
    {
        std::lock_guard<std::mutex> guard(watchLock_);
        once = std::move(watch_);
        quietPeak_.store(0, std::memory_order_relaxed);
    }
    if (once) (*once)();
}

float Channel::Advance(Ramp& ramp, float& value, int frames) {
    ramp.done = std::min(ramp.total, ramp.done + frames);
    value = ramp.from + (ramp.to - ramp.from) * static_cast<float>(ramp.done) / static_cast<float>(ramp.total);
    if (ramp.done >= ramp.total) ramp.active = false;
    return value;
}

void Channel::Mix(float* out, int frames, int outChannels) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!playing_) {
        levelLeft_.store(0, std::memory_order_relaxed);
        levelRight_.store(0, std::memory_order_relaxed);
        return;
    }
    std::size_t available = ring_.Size() / 2;
    if (stalled_) {
        if (ring_.Size() >= resumeSamples_ || decodeEnded_) {
            stalled_ = false;
        } else {
            levelLeft_.store(0, std::memory_order_relaxed);
            levelRight_.store(0, std::memory_order_relaxed);
            return;
        }
    }
    const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(frames), available));
    const int levelFrom = n - format_.outRate / 50;  // the last 20 ms of this piece
    float peakLeft = 0, peakRight = 0;
    std::int32_t decodedPeak = 0;

    // Gains move linearly across the piece when a slide runs, so a fade has no steps.
    const float volumeStart = volume_ * gain_ * duck_;
    const float panStart = pan_;
    float volumeEnd = volume_, panEnd = pan_, duckEnd = duck_;
    if (volumeRamp_.active) Advance(volumeRamp_, volumeEnd, frames);
    if (panRamp_.active) Advance(panRamp_, panEnd, frames);
    if (duckRamp_.active) Advance(duckRamp_, duckEnd, frames);
    const float volumeStep = frames > 0 ? (volumeEnd * gain_ * duckEnd - volumeStart) / static_cast<float>(frames) : 0.0f;
    constexpr float kScale = 1.0f / 32768.0f;
    const float panStep = frames > 0 ? (panEnd - panStart) / static_cast<float>(frames) : 0.0f;

    // Most pieces play at one gain to stereo, nothing sliding, in the middle: plain loops the
    // compiler vectorises, giving the very same sums (the scale is a power of two, so the gain
    // may be taken together with it, and a peak scaled is the scaled peak).
    const bool steady = !volumeRamp_.active && !panRamp_.active && !duckRamp_.active && pan_ == 0.0f && outChannels == 2;
    std::int32_t levelLeft = 0, levelRight = 0;
    int i = 0;
    while (steady && i < n) {
        std::size_t run = 0;
        const std::int16_t* samples = ring_.FrontRun(static_cast<std::size_t>(n - i) * 2, run);
        run -= run % 2;
        const float gain = kScale * volumeStart;
        float* into = out + static_cast<std::ptrdiff_t>(i) * 2;
        for (std::size_t k = 0; k < run; ++k) into[k] += static_cast<float>(samples[k]) * gain;
        std::int32_t peak = decodedPeak;
        for (std::size_t k = 0; k < run; ++k) peak = std::max(peak, std::abs(static_cast<std::int32_t>(samples[k])));
        decodedPeak = peak;
        for (std::size_t k = static_cast<std::size_t>(std::max(0, levelFrom - i)) * 2; k < run; k += 2) {
            levelLeft = std::max(levelLeft, std::abs(static_cast<std::int32_t>(samples[k])));
            levelRight = std::max(levelRight, std::abs(static_cast<std::int32_t>(samples[k + 1])));
        }
        i += static_cast<int>(run / 2);
        ring_.Drop(run);
    }
    if (steady) {
        peakLeft = static_cast<float>(levelLeft) * kScale * volumeStart;
        peakRight = static_cast<float>(levelRight) * kScale * volumeStart;
    }
    while (i < n) {
        std::size_t run = 0;
        const std::int16_t* samples = ring_.FrontRun(static_cast<std::size_t>(n - i) * 2, run);
        std::size_t runFrames = run / 2;
        for (std::size_t k = 0; k < runFrames; ++k, ++i) {
            float volume = volumeStart + volumeStep * static_cast<float>(i);
            float pan = panStart + panStep * static_cast<float>(i);
            float left = samples[2 * k] * kScale * volume * (pan > 0 ? 1.0f - pan : 1.0f);
            float right = samples[2 * k + 1] * kScale * volume * (pan < 0 ? 1.0f + pan : 1.0f);
            float* frame = out + static_cast<std::ptrdiff_t>(i) * outChannels;
            if (outChannels == 1) {
                frame[0] += 0.5f * (left + right);
            } else {
                frame[0] += left;
                frame[1] += right;
            }
            decodedPeak = std::max({decodedPeak, std::abs(std::int32_t(samples[2 * k])), std::abs(std::int32_t(samples[2 * k + 1]))});
            if (i >= levelFrom) {
                peakLeft = std::max(peakLeft, std::fabs(left));
                peakRight = std::max(peakRight, std::fabs(right));
            }
        }
        ring_.Drop(runFrames * 2);
    }
    consumedFrames_ += n;
    volume_ = volumeEnd;
    pan_ = panEnd;
    duck_ = duckEnd;

    bool autoFree = (format_.flags & BASS_STREAM_AUTOFREE) != 0;
    if (stopAfterRamp_ && !volumeRamp_.active) {
        stopAfterRamp_ = false;
        playing_ = false;
        if (autoFree) freedByItself_ = true;
        RaiseSelfStateChanges();
    } else if (n < frames) {
        if (decodeEnded_) {
            playing_ = false;
            if (autoFree) freedByItself_ = true;
            RaiseSelfStateChanges();
        } else if (net_ && !stalled_) {
            stalled_ = true;
            RaiseSelfStateChanges();
        }
    }
    levelLeft_.store(static_cast<std::uint32_t>(std::min(peakLeft, 1.0f) * 32768.0f), std::memory_order_relaxed);
    levelRight_.store(static_cast<std::uint32_t>(std::min(peakRight, 1.0f) * 32768.0f), std::memory_order_relaxed);
    // Raised, never lowered here: the reader takes the highest since its last look.
    auto peak = static_cast<std::uint32_t>(decodedPeak);
    for (std::uint32_t seen = decodedPeak_.load(std::memory_order_relaxed);
         peak > seen && !decodedPeak_.compare_exchange_weak(seen, peak, std::memory_order_relaxed);) {
    }
    if (n > 0 && peak < quietPeak_.load(std::memory_order_relaxed)) QuietPieceOut();
    if (decoderWaiting_ && ring_.Free() >= wakeFreeSamples_) wake_.notify_one();
}

std::atomic<std::uint64_t>& SelfStateChanges() {
    static std::atomic<std::uint64_t> changes{0};
    return changes;
}

int WatchSelfStateChanges(std::function<void()> changed) {
    static int last = 0;
    std::lock_guard<std::mutex> guard(WatchersLock());
    Watchers().emplace(++last, std::move(changed));
    return last;
}

void UnwatchSelfStateChanges(int watch) {
    std::lock_guard<std::mutex> guard(WatchersLock());
    Watchers().erase(watch);
}

void AnnounceChannelsEnded() { RaiseSelfStateChanges(); }

void Channel::Silence() {
    levelLeft_.store(0, std::memory_order_relaxed);
    levelRight_.store(0, std::memory_order_relaxed);
}

void Channel::Play(bool restart) {
    std::lock_guard<std::mutex> guard(lock_);
    bool finished = decodeEnded_ && ring_.Empty();
    if (!net_ && (restart || finished)) {
        seekPending_ = true;
        seekTarget_ = 0;
        ring_.Clear();
        baseFrame_ = 0;
        consumedFrames_ = 0;
        decodeEnded_ = false;
        wake_.notify_all();
    }
    playing_ = true;
    stalled_ = false;
}

void Channel::Stop() {
    std::lock_guard<std::mutex> guard(lock_);
    playing_ = false;
    stalled_ = false;
    volumeRamp_.active = false;
    panRamp_.active = false;
    stopAfterRamp_ = false;
}

DWORD Channel::Active() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!playing_) return BASS_ACTIVE_STOPPED;
    return stalled_ ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
}

int Channel::Volume() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(std::lround(volume_ * 100.0f));
}

int Channel::Pan() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(std::lround(pan_ * 100.0f));
}

void Channel::SetVolume(int volume) {
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f;
    // A running slide goes on from the new value and still ends on time.
    if (volumeRamp_.active) {
        volumeRamp_.from = volume_;
        volumeRamp_.total -= volumeRamp_.done;
        volumeRamp_.done = 0;
    }
}

void Channel::SetGain(float linear) {
    std::lock_guard<std::mutex> guard(lock_);
    gain_ = linear;
}

void Channel::SlideDuck(float linear, DWORD ms) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::int64_t frames = static_cast<std::int64_t>(ms) * format_.outRate / 1000;
    // Linear in amplitude, like the volume's slides: a fall of 15 dB in 0.3 s is heard as a
    // quick dip, and the rise afterwards as the music coming back.
    duckRamp_ = Ramp{frames > 0, duck_, linear, std::max<std::int64_t>(frames, 1), 0};
    if (frames == 0) duck_ = linear;
}

void Channel::SetPan(int pan) {
    std::lock_guard<std::mutex> guard(lock_);
    pan_ = static_cast<float>(std::clamp(pan, -100, 100)) / 100.0f;
    if (panRamp_.active) {
        panRamp_.from = pan_;
        panRamp_.total -= panRamp_.done;
        panRamp_.done = 0;
    }
}

void Channel::Slide(int volume, int pan, DWORD ms) {
    std::lock_guard<std::mutex> guard(lock_);
    std::int64_t frames = static_cast<std::int64_t>(ms) * format_.outRate / 1000;
    if (volume == -2 || volume >= 0) {
        float target = volume == -2 ? 0.0f : static_cast<float>(std::min(volume, 100)) / 100.0f;
        stopAfterRamp_ = volume == -2;
        volumeRamp_ = Ramp{true, volume_, target, std::max<std::int64_t>(frames, 1), 0};
        if (frames == 0) {
            volume_ = target;
            volumeRamp_.active = false;
            if (stopAfterRamp_) {
                stopAfterRamp_ = false;
                playing_ = false;
                if (format_.flags & BASS_STREAM_AUTOFREE) freedByItself_ = true;
            }
        }
    }
    if (pan >= -100 && pan <= 100) {
        float target = static_cast<float>(pan) / 100.0f;
        panRamp_ = Ramp{frames > 0, pan_, target, std::max<std::int64_t>(frames, 1), 0};
        if (frames == 0) pan_ = target;
    }
}

DWORD Channel::Sliding() const {
    std::lock_guard<std::mutex> guard(lock_);
    return (volumeRamp_.active ? BASS_SLIDE_VOL : 0) | (panRamp_.active ? BASS_SLIDE_PAN : 0);
}

void Channel::SetLoop(bool on) {
    std::lock_guard<std::mutex> guard(lock_);
    loop_ = on;
}

QWORD Channel::LengthBytes() const {
    if (net_ || totalFrames_ < 0) return BASS_QWORD_ERROR;
    return static_cast<QWORD>(totalFrames_) * static_cast<QWORD>(BytesPerFrame());
}

QWORD Channel::PositionBytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::int64_t frame = baseFrame_ + consumedFrames_ * rate_ / format_.outRate;
    if (totalFrames_ > 0) frame = loop_ ? frame % totalFrames_ : std::min(frame, totalFrames_);
    return static_cast<QWORD>(std::max<std::int64_t>(frame, 0)) * static_cast<QWORD>(BytesPerFrame());
}

bool Channel::SetPositionBytes(QWORD bytes) {
    if (net_) return false;
    auto frame = static_cast<std::int64_t>(bytes / static_cast<QWORD>(BytesPerFrame()));
    if (totalFrames_ >= 0 && frame > totalFrames_) return false;
    std::lock_guard<std::mutex> guard(lock_);
    seekPending_ = true;
    seekTarget_ = frame;
    ring_.Clear();
    baseFrame_ = frame;
    consumedFrames_ = 0;
    decodeEnded_ = false;
    stalled_ = false;
    wake_.notify_all();
    return true;
}

DWORD Channel::Level() const {
    return levelLeft_.load(std::memory_order_relaxed) | (levelRight_.load(std::memory_order_relaxed) << 16);
}

DWORD Channel::TakeDecodedPeak() { return decodedPeak_.exchange(0, std::memory_order_relaxed); }

DWORD Channel::Data(void* buffer, DWORD length) const {
    // The sound about to be heard, as 16-bit stereo at the output rate.
    auto* target = static_cast<std::int16_t*>(buffer);
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t samples = std::min<std::size_t>(length / 2, ring_.Size());
    samples -= samples % 2;
    ring_.Peek(target, samples);
    return static_cast<DWORD>(samples * 2);
}

DWORD Channel::FilePosition(DWORD mode) const {
    if (net_) {
        switch (mode) {
        case BASS_FILEPOS_CURRENT: return static_cast<DWORD>(net_->Taken());
        case BASS_FILEPOS_DOWNLOAD: return static_cast<DWORD>(net_->Downloaded());
        case BASS_FILEPOS_END: return static_cast<DWORD>(net_->Capacity());
        default: return BASS_DWORD_ERROR;
        }
    }
    switch (mode) {
    case BASS_FILEPOS_CURRENT: return static_cast<DWORD>(filePosition_.load());
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return static_cast<DWORD>(fileSize_);
    default: return BASS_DWORD_ERROR;
    }
}

}  // namespace soundlib
