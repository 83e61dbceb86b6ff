#pragma once
// A program started by a test (a server, a stream source) and ended by it: the destructor
// kills whatever is still running, so a failing test leaves nothing behind. Also the small
// network probes the fixtures use to wait for their servers.
#include <string>
#include <sys/types.h>
#include <vector>

namespace audiotest {

class ChildProcess {
public:
    // Starts `args` (args[0] is looked up in PATH) with stdout and stderr sent to `logPath`.
    ChildProcess(std::vector<std::string> args, const std::string& logPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    void Signal(int signal);
    void Kill();  // SIGKILL and reap

private:
    pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();
// True once something accepts connections on 127.0.0.1:port (waits up to `timeoutMs`).
bool WaitForPort(int port, int timeoutMs);
// The HTTP status of GET path on 127.0.0.1:port, 0 when there is no answer.
int HttpStatus(int port, const std::string& path);
// Waits up to `timeoutMs` for GET path to answer `status`.
bool WaitForHttpStatus(int port, const std::string& path, int status, int timeoutMs);

}  // namespace audiotest
