// The fleet publisher against a real Mosquitto: what a chain's page receives, what happens to
// the lines written while the broker is away, a broker that takes the connection and never
// answers, one that refuses the shop's password, a busy shop over TLS while its broker
// restarts, and a CA file that cannot be read.
#include "telemetry/fleetpublisher.h"
#include "tests/integration/telemetry/brokerlab.h"
#include "tests/support/testsupport.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using brokerlab::FreePort;
using brokerlab::PortOpen;
using brokerlab::WaitFor;
// Programs start with fork and exec, not QProcess: in the TSan build, once QProcess has
// started a child, ThreadSanitizer no longer sees the locks libmosquitto takes on this thread
// and reports races that are not there.
pid_t Spawn(const QString& program, const QStringList& args) {
    std::vector<QByteArray> text{program.toLocal8Bit()};
    for (const QString& a : args) text.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& t : text) argv.push_back(t.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int RunProgram(const QString& program, const QStringList& args) {
    const pid_t pid = Spawn(program, args);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Broker {
public:
    explicit Broker(int port, const QByteArray& access = "allow_anonymous true\n") : port_(port) {
        WriteBytes(dir_.filePath("mosquitto.conf"),
                   "listener " + QByteArray::number(port) + " 127.0.0.1\n" + access + "persistence false\n" +
                   "log_dest file " + dir_.filePath("mosquitto.log").toUtf8() + "\n"
                   // The page takes a backlog of 2,000 lines at once: more than a client's default queue.
                   "max_queued_messages 5000\n");
        Start();
    }
    ~Broker() { Kill(); }
    void Start() {
        pid_ = Spawn(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), dir_.filePath("mosquitto.conf")});
        WaitFor([&] { return PortOpen(port_); });
    }
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    // Reads its password file again.
    void Reload() { ::kill(pid_, SIGHUP); }
    int Refusals() const { return int(ReadBytes(dir_.filePath("mosquitto.log")).count("disconnected, not authorised")); }
    QByteArray Log() const { return ReadBytes(dir_.filePath("mosquitto.log")); }

private:
    int port_;
    QTemporaryDir dir_;
    pid_t pid_ = 0;
};

// A chain's page, as far as these tests need one: everything under sonaris/.
class Listener {
public:
    struct Received {
        std::string topic, payload;
        bool retain;
    };
    explicit Listener(int port) {
        mosquitto_lib_init();
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(client_, [](mosquitto* m, void*, int rc) {
            if (rc == 0) mosquitto_subscribe(m, nullptr, "sonaris/#", 1);
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Listener*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* l = static_cast<Listener*>(self);
            std::lock_guard guard(l->lock_);
            l->received_.push_back({m->topic, std::string(static_cast<const char*>(m->payload), std::size_t(m->payloadlen)), m->retain});
        });
        mosquitto_connect(client_, "127.0.0.1", port, 30);
        mosquitto_loop_start(client_);
    }
    ~Listener() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    // History lines published before the subscription never reach this page: they are not retained.
    bool Subscribed() const { return subscribed_; }
    std::vector<Received> On(const std::string& topic) {
        std::lock_guard guard(lock_);
        std::vector<Received> out;
        for (const auto& r : received_)
            if (r.topic == topic) out.push_back(r);
        return out;
    }

private:
    mosquitto* client_ = nullptr;
    std::atomic<bool> subscribed_ = false;
    std::mutex lock_;
    std::vector<Received> received_;
};

FleetSettings Lab(int port) {
    FleetSettings s;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = port;
    s.Tls = false;
    s.Shop = QStringLiteral("loja-214");
    return s;
}

FleetState Playing(const QString& now) {
    FleetState s;
    s.Activated = true;
    s.Now = now;
    s.WindowStart = QStringLiteral("08:00:00");
    s.WindowStop = QStringLiteral("18:00:00");
    s.Station = QStringLiteral("http://127.0.0.1:9500");
    return s;
}

const QDateTime kAt(QDate(2026, 12, 8), QTime(10, 0));

// A chain's own authority and a broker certificate it signed for 127.0.0.1, as a chain makes
// them with openssl.
struct Certificates {
    QTemporaryDir dir;
    QString ca = dir.filePath("rede.pem"), cert = dir.filePath("broker.pem"), key = dir.filePath("broker.key");
    bool Make() {
        auto run = [&](const QStringList& args) { return RunProgram(QStringLiteral("/usr/bin/openssl"), args) == 0; };
        const QString caKey = dir.filePath("rede.key"), request = dir.filePath("broker.csr"), names = dir.filePath("nomes.ext");
        WriteBytes(names, "subjectAltName=IP:127.0.0.1\n");
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        return run(QStringList{"req", "-x509"} + ec + QStringList{"-keyout", caKey, "-out", ca, "-days", "2", "-subj", "/CN=Rede de Lojas CA"}) &&
               run(QStringList{"req"} + ec + QStringList{"-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"}) &&
               run({"x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-CAcreateserial", "-out", cert, "-days", "2",
                    "-extfile", names});
    }
};

