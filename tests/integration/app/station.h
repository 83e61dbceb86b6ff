#pragma once
// The program's own station on its fixed address, 127.0.0.1:9500: the test icecast2 (serving
// the mount "/stream" at the root path too) fed by an ffmpeg source of a steady tone as
// 128 kbit/s AAC. The source can be killed and started again; everything ends with the object.
#include "tests/integration/audio/icecastserver.h"

#include <memory>

namespace ctltest {

class Station {
public:
    static constexpr int kPort = 9500;
    explicit Station(double toneHz) : toneHz_(toneHz) { ok_ = server_.Ok() && StartSource(); }
    bool Ok() const { return ok_; }
    // True once listeners can connect to the mount.
    bool StartSource() {
        source_ = server_.StartSource("/stream", 0, toneHz_);
        return source_ != nullptr;
    }
    void KillSource() { source_.reset(); }
    // Another programme in place of the tone: an ffmpeg lavfi filter graph.
    bool StartSource(const std::string& lavfi) {
        source_ = server_.StartLavfiSource("/stream", lavfi, 0);
        return source_ != nullptr;
    }

private:
    // Like a broadcaster's server, it may burst more than the player's whole net buffer to a
    // new listener, once its source has sent that much.
    audiotest::IcecastServer server_{kPort, 262144};
    double toneHz_;
    bool ok_ = false;
    std::unique_ptr<audiotest::ChildProcess> source_;
};

}  // namespace ctltest
