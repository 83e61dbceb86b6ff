#include "tests/integration/audio/icecastserver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace audiotest {

namespace {
constexpr char kPassword[] = "hackme42";
}

IcecastServer::IcecastServer(int port, int burstBytes) {
    namespace fs = std::filesystem;
    port_ = port ? port : FreeLoopbackPort();
    const fs::path base = dir_.Path();
    for (const char* sub : {"log", "web", "admin"}) fs::create_directories(base / sub);
    // icecast drops to nobody: it must reach its folders and write its logs.
    chmod(base.c_str(), 0755);
    chmod((base / "log").c_str(), 0777);
    std::ofstream(base / "web" / "page.html") << "<html><head><title>x</title></head><body>" << std::string(4000, 'x')
                                               << "</body></html>\n";

    std::string security = geteuid() == 0
                               ? "<security><chroot>0</chroot><changeowner><user>nobody</user><group>nogroup</group></changeowner></security>"
                               : "<security><chroot>0</chroot></security>";
    std::ofstream(base / "icecast.xml")
        << "<icecast><location>test</location><admin>test@localhost</admin>"
        << "<limits><clients>50</clients><sources>10</sources><queue-size>524288</queue-size>"
        << "<client-timeout>30</client-timeout><header-timeout>15</header-timeout><source-timeout>30</source-timeout>"
        << "<burst-on-connect>1</burst-on-connect><burst-size>" << burstBytes << "</burst-size></limits>"
        << "<authentication><source-password>" << kPassword << "</source-password><relay-password>" << kPassword
        << "</relay-password><admin-user>admin</admin-user><admin-password>" << kPassword << "</admin-password></authentication>"
        << "<hostname>127.0.0.1</hostname><listen-socket><port>" << port_
        << "</port><bind-address>127.0.0.1</bind-address></listen-socket><fileserve>1</fileserve>"
        << "<paths><basedir>" << base.string() << "</basedir><logdir>" << (base / "log").string() << "</logdir><webroot>"
        << (base / "web").string() << "</webroot><adminroot>" << (base / "admin").string()
        << "</adminroot><alias source=\"/\" destination=\"/stream\"/></paths>"
        << "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>" << security
        << "</icecast>\n";
    StartServer();
}

void IcecastServer::StartServer() {
    server_.reset();
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{"icecast2", "-c", dir_.File("icecast.xml")}, dir_.File("icecast.out"));
    ok_ = WaitForPort(port_, 5000);
}

std::string IcecastServer::Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

std::unique_ptr<ChildProcess> IcecastServer::StartSource(const std::string& mount, int warmMs, double toneHz) {
    return StartLavfiSource(mount, "sine=frequency=" + std::to_string(int(toneHz)) + ":sample_rate=44100", warmMs);
}

std::unique_ptr<ChildProcess> IcecastServer::StartLavfiSource(const std::string& mount, const std::string& lavfi, int warmMs) {
    // Debian's icecast2 now and then dies of a segmentation fault just after it opens its port:
    // a server found gone when its source cannot connect is started once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto source = std::make_unique<ChildProcess>(
            std::vector<std::string>{"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                                     lavfi, "-ac", "2", "-c:a", "aac", "-b:a", "128k", "-f", "adts",
                                     "-content_type", "audio/aac",
                                     "icecast://source:" + std::string(kPassword) + "@127.0.0.1:" + std::to_string(port_) + mount},
            dir_.File("source.out"));
        if (WaitForHttpStatus(port_, mount, 200, 10000)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(warmMs));
            return source;
        }
        if (server_->Running()) break;
        source.reset();
        StartServer();
        if (!ok_) break;
    }
    return nullptr;
}

}  // namespace audiotest
