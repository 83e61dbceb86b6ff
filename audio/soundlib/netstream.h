#pragma once
// NetStream: one HTTP connection and its download buffer (the net buffer).
//
// Threads: the download thread (started by Start) is the only one that reads the network after
// the connection is made; it writes into the buffer. The reader is the user-interface thread
// while the channel is being created (probe, first frames, pre-buffering) and the channel's
// decoder thread afterwards; never both at once.
// lock_ guards ring_, downloaded_, taken_, ended_ and the capacity; changed_ is signalled on
// every change of them and on Abort. interrupt_ is atomic by itself.
#include "audio/soundlib/interruptdeadline.h"
#include "audio/soundlib/netaddress.h"
#include "audio/soundlib/ringbuffer.h"

#include <condition_variable>
#include <cstdint>
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

    // Connects and reads the answer's headers, bounded by the time-out. Returns a library code.
    int Connect(const StreamAddress& address, const std::optional<ProxyAddress>& proxy);
    const std::string& MimeType() const { return mimeType_; }

    // Starts the download thread with a buffer of `capacity` bytes.
    void Start(std::size_t capacity);
    void SetCapacity(std::size_t capacity);

    // Reader side. Returns the count of bytes copied (at least 1), 0 at the end of the stream,
    // -1 when aborted or, with `bounded`, when no byte came within the time-out.
    int Read(std::uint8_t* buffer, int size, bool bounded);
    bool ReadTimedOut() const { return readTimedOut_; }

    // Waits until `bytes` are buffered or the download has ended. False when the time-out
    // passed without any new byte arriving.
    bool WaitForFill(std::size_t bytes);

    std::uint64_t Downloaded() const;
    std::uint64_t Taken() const;
    std::size_t Capacity() const;
    bool Ended() const;  // the connection is gone (end, error or time-out)

    void Abort();

private:
    void DownloadLoop();

    InterruptDeadline interrupt_;
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
};

}  // namespace soundlib
