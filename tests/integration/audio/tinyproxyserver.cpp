#include "tests/integration/audio/tinyproxyserver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace audiotest {

TinyproxyServer::TinyproxyServer(const std::string& user, const std::string& password) {
    port_ = FreeLoopbackPort();
    chmod(dir_.Path().c_str(), 0777);
    std::ofstream config(dir_.File("tinyproxy.conf"));
    if (geteuid() == 0) config << "User nobody\nGroup nogroup\n";
    config << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 60\nAllow 127.0.0.1\nLogLevel Info\n"
           << "LogFile \"" << dir_.File("tinyproxy.log") << "\"\nMaxClients 20\n";
    if (!user.empty()) config << "BasicAuth " << user << " " << password << "\n";
    config.close();
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", dir_.File("tinyproxy.conf")},
                                             dir_.File("tinyproxy.out"));
    ok_ = WaitForPort(port_, 5000);
}

std::string TinyproxyServer::Log() const { return dir_.Text("tinyproxy.log"); }

}  // namespace audiotest
