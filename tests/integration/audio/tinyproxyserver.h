#pragma once
// A real tinyproxy on a free loopback port, optionally demanding a user and password
// (without them it answers 407).
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/childprocess.h"

#include <memory>
#include <string>

namespace audiotest {

class TinyproxyServer {
public:
    // Empty user: no authentication.
    explicit TinyproxyServer(const std::string& user = "", const std::string& password = "");
    bool Ok() const { return ok_; }
    int Port() const { return port_; }
    std::string Log() const;

private:
    TempDir dir_;
    int port_ = 0;
    bool ok_ = false;
    std::unique_ptr<ChildProcess> server_;
};

}  // namespace audiotest
