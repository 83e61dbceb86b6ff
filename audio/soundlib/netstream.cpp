#include "audio/soundlib/netstream.h"

#include "audio/soundlib/soundlib.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace soundlib {

namespace {
// The download thread reads when at least this much room is free, and rests this long
// between reads while the buffer is comfortably full and it has caught up with the server (its
// last read had to wait), so that the kernel gathers the data of a quarter second into one read
// instead of waking us for every packet. Data already there is read at once: a TLS connection
// hands over one record per read, however many wait behind it.
constexpr std::size_t kReadChunk = 4096;
constexpr auto kRestWhileFull = std::chrono::milliseconds(250);
constexpr std::size_t kMaxRead = 16384;
constexpr auto kCaughtUp = std::chrono::milliseconds(2);

// What Connect and its opener thread share. The opener keeps it (and the interrupt state
// FFmpeg asks) alive for as long as it runs, so a NetStream that gave up on it may go.
struct Opening {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int result = 0;
    AVIOContext* io = nullptr;
    std::shared_ptr<InterruptDeadline> interrupt;
};

// An opener given up on while a name look-up hangs may stay for as long as the resolver
// insists (minutes); an attempt a minute, each leaving one, would pile threads up for good. So
// while one is out no other is started: that attempt fails at once, as with no network.
std::mutex leftLock;
int openersLeft = 0;  // under leftLock; more than one only when attempts ran side by side
}  // namespace

NetStream::NetStream(int timeoutMs) : interrupt_(std::make_shared<InterruptDeadline>(timeoutMs)) {}

NetStream::~NetStream() {
    Abort();
    if (thread_.joinable()) thread_.join();
    if (io_) avio_closep(&io_);
}

int NetStream::Connect(const StreamAddress& address, const std::optional<ProxyAddress>& proxy, const std::string& authorities,
                       Clock::time_point deadline) {
    AVDictionary* options = nullptr;
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    std::string timeoutUs = std::to_string(std::max<long long>(left, 1000));
    av_dict_set(&options, "timeout", timeoutUs.c_str(), 0);
    av_dict_set(&options, "rw_timeout", timeoutUs.c_str(), 0);
    // An empty proxy option keeps FFmpeg from taking one from the environment.
    av_dict_set(&options, "http_proxy", proxy ? proxy->option.c_str() : "", 0);
    av_dict_set(&options, "icy", "0", 0);
    av_dict_set(&options, "reconnect", "0", 0);
    av_dict_set(&options, "seekable", "0", 0);
    av_dict_set(&options, "user_agent", "Sonaris-V1", 0);
    // FFmpeg's TLS accepts any certificate unless told otherwise, and then anyone on the shop's
    // network path could play in the station's place. These reach the TLS layer under HTTP,
    // also after a redirect. Without a file of our own FFmpeg loads the system's authorities.
    av_dict_set(&options, "tls_verify", "1", 0);
    if (!authorities.empty()) av_dict_set(&options, "ca_file", authorities.c_str(), 0);

    {
        std::lock_guard<std::mutex> left(leftLock);
        if (openersLeft > 0) {
            av_dict_free(&options);
            return BASS_ERROR_NONET;
        }
    }
    auto opening = std::make_shared<Opening>();
    opening->interrupt = interrupt_;
    interrupt_->Until(deadline);
    std::thread([opening, url = address.url, options]() mutable {
        pthread_setname_np(pthread_self(), "sound-connect");
        AVIOInterruptCB callback = opening->interrupt->Callback();
        AVIOContext* io = nullptr;
        int result = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, &callback, &options);
        av_dict_free(&options);
        if (result < 0) io = nullptr;
        std::lock_guard<std::mutex> guard(opening->lock);
        if (opening->abandoned) {
            if (io) avio_closep(&io);
            std::lock_guard<std::mutex> left(leftLock);
            --openersLeft;
            return;
        }
        opening->io = io;
        opening->result = result;
        opening->finished = true;
        opening->done.notify_all();
    }).detach();

    {
        std::unique_lock<std::mutex> guard(opening->lock);
        if (!opening->done.wait_until(guard, deadline, [&] { return opening->finished; })) {
            // Most likely a name look-up that does not come back; the opener ends by itself.
            opening->abandoned = true;
            {
                std::lock_guard<std::mutex> left(leftLock);
                ++openersLeft;
            }
            interrupt_->Abort();
            return BASS_ERROR_TIMEOUT;
        }
        io_ = opening->io;
        if (opening->result < 0) return ConnectionErrorCode(opening->result, interrupt_->Expired());
    }
    std::uint8_t* mime = nullptr;
    if (av_opt_get(io_, "mime_type", AV_OPT_SEARCH_CHILDREN, &mime) >= 0 && mime) {
        mimeType_ = reinterpret_cast<const char*>(mime);
        av_free(mime);
    }
    return BASS_OK;
}