// A listening socket that never answers: whatever a client sends stays in it to be looked at.
class SilentListener {
public:
    explicit SilentListener(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0;
    }
    ~SilentListener() { ::close(fd_); }
    // A connection waiting to be accepted.
    bool Pending() const {
        pollfd waiting{fd_, POLLIN, 0};
        return ::poll(&waiting, 1, 0) == 1;
    }
    // The connection waiting to be accepted, or -1; never waits.
    int Accept() { return Pending() ? ::accept(fd_, nullptr, nullptr) : -1; }
    bool bound = false;

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
};
}  // namespace

class FleetOnABroker : public ::testing::Test {
protected:
    int port = FreePort();
    QStringList history;
    std::function<void(const QString&)> Record() {
        return [this](const QString& line) { history << line; };
    }
};

TEST_F(FleetOnABroker, TheStateTheHistoryAndTheDaysAccountReachThePage) {
    Broker broker(port);
    Listener page(port);
    ASSERT_TRUE(WaitFor([&] { return page.Subscribed(); }));
    TFleetPublisher fleet(Lab(port), Record());
    fleet.Start();
    ASSERT_TRUE(WaitFor([&] { return fleet.Connected(); }));
    ASSERT_TRUE(WaitFor([&] { return history.contains("FROTA: CONECTADO"); }));

    fleet.State(Playing("stream"), kAt);
    fleet.HistoryLine("10:00:01 - Sonaris", kAt.date());
    fleet.HistoryLine("18:00:00 - RESUMO DO DIA - Streaming: 09:12:40  Músicas Locais: 00:46:07  Silêncio: 00:01:13  Quedas: 3",
                      kAt.date());
    ASSERT_TRUE(WaitFor([&] { return !page.On("sonaris/loja-214/resumo").empty(); }));

    const auto states = page.On("sonaris/loja-214/estado");
    ASSERT_FALSE(states.empty());
    const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(states.back().payload)).object();
    EXPECT_TRUE(state.value("online").toBool());
    EXPECT_EQ(state.value("agora").toString(), "stream");
    EXPECT_EQ(state.value("fim").toString(), "18:00:00");
    EXPECT_TRUE(state.value("ultima_queda").isNull());
    EXPECT_TRUE(state.value("desde").toString().startsWith("2026-12-08T10:00:00")) << state.value("desde").toString().toStdString();
    const auto lines = page.On("sonaris/loja-214/historico");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].payload, "10:00:01 - Sonaris");
    const QJsonObject summary = QJsonDocument::fromJson(QByteArray::fromStdString(page.On("sonaris/loja-214/resumo")[0].payload)).object();
    EXPECT_EQ(summary.value("data").toString(), "2026-12-08");
    EXPECT_TRUE(summary.value("linha").toString().contains("Quedas: 3"));

    // A clean end says so itself: the retained state is offline.
    fleet.Stop();
    ASSERT_TRUE(WaitFor([&] {
        const auto s = page.On("sonaris/loja-214/estado");
        return !s.empty() && s.back().payload == R"({"online":false})";
    }));
}

TEST_F(FleetOnABroker, LinesWrittenWhileTheBrokerIsAwayArriveInOrderWhenItIsBack) {
    auto broker = std::make_unique<Broker>(port);
    TFleetPublisher fleet(Lab(port), Record());
    fleet.Start();
    ASSERT_TRUE(WaitFor([&] { return fleet.Connected(); }));

    broker->Kill();
    ASSERT_TRUE(WaitFor([&] { return !fleet.Connected(); }));
    for (int i = 0; i < 2100; ++i) fleet.HistoryLine(QStringLiteral("10:00:00 - linha %1").arg(i), kAt.date());
    EXPECT_EQ(fleet.Queued(), TFleetPublisher::kMaxQueued);
    ASSERT_TRUE(WaitFor([&] { return history.contains("FROTA: SEM CONEXÃO"); }));

    broker->Start();
    Listener page(port);
    ASSERT_TRUE(WaitFor([&] { return page.Subscribed(); }));
    ASSERT_TRUE(WaitFor([&] { return page.On("sonaris/loja-214/historico").size() >= 2001; }, 30000))
        << page.On("sonaris/loja-214/historico").size();
    const auto lines = page.On("sonaris/loja-214/historico");
    EXPECT_EQ(lines[0].payload, "FROTA: 100 LINHAS NÃO ENVIADAS");
    for (std::size_t i = 1; i < 2001; ++i) ASSERT_EQ(lines[i].payload, "10:00:00 - linha " + std::to_string(i + 99)) << i;
    EXPECT_EQ(history.count("FROTA: SEM CONEXÃO"), 1) << "once per loss, not at every retry";
    EXPECT_EQ(history.count("FROTA: CONECTADO"), 2);
}

