#pragma once
// NetStream: one HTTP(S) connection and its download buffer (the net buffer).
//
// Threads: the connection is made on an opener thread of its own, because FFmpeg's name
// look-ups cannot be interrupted: when the attempt's deadline passes first, Connect returns
// and leaves the opener to finish (and close what it opened) by itself; what the two share
// lives in a block the opener keeps alive. While such an opener is out, Connect starts no
// other and fails at once with code 32. The download thread (started by Start) is the
// only one that reads the network after the connection is made; it writes into the buffer.
// The reader is the thread that creates the channel (probe, first frames, pre-buffering) and
// the channel's decoder thread afterwards; never both at once.
// lock_ guards ring_, downloaded_, taken_, ended_, the capacity and the fill watch; changed_ is
// signalled on every change of the first four and on Abort; the watch is called outside lock_. interrupt_ is atomic by itself.
#include "audio/soundlib/interruptdeadline.h"
#include "audio/soundlib/netaddress.h"
#include "audio/soundlib/ringbuffer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct AVIOContext;

namespace soundlib {

class NetStream {
public:
    explicit NetStream(int timeoutMs);
    ~NetStream();
    NetStream(const NetStream&) = delete;
    NetStream& operator=(const NetStream&) = delete;

    using Clock = std::chrono::steady_clock;

    // Connects (name look-up, redirects) and reads the answer's headers, all of it by
    // `deadline`. Returns a library code. An HTTPS server must show a certificate for the
    // address's host that chains to an authority of `authorities` (a PEM file), or of the
    // system's store when that is empty; one that does not fails the attempt (code 32).
    int Connect(const StreamAddress& address, const std::optional<ProxyAddress>& proxy, const std::string& authorities,
                Clock::time_point deadline);
    const std::string& MimeType() const { return mimeType_; }

    // Starts the download thread with a buffer of `capacity` bytes.
    void Start(std::size_t capacity);
    void SetCapacity(std::size_t capacity);

    // Reader side. Returns the count of bytes copied (at least 1), 0 at the end of the stream,
    // -1 when aborted or when no byte came by `until`.
    int Read(std::uint8_t* buffer, int size, Clock::time_point until);
    bool ReadTimedOut() const { return readTimedOut_; }
    int TimeoutMs() const { return interrupt_->TimeoutMs(); }

    // Waits until `bytes` are buffered or the download has ended. False when `until` came first.
    bool WaitForFill(std::size_t bytes, Clock::time_point until);

    // Calls `fire` once (on the thread that takes from the buffer, or at once) when the fill
    // falls to `percent` or below: see ISoundLib::BASS_ChannelSetWakeWatch. Empty: no watch.
    void WatchFill(std::uint32_t percent, std::function<void()> fire);

    std::uint64_t Downloaded() const;
    std::uint64_t Taken() const;
    std::size_t Capacity() const;
    bool Ended() const;  // the connection is gone (end, error or time-out)

    void Abort();

private:
    void DownloadLoop();
    std::uint32_t FillPercent() const;        // under lock_
    std::function<void()> TakeFiredWatch();  // under lock_: the fill watch when its fill is reached

    std::shared_ptr<InterruptDeadline> interrupt_;
    AVIOContext* io_ = nullptr;
    std::string mimeType_;
    std::thread thread_;
    bool readTimedOut_ = false;  // reader's own

    mutable std::mutex lock_;
    std::condition_variable changed_;
    RingBuffer<std::uint8_t> ring_;
    std::uint64_t downloaded_ = 0;
    std::uint64_t taken_ = 0;
    bool ended_ = false;
    bool aborted_ = false;
    std::function<void()> fillWatch_;
    std::uint32_t fillWatchPercent_ = 0;
};

}  // namespace soundlib