void NetStream::Start(std::size_t capacity) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ring_.Resize(capacity);
    }
    thread_ = std::thread(&NetStream::DownloadLoop, this);
}

void NetStream::SetCapacity(std::size_t capacity) {
    std::function<void()> fired;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ring_.Resize(std::max(capacity, ring_.Size()));
        changed_.notify_all();
        fired = TakeFiredWatch();
    }
    if (fired) fired();
}

void NetStream::WatchFill(std::uint32_t percent, std::function<void()> fire) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        fillWatch_ = std::move(fire);
        fillWatchPercent_ = percent;
        fire = TakeFiredWatch();
    }
    if (fire) fire();
}

// The player's own reading of the fill, to the bit: 32-bit counts, the difference first.
std::uint32_t NetStream::FillPercent() const {
    const auto end = static_cast<std::uint32_t>(ring_.Capacity());
    if (end == 0) return 0;
    return ((static_cast<std::uint32_t>(downloaded_) - static_cast<std::uint32_t>(taken_)) * 100u) / end;
}

std::function<void()> NetStream::TakeFiredWatch() {
    if (!fillWatch_ || FillPercent() > fillWatchPercent_) return nullptr;
    return std::exchange(fillWatch_, nullptr);
}

void NetStream::DownloadLoop() {
    pthread_setname_np(pthread_self(), "sound-download");
    std::vector<std::uint8_t> chunk(kMaxRead);
    for (;;) {
        std::size_t room;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return aborted_ || ring_.Free() >= std::min(kReadChunk, ring_.Capacity()); });
            if (aborted_) break;
            room = std::min(ring_.Free(), kMaxRead);
        }
        interrupt_->Restart();
        const auto began = std::chrono::steady_clock::now();
        int got = avio_read_partial(io_, chunk.data(), static_cast<int>(room));
        const bool waited = std::chrono::steady_clock::now() - began >= kCaughtUp;
        std::unique_lock<std::mutex> guard(lock_);
        if (got <= 0) {
            ended_ = true;
            changed_.notify_all();
            break;
        }
        ring_.Write(chunk.data(), static_cast<std::size_t>(got));
        downloaded_ += static_cast<std::uint64_t>(got);
        changed_.notify_all();
        if (waited && ring_.Size() * 2 >= ring_.Capacity())
            changed_.wait_for(guard, kRestWhileFull, [&] { return aborted_; });
    }
}

int NetStream::Read(std::uint8_t* buffer, int size, Clock::time_point until) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_until(guard, until, [&] { return aborted_ || ended_ || !ring_.Empty(); })) {
        readTimedOut_ = true;
        return -1;
    }
    if (aborted_) return -1;
    if (ring_.Empty()) return 0;
    std::size_t got = ring_.Read(buffer, static_cast<std::size_t>(size));
    taken_ += got;
    changed_.notify_all();
    if (std::function<void()> fired = TakeFiredWatch()) {
        guard.unlock();
        fired();
    }
    return static_cast<int>(got);
}

bool NetStream::WaitForFill(std::size_t bytes, Clock::time_point until) {
    std::unique_lock<std::mutex> guard(lock_);
    bool reached = changed_.wait_until(
        guard, until, [&] { return aborted_ || ended_ || ring_.Size() >= std::min(bytes, ring_.Capacity()); });
    return reached && !aborted_;
}

std::uint64_t NetStream::Downloaded() const {
    std::lock_guard<std::mutex> guard(lock_);
    return downloaded_;
}

std::uint64_t NetStream::Taken() const {
    std::lock_guard<std::mutex> guard(lock_);
    return taken_;
}

std::size_t NetStream::Capacity() const {
    std::lock_guard<std::mutex> guard(lock_);
    return ring_.Capacity();
}

bool NetStream::Ended() const {
    std::lock_guard<std::mutex> guard(lock_);
    return ended_;
}

void NetStream::Abort() {
    interrupt_->Abort();
    std::lock_guard<std::mutex> guard(lock_);
    aborted_ = true;
    changed_.notify_all();
}

}  // namespace soundlib