TEST_F(FleetOnABroker, ABrokerThatTakesTheConnectionAndNeverAnswersHoldsNothing) {
    // The connection is made, no answer ever comes.
    SilentListener silent(port);
    ASSERT_TRUE(silent.bound);

    TFleetPublisher fleet(Lab(port), Record());
    fleet.Start();
    // The player's ticks hand over states and lines as ever; each call returns at once.
    for (int i = 0; i < 3000; ++i) {
        fleet.State(Playing(i % 2 ? "local" : "stream"), kAt.addSecs(i));
        fleet.HistoryLine(QStringLiteral("10:00:00 - linha %1").arg(i), kAt.date());
    }
    EXPECT_FALSE(fleet.Connected());
    EXPECT_EQ(fleet.Queued(), TFleetPublisher::kMaxQueued);
    fleet.Stop();
    EXPECT_FALSE(history.contains("FROTA: CONECTADO"));
}

TEST_F(FleetOnABroker, ARefusedPasswordHoldsNothingAndIsToldOnce) {
    QTemporaryDir dir;
    const QString passwords = dir.filePath("senhas");
    ASSERT_EQ(RunProgram("/usr/bin/mosquitto_passwd", {"-b", "-c", passwords, "loja-214", "certa"}), 0);
    // As root, Mosquitto would read the file again as its own user, who cannot enter `dir`.
    Broker broker(port, "user root\nallow_anonymous false\npassword_file " + passwords.toUtf8() + "\n");
    FleetSettings settings = Lab(port);
    settings.User = QStringLiteral("loja-214");
    settings.Password = QStringLiteral("errada");
    TFleetPublisher fleet(settings, Record());
    fleet.Start();
    ASSERT_TRUE(WaitFor([&] { return history.contains("FROTA: SEM CONEXÃO"); }));
    for (int i = 0; i < 3000; ++i) {
        fleet.State(Playing(i % 2 ? "local" : "stream"), kAt.addSecs(i));
        fleet.HistoryLine(QStringLiteral("10:00:00 - linha %1").arg(i), kAt.date());
    }
    EXPECT_FALSE(fleet.Connected());
    EXPECT_EQ(fleet.Queued(), TFleetPublisher::kMaxQueued);
    // Refused again after a delay, never at once: retried in a loop, the count would be past 3
    // by the time this looks.
    ASSERT_TRUE(WaitFor([&] { return broker.Refusals() >= 2; }, 30000));
    EXPECT_LE(broker.Refusals(), 3);
    EXPECT_EQ(history, QStringList{"FROTA: SEM CONEXÃO"}) << "once per loss, not at every refusal";

    // The chain's administrator gives the shop the password it has.
    ASSERT_EQ(RunProgram("/usr/bin/mosquitto_passwd", {"-b", passwords, "loja-214", "errada"}), 0);
    broker.Reload();
    ASSERT_TRUE(WaitFor([&] { return fleet.Connected(); }, 30000));
    ASSERT_TRUE(WaitFor([&] { return history.contains("FROTA: CONECTADO"); }));
    EXPECT_EQ(history, (QStringList{"FROTA: SEM CONEXÃO", "FROTA: CONECTADO"}));
}

