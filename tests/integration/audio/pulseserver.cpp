#include "tests/integration/audio/pulseserver.h"

#include "tests/integration/audio/diskoutput.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace audiotest {

namespace {
bool Accepts(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}
}  // namespace

PulseServer::PulseServer() : socket_(dir_.File("native")) {
    // The server's own files (cookie, state, runtime) stay in the temporary folder; clients
    // never start a server of their own.
    std::ofstream(dir_.File("client.conf")) << "autospawn = no\n";
    setenv("PULSE_RUNTIME_PATH", dir_.File("runtime").c_str(), 1);
    setenv("PULSE_STATE_PATH", dir_.File("state").c_str(), 1);
    setenv("PULSE_COOKIE", dir_.File("cookie").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", dir_.File("client.conf").c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    Start();
}

PulseServer::~PulseServer() {
    recorder_.reset();
    silence_.reset();
    server_.reset();
}

void PulseServer::UseThisServer() const { setenv("SDL_AUDIODRIVER", "pulseaudio", 1); }

bool PulseServer::Start() {
    recorder_.reset();
    server_.reset();
    unlink(socket_.c_str());
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                 "--log-target=stderr", "-L", std::string("module-null-sink sink_name=") + kSink,
                                 "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket_},
        dir_.File("pulseaudio.log"));
    if (!WaitUntil(10000, [&] { return Accepts(socket_); })) return false;
    upAt_ = std::chrono::steady_clock::now();
    return WaitUntil(10000, [&] { return Pactl("info"); });
}

void PulseServer::KillHard() {
    server_.reset();  // SIGKILL and reap; the recorder keeps what reached it and ends by itself
    WaitUntil(2000, [&] { return !recorder_ || !recorder_->Running(); });
    recorder_.reset();
    silence_.reset();
}

bool PulseServer::Pactl(const std::string& arguments, std::string* output) const {
    FILE* pipe = popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) return false;
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    bool ok = pclose(pipe) == 0;
    if (output) *output = Trimmed(text);
    return ok;
}

bool PulseServer::UnloadSink() {
    recorder_.reset();
    silence_.reset();
    return Pactl(std::string("unload-module module-null-sink"));
}

bool PulseServer::LoadSink() { return Pactl(std::string("load-module module-null-sink sink_name=") + kSink); }

void PulseServer::StartRecording(const std::string& name) {
    recorder_.reset();
    unlink(dir_.File(name).c_str());
    // A null sink with nothing playing renders nothing, and its monitor stays quiet: a stream of
    // zeros keeps it going, so that the recording runs in step with the clock from its start.
    silence_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"pacat", "-p", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                                 "--latency-msec=20", "/dev/zero"},
        dir_.File("pacat.log"));
    recorder_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"parec", "-d", std::string(kSink) + ".monitor", "--format=s16le", "--rate=44100",
                                 "--channels=2", "--latency-msec=20", dir_.File(name)},
        dir_.File("parec.log"));
}

void PulseServer::StopRecording() {
    recorder_.reset();
    silence_.reset();
}

Heard PulseServer::Recording(const std::string& name) const {
    Heard heard;
    std::vector<unsigned char> bytes = ReadAll(dir_.File(name));
    const std::size_t frames = bytes.size() / 4;
    heard.left.resize(frames);
    heard.right.resize(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        auto sample = [&](std::size_t at) {
            return static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)) / 32768.0f;
        };
        heard.left[f] = sample(f * 4);
        heard.right[f] = sample(f * 4 + 2);
    }
    return heard;
}

std::size_t PulseServer::RecordedFrames(const std::string& name) const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(dir_.File(name), ec);
    return ec ? 0 : std::size_t(bytes / 4);
}

double PulseServer::SecondsToFirstSound(const std::string& name, float threshold) const {
    Heard heard = Recording(name);
    std::size_t first = FirstSound(heard.right, threshold);
    if (first >= heard.Frames()) return -1.0;
    return static_cast<double>(first) / heard.rate;
}

}  // namespace audiotest
