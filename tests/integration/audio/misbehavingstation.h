#pragma once
// misbehavingstation.py on a free loopback port (or a given one): a station that trickles,
// redirects slowly, streams ADTS files with garbage between their frames, or speaks TLS.
// Stopped with the object.
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/childprocess.h"

#include <memory>
#include <string>
#include <vector>

namespace audiotest {

class MisbehavingStation {
public:
    // `args` follow the port on the script's command line.
    explicit MisbehavingStation(const std::vector<std::string>& args, int port = 0, bool tls = false);
    bool Ok() const { return ok_; }
    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;
    // What the script wrote: "ready", then one "glitch KIND AT" line per glitch.
    std::string Output() const;

private:
    TempDir dir_;
    int port_ = 0;
    bool tls_ = false;
    bool ok_ = false;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace audiotest
