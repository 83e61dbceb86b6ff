#pragma once
// A TCP listener on a free loopback port that accepts connections (through the kernel's
// backlog) and never answers: the server that makes a client wait for its time-out.
namespace audiotest {

class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace audiotest