// The window's thread hands lines over while libmosquitto's thread reads, writes and
// reconnects on the same TLS connection. Run under TSan by scripts/test --tsan.
TEST_F(FleetOnABroker, ABusyShopOverTlsWhileItsBrokerRestartsAndItsPublisherComesAndGoes) {
    Certificates tls;
    ASSERT_TRUE(tls.Make());
    const int pagePort = FreePort();
    // As root, Mosquitto would read the certificates again as its own user, who cannot enter their folder.
    Broker broker(port, "allow_anonymous true\nuser root\ncertfile " + tls.cert.toUtf8() + "\nkeyfile " + tls.key.toUtf8() +
                            "\nlistener " + QByteArray::number(pagePort) + " 127.0.0.1\n");
    Listener page(pagePort);
    ASSERT_TRUE(WaitFor([&] { return page.Subscribed(); }));
    FleetSettings settings = Lab(port);
    settings.Tls = true;
    settings.CaFile = tls.ca;

    constexpr int kRuns = 9;
    int connections = 0;
    for (int run = 0; run < kRuns; ++run) {
        const bool restart = run % 3 == 1;
        TFleetPublisher fleet(settings, Record());
        ASSERT_TRUE(fleet.Start());
        ASSERT_TRUE(WaitFor([&] { return fleet.Connected(); })) << run;
        // About 400 lines a second for a second, with a state at every pass; the broker goes
        // down and comes back half-way through every third run.
        int line = 0;
        QElapsedTimer t;
        t.start();
        for (int pass = 0; t.elapsed() < 1000; ++pass) {
            if (restart && pass == 50) {
                broker.Kill();
                broker.Start();
            }
            for (int i = 0; i < 2; ++i, ++line) fleet.HistoryLine(QStringLiteral("10:00:00 - %1 %2").arg(run).arg(line), kAt.date());
            fleet.State(Playing(pass % 2 ? "local" : "stream"), kAt.addSecs(pass));
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        const std::string last = QStringLiteral("10:00:00 - %1 fim").arg(run).toStdString();
        fleet.HistoryLine(QString::fromStdString(last), kAt.date());
        ASSERT_TRUE(WaitFor([&] {
            const auto lines = page.On("sonaris/loja-214/historico");
            return !lines.empty() && lines.back().payload == last;
        }, 30000)) << run;
        // Told once at the start, and once more after a restart.
        connections += restart ? 2 : 1;
        ASSERT_TRUE(WaitFor([&] { return history.count("FROTA: CONECTADO") == connections; })) << run << " " << history.join(", ").toStdString();
        fleet.Stop();
        if (restart) continue;
        // Without a restart every line arrives once, in order.
        std::vector<std::string> got;
        for (const auto& r : page.On("sonaris/loja-214/historico"))
            if (r.payload.starts_with("10:00:00 - " + std::to_string(run) + " ")) got.push_back(r.payload);
        ASSERT_EQ(got.size(), std::size_t(line) + 1) << run;
        for (int i = 0; i < line; ++i) ASSERT_EQ(got[std::size_t(i)], QStringLiteral("10:00:00 - %1 %2").arg(run).arg(i).toStdString());
    }
    const QByteArray log = broker.Log();
    EXPECT_FALSE(log.contains("OpenSSL Error")) << log.toStdString();
    EXPECT_FALSE(log.contains("rotocol error")) << log.toStdString();
}

// The password is never sent in clear for want of a CA: the client that cannot set up TLS is not started.
TEST_F(FleetOnABroker, ACaFileThatCannotBeReadRefusesTheFleetInsteadOfConnectingInClear) {
    QTemporaryDir dir;
    // Unreadable to its owner; root reads anything, so for root a link whose target was removed.
    const QString ca = dir.filePath("rede.pem");
    WriteBytes(ca, "-----BEGIN CERTIFICATE-----\n");
    ::chmod(ca.toLocal8Bit().constData(), 0);
    if (::access(ca.toLocal8Bit().constData(), R_OK) == 0) {
        QFile::remove(ca);
        ASSERT_TRUE(QFile::link(dir.filePath("removido.pem"), ca));
    }
    // Where the broker should be, a socket that keeps whatever is sent to it.
    SilentListener broker(port);
    ASSERT_TRUE(broker.bound);
    FleetSettings settings = Lab(port);
    settings.Tls = true;
    settings.CaFile = ca;
    settings.User = QStringLiteral("loja-214");
    settings.Password = QStringLiteral("segredo");

    TFleetPublisher fleet(settings, Record());
    EXPECT_FALSE(fleet.Start());
    fleet.State(Playing("stream"), kAt);
    fleet.HistoryLine("10:00:01 - Sonaris", kAt.date());
    // Time for a network thread, were there one, to connect and send.
    EXPECT_FALSE(WaitFor([&] { return broker.Pending(); }, 2000));
    fleet.Stop();
    EXPECT_EQ(history, QStringList{"FROTA.INI: configuração inválida - CA"});
    const int connection = broker.Accept();
    if (connection >= 0) {
        unsigned char first = 0;
        EXPECT_NE(::recv(connection, &first, 1, MSG_DONTWAIT) == 1 ? first : 0, 0x10) << "an MQTT CONNECT in clear, with the password";
        ::close(connection);
    }
    EXPECT_LT(connection, 0) << "a refused fleet opens no connection";
}
