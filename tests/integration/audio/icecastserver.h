#pragma once
// A real icecast2 on a free loopback port, with its configuration, logs and web folder in a
// temporary folder, and ffmpeg sources that feed it a known tone as 128 kbit/s AAC (ADTS).
// The mount "/stream" is also served at the root path, as the station's address expects.
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/childprocess.h"

#include <memory>
#include <string>

namespace audiotest {

class IcecastServer {
public:
    // On `port`, or a free loopback port when 0; started and answering, or Ok() is false.
    // A new listener is sent up to `burstBytes` of what the server holds at once.
    explicit IcecastServer(int port = 0, int burstBytes = 65535);
    bool Ok() const { return ok_; }
    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;
    // A static page of the web folder, served as text/html.
    std::string PageUrl() const { return Url("/page.html"); }

    // Starts a source on `mount` and waits until listeners can connect to it; the source has
    // been sending for `warmMs` when this returns (icecast bursts what it holds to a new
    // listener).
    std::unique_ptr<ChildProcess> StartSource(const std::string& mount, int warmMs = 1500, double toneHz = 1000);
    // The same with any sound ffmpeg's lavfi input can make (a filter graph such as "anullsrc").
    std::unique_ptr<ChildProcess> StartLavfiSource(const std::string& mount, const std::string& lavfi, int warmMs = 1500);

private:
    void StartServer();

    TempDir dir_;
    int port_ = 0;
    bool ok_ = false;
    std::unique_ptr<ChildProcess> server_;
};

}  // namespace audiotest
