#include "tests/integration/audio/misbehavingstation.h"

namespace audiotest {

MisbehavingStation::MisbehavingStation(const std::vector<std::string>& args, int port, bool tls)
    : port_(port ? port : FreeLoopbackPort()), tls_(tls) {
    std::vector<std::string> command{"/usr/bin/python3", SONARIS_TEST_AUDIO_DIR "/misbehavingstation.py", std::to_string(port_)};
    command.insert(command.end(), args.begin(), args.end());
    process_ = std::make_unique<ChildProcess>(command, dir_.File("station.log"));
    ok_ = WaitForPort(port_, 5000);
}

std::string MisbehavingStation::Url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::string MisbehavingStation::Output() const { return dir_.Text("station.log"); }

}  // namespace audiotest
