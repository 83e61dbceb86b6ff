// The fleet publisher against a real Mosquitto: what a chain's page receives, what happens to
// the lines written while the broker is away, a broker that takes the connection and never
// answers, and one that refuses the shop's password.
#include "telemetry/fleetpublisher.h"
#include "tests/support/testsupport.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

template <typename Condition>
bool WaitFor(Condition condition, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return condition();
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
        process_.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), dir_.filePath("mosquitto.conf")});
        process_.waitForStarted();
        WaitFor([&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(quint16(port_));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            return up;
        });
    }
    void Kill() {
        process_.kill();
        process_.waitForFinished();
    }
    // Reads its password file again.
    void Reload() { ::kill(pid_t(process_.processId()), SIGHUP); }
    int Refusals() const { return int(ReadBytes(dir_.filePath("mosquitto.log")).count("disconnected, not authorised")); }

private:
    int port_;
    QTemporaryDir dir_;
    QProcess process_;
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
    std::vector<Received> On(const std::string& topic) {
        std::lock_guard guard(lock_);
        std::vector<Received> out;
        for (const auto& r : received_)
            if (r.topic == topic) out.push_back(r);
        return out;
    }

private:
    mosquitto* client_ = nullptr;
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
    ASSERT_TRUE(WaitFor([&] { return page.On("sonaris/loja-214/historico").size() >= 2001; }, 30000))
        << page.On("sonaris/loja-214/historico").size();
    const auto lines = page.On("sonaris/loja-214/historico");
    EXPECT_EQ(lines[0].payload, "FROTA: 100 LINHAS NÃO ENVIADAS");
    for (std::size_t i = 1; i < 2001; ++i) ASSERT_EQ(lines[i].payload, "10:00:00 - linha " + std::to_string(i + 99)) << i;
    EXPECT_EQ(history.count("FROTA: SEM CONEXÃO"), 1) << "once per loss, not at every retry";
    EXPECT_EQ(history.count("FROTA: CONECTADO"), 2);
}

TEST_F(FleetOnABroker, ABrokerThatTakesTheConnectionAndNeverAnswersHoldsNothing) {
    // A socket that listens and never reads: the connection is made, no answer ever comes.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(silent, 4);

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
    ::close(silent);
    EXPECT_FALSE(history.contains("FROTA: CONECTADO"));
}

TEST_F(FleetOnABroker, ARefusedPasswordHoldsNothingAndIsToldOnce) {
    QTemporaryDir dir;
    const QString passwords = dir.filePath("senhas");
    ASSERT_EQ(QProcess::execute("/usr/bin/mosquitto_passwd", {"-b", "-c", passwords, "loja-214", "certa"}), 0);
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
    ASSERT_EQ(QProcess::execute("/usr/bin/mosquitto_passwd", {"-b", passwords, "loja-214", "errada"}), 0);
    broker.Reload();
    ASSERT_TRUE(WaitFor([&] { return fleet.Connected(); }, 30000));
    ASSERT_TRUE(WaitFor([&] { return history.contains("FROTA: CONECTADO"); }));
    EXPECT_EQ(history, (QStringList{"FROTA: SEM CONEXÃO", "FROTA: CONECTADO"}));
}
