// One attempt to open a stream ends within the network time-out (20 s, as the player sets it)
// whatever the server or the name service does: a server that trickles a byte a second, a
// chain of redirects each answered slowly, and a name server that never answers each end it
// with code 40 by then, and the look-up it leaves behind keeps later attempts from leaving
// more. Redirects that do reach the stream play; HTTPS plays only for a certificate that
// proves the station's name.
#include "audio/soundlib/realsoundlib.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/misbehavingstation.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <thread>

using namespace soundlib;
using namespace audiotest;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr double kLatestEnd = 20.5;

struct Attempt {
    HSTREAM handle = 0;
    int code = -2;
    double seconds = 0;
};

Attempt Open(RealSoundLib& lib, const std::string& url) {
    const auto start = std::chrono::steady_clock::now();
    const std::string text = url + std::string(1, '\0');
    Attempt attempt;
    attempt.handle = lib.BASS_AAC_StreamCreateURL(text.c_str(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
    attempt.code = lib.BASS_ErrorGetCode();
    attempt.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return attempt;
}

void Figure(const std::string& name, double value) {
    std::cout << "[figure] " << name << "=" << value << std::endl;
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

// A name server that takes every question and answers none: a UDP socket on port 53 of a
// loopback address of its own (root only).
class DeafNameServer {
public:
    DeafNameServer() {
        std::mt19937 random(std::random_device{}());
        address_ = "127.53." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        inet_pton(AF_INET, address_.c_str(), &at.sin_addr);
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~DeafNameServer() {
        if (fd_ >= 0) close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    const std::string& Address() const { return address_; }

private:
    int fd_ = -1;
    std::string address_;
};

// The calling thread alone gets a mount namespace where /etc/resolv.conf is `path`; the
// threads it starts (the library's opener among them) inherit it.
bool UseResolverConfigurationOnThisThread(const std::string& path) {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(path.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
}

// Threads of this process named as the library names its connection openers.
int OpenerThreads() {
    int count = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == "sound-connect") ++count;
    }
    return count;
}

class StreamAttempt : public ::testing::Test {
protected:
    void SetUp() override {
        UseDummyOutput();
        lib = std::make_unique<RealSoundLib>();
        ASSERT_TRUE(lib->BASS_Init(1, 44100, 0, nullptr, nullptr));
        lib->BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, kTimeoutMs);
        lib->BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
        ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100:duration=10", "-ac", "2", "-c:a", "aac",
                               "-b:a", "128k", "-f", "adts"},
                              files.File("tone.aac")));
    }

    TempDir files;
    std::unique_ptr<RealSoundLib> lib;
};

TEST_F(StreamAttempt, ATrickleASlowRedirectChainAndADeafNameServerEachEndTheAttemptWithin20s) {
    MisbehavingStation trickle({"--trickle"});
    // Six redirects of 4 s each: each within the time-out by itself, 24 s together.
    MisbehavingStation slowChain({"--hops", "6", "--hop-delay", "4", files.File("tone.aac")});
    ASSERT_TRUE(trickle.Ok() && slowChain.Ok());

    const bool root = geteuid() == 0;
    DeafNameServer deaf;
    const std::string resolver = files.File("resolv.conf");
    std::ofstream(resolver) << "nameserver " << deaf.Address() << "\noptions timeout:30 attempts:2\n";

    // The three attempts run side by side, as the library allows opens from other threads.
    Attempt trickled, chained, looked;
    bool lookupSetUp = false;
    std::thread first([&] { trickled = Open(*lib, trickle.Url()); });
    std::thread second([&] { chained = Open(*lib, slowChain.Url()); });
    std::thread third([&] {
        if (!root || !deaf.Ok() || !UseResolverConfigurationOnThisThread(resolver)) return;
        lookupSetUp = true;
        looked = Open(*lib, "http://radio.sonaris-teste.com.br:9500");
    });
    first.join();
    second.join();
    third.join();

    EXPECT_EQ(trickled.code, BASS_ERROR_TIMEOUT);
    EXPECT_LE(trickled.seconds, kLatestEnd);
    EXPECT_GE(trickled.seconds, 19.5);
    Figure("trickle_attempt_s", trickled.seconds);
    EXPECT_EQ(chained.code, BASS_ERROR_TIMEOUT);
    EXPECT_LE(chained.seconds, kLatestEnd);
    Figure("slow_redirects_attempt_s", chained.seconds);
    if (lookupSetUp) {
        EXPECT_EQ(looked.code, BASS_ERROR_TIMEOUT);
        EXPECT_LE(looked.seconds, kLatestEnd);
        Figure("deaf_name_server_attempt_s", looked.seconds);

        // The look-up goes on for a minute behind the given-up attempt. The player's next
        // attempts meanwhile leave no opener of their own: each fails at once, as with no network.
        ASSERT_TRUE(WaitUntil(5000, [] { return OpenerThreads() == 1; })) << OpenerThreads();
        Attempt next;
        std::thread([&] {
            if (UseResolverConfigurationOnThisThread(resolver)) next = Open(*lib, "http://radio.sonaris-teste.com.br:9500");
        }).join();
        EXPECT_EQ(next.code, BASS_ERROR_NONET);
        EXPECT_LT(next.seconds, 1.0);
        EXPECT_EQ(OpenerThreads(), 1);
        // Once the look-up has given up by itself, attempts connect again.
        ASSERT_TRUE(WaitUntil(60000, [] { return OpenerThreads() == 0; }));
        MisbehavingStation good({"--hops", "1", files.File("tone.aac")});
        ASSERT_TRUE(good.Ok());
        const Attempt after = Open(*lib, good.Url());
        EXPECT_EQ(after.code, BASS_OK);
        if (after.handle) lib->BASS_StreamFree(after.handle);
    } else {
        std::cout << "[skipped] the deaf name server needs root (a private mount namespace and port 53)" << std::endl;
    }
}

