#include "tests/integration/app/station.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace ctltest {

namespace {
constexpr char kPassword[] = "sonaris-itest";
}

Station::Station(double toneHz) : toneHz_(toneHz) {
    namespace fs = std::filesystem;
    const fs::path base = dir_.Path();
    for (const char* sub : {"log", "web", "admin"}) fs::create_directories(base / sub);
    // As root icecast drops to nobody, who must still reach its folders and write its logs.
    chmod(base.c_str(), 0755);
    chmod((base / "log").c_str(), 0777);
    const std::string security =
        geteuid() == 0 ? "<security><chroot>0</chroot><changeowner><user>nobody</user><group>nogroup</group></changeowner></security>"
                       : "<security><chroot>0</chroot></security>";
    std::ofstream(base / "icecast.xml")
        << "<icecast><location>test</location><admin>test@localhost</admin>"
        << "<limits><clients>20</clients><sources>2</sources><queue-size>524288</queue-size>"
        << "<client-timeout>30</client-timeout><header-timeout>15</header-timeout><source-timeout>10</source-timeout>"
        << "<burst-on-connect>1</burst-on-connect><burst-size>65535</burst-size></limits>"
        << "<authentication><source-password>" << kPassword << "</source-password><relay-password>" << kPassword
        << "</relay-password><admin-user>admin</admin-user><admin-password>" << kPassword << "</admin-password></authentication>"
        << "<hostname>127.0.0.1</hostname><listen-socket><port>" << kPort
        << "</port><bind-address>127.0.0.1</bind-address></listen-socket><fileserve>1</fileserve>"
        << "<paths><basedir>" << base.string() << "</basedir><logdir>" << (base / "log").string() << "</logdir><webroot>"
        << (base / "web").string() << "</webroot><adminroot>" << (base / "admin").string()
        << "</adminroot><alias source=\"/\" destination=\"/stream\"/></paths>"
        << "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>" << security
        << "</icecast>\n";
    server_ = std::make_unique<audiotest::ChildProcess>(
        std::vector<std::string>{"icecast2", "-c", (base / "icecast.xml").string()}, (base / "icecast.out").string());
    ok_ = audiotest::WaitForPort(kPort, 5000) && StartSource();
}

bool Station::StartSource() {
    source_ = std::make_unique<audiotest::ChildProcess>(
        std::vector<std::string>{"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                                 "sine=frequency=" + std::to_string(int(toneHz_)) + ":sample_rate=44100", "-ac", "2", "-c:a",
                                 "aac", "-b:a", "128k", "-f", "adts", "-content_type", "audio/aac",
                                 "icecast://source:" + std::string(kPassword) + "@127.0.0.1:" + std::to_string(kPort) + "/stream"},
        dir_.File("source.out"));
    return audiotest::WaitForHttpStatus(kPort, "/stream", 200, 10000);
}

}  // namespace ctltest