TEST_F(StreamAttempt, RedirectsThatReachTheStreamPlay) {
    MisbehavingStation chain({"--hops", "4", files.File("tone.aac")});
    ASSERT_TRUE(chain.Ok());
    Attempt attempt = Open(*lib, chain.Url());
    EXPECT_EQ(attempt.code, BASS_OK);
    EXPECT_NE(attempt.handle, 0u);
    Figure("fast_redirects_attempt_s", attempt.seconds);
    // The net buffer is sized at the stream's own bit rate: 2 s of 128 kbit/s.
    EXPECT_NEAR(double(lib->BASS_StreamGetFilePosition(attempt.handle, BASS_FILEPOS_END)), 32000.0, 4000.0);
    if (attempt.handle) {
        EXPECT_TRUE(lib->BASS_StreamFree(attempt.handle));
    }
}

// Certificates made here: an authority of the test's own, a certificate it signs for
// 127.0.0.1, one it signs for another name, and one signed by nobody but itself.
bool MakeCertificates(TempDir& files) {
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
    std::ofstream(files.File("ip.ext")) << "subjectAltName=IP:127.0.0.1\n";
    std::ofstream(files.File("name.ext")) << "subjectAltName=DNS:radio.sonaris-teste.com.br\n";
    auto run = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; };
    auto sign = [&](const std::string& name, const std::string& ext) {
        return run("openssl req -new " + key + " -subj /CN=" + name + " -keyout '" + files.File(name + ".key") + "' -out '" +
                   files.File(name + ".csr") + "'") &&
               run("openssl x509 -req -days 2 -in '" + files.File(name + ".csr") + "' -CA '" + files.File("ca.pem") +
                   "' -CAkey '" + files.File("ca.key") + "' -CAcreateserial -extfile '" + files.File(ext) + "' -out '" +
                   files.File(name + ".pem") + "'");
    };
    return run("openssl req -x509 " + key + " -subj '/CN=Sonaris test authority' -keyout '" + files.File("ca.key") +
               "' -out '" + files.File("ca.pem") + "'") &&
           sign("signed", "ip.ext") && sign("othername", "name.ext") &&
           run("openssl req -x509 " + key + " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
               files.File("self.key") + "' -out '" + files.File("self.pem") + "'");
}

// An HTTPS station is heard only when its certificate is for the address's host and chains
// to a trusted authority; any other is a failed attempt (code 32), never a connection that
// goes on unchecked.
TEST_F(StreamAttempt, AnHttpsStationPlaysOnlyWithACertificateOfATrustedAuthorityForItsHost) {
    ASSERT_TRUE(MakeCertificates(files)) << "openssl could not make the certificates";
    auto station = [&](const std::string& name) {
        return std::make_unique<MisbehavingStation>(
            std::vector<std::string>{"--tls", files.File(name + ".pem"), files.File(name + ".key"), files.File("tone.aac")}, 0, true);
    };
    auto self = station("self"), signedByTest = station("signed"), otherName = station("othername");
    ASSERT_TRUE(self->Ok() && signedByTest->Ok() && otherName->Ok());

    // The system's authorities, as the player runs: none of them signed these.
    Attempt selfSigned = Open(*lib, self->Url());
    EXPECT_EQ(selfSigned.code, BASS_ERROR_NONET);
    EXPECT_EQ(selfSigned.handle, 0u);
    EXPECT_EQ(Open(*lib, signedByTest->Url()).code, BASS_ERROR_NONET);

    lib->SetTrustedAuthorities(files.File("ca.pem"));
    EXPECT_EQ(Open(*lib, self->Url()).code, BASS_ERROR_NONET);
    EXPECT_EQ(Open(*lib, otherName->Url()).code, BASS_ERROR_NONET);
    Attempt attempt = Open(*lib, signedByTest->Url());
    ASSERT_EQ(attempt.code, BASS_OK);
    Figure("https_attempt_s", attempt.seconds);
    ASSERT_TRUE(lib->BASS_ChannelPlay(attempt.handle, false));
    Wait(1000);
    EXPECT_EQ(lib->BASS_ChannelIsActive(attempt.handle), BASS_ACTIVE_PLAYING);
    EXPECT_GT(lib->BASS_StreamGetFilePosition(attempt.handle, BASS_FILEPOS_CURRENT), 16000u);
    EXPECT_TRUE(lib->BASS_StreamFree(attempt.handle));
}

}  // namespace
