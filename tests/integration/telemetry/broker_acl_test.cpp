// A chain's broker as fleet/broker/ configures it, with its own certificate, and users added by
// scripts/fleet-user: a shop reaches only its own topics, the office every shop's.
#include <mosquitto.h>
#include "tests/integration/telemetry/brokerlab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
using brokerlab::FreePort;
using brokerlab::PortOpen;
using brokerlab::WaitFor;
// Runs a command to its end; its output on failure, for the test's message.
QString RunCommand(const QString& program, const QStringList& args, const QByteArray& input = {}, const QStringList& env = {}) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env) e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? QString() : program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
}

const QString kSource = QStringLiteral(SONARIS_SOURCE_DIR);

// One MQTT 5 client over TLS: a refused publish comes back as its PUBACK's reason.
class Client {
public:
    Client(int port, const QString& ca, const char* user, const char* password) {
        m_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_tls_set(m_, ca.toUtf8().constData(), nullptr, nullptr, nullptr, nullptr);
        if (user) mosquitto_username_pw_set(m_, user, password);
        mosquitto_connect_v5_callback_set(m_, [](mosquitto*, void* self, int rc, int, const mosquitto_property*) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard guard(c->lock_);
            c->connack_ = rc;
        });
        mosquitto_publish_v5_callback_set(m_, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard guard(c->lock_);
            c->acks_[mid] = reason;
        });
        mosquitto_subscribe_v5_callback_set(m_, [](mosquitto*, void* self, int, int, const int*, const mosquitto_property*) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard guard(c->lock_);
            ++c->subacks_;
        });
        mosquitto_message_v5_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* m, const mosquitto_property*) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard guard(c->lock_);
            c->topics_.push_back(m->topic);
        });
        mosquitto_connect_async(m_, "localhost", port, 30);
        mosquitto_loop_start(m_);
    }
    ~Client() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, true);
        mosquitto_destroy(m_);
    }
    template <typename F>
    auto Locked(F f) {
        std::lock_guard guard(lock_);
        return f();
    }

    // The CONNACK's reason: 0 accepted, 135 not authorised, -1 no answer.
    int Connack() {
        WaitFor([&] { return Locked([&] { return connack_ >= 0; }); });
        return Locked([&] { return connack_; });
    }
    // The PUBACK's reason: 0 success, 135 (0x87) not authorised, -1 no answer.
    int Publish(const std::string& topic, bool retain = false) {
        int mid = 0;
        mosquitto_publish_v5(m_, &mid, topic.c_str(), 2, "{}", 1, retain, nullptr);
        WaitFor([&] { return Locked([&] { return acks_.count(mid) > 0; }); });
        return Locked([&] { return acks_.count(mid) ? acks_[mid] : -1; });
    }
    void Subscribe(std::vector<const char*> topics) {
        const int before = Locked([&] { return subacks_; });
        mosquitto_subscribe_multiple(m_, nullptr, int(topics.size()), const_cast<char* const*>(topics.data()), 1, 0, nullptr);
        WaitFor([&] { return Locked([&] { return subacks_ > before; }); });
    }
    bool WaitForTopic(const std::string& topic) {
        return WaitFor([&] { return Locked([&] { return std::count(topics_.begin(), topics_.end(), topic) > 0; }); });
    }
    std::vector<std::string> Topics() {
        return Locked([&] { return topics_; });
    }

private:
    mosquitto* m_ = nullptr;
    std::mutex lock_;
    int connack_ = -1;
    int subacks_ = 0;
    std::map<int, int> acks_;
    std::vector<std::string> topics_;
};

constexpr int kNotAuthorised = 0x87;
}  // namespace

class ChainBroker : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mosquitto_lib_init();
        dir_ = new QTemporaryDir;
        const QString d = dir_->path() + QLatin1Char('/');
        // The chain's own authority and the broker's certificate, for the name the shops dial.
        QFile ext(d + QStringLiteral("ext.cnf"));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        ext.close();
        const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        for (const QString& error :
             {RunCommand(QStringLiteral("openssl"), QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                                                 QStringList{QStringLiteral("-keyout"), d + QStringLiteral("ca.key"), QStringLiteral("-out"),
                                                             d + QStringLiteral("ca.crt"), QStringLiteral("-days"), QStringLiteral("2"),
                                                             QStringLiteral("-subj"), QStringLiteral("/CN=Rede de Teste")}),
              RunCommand(QStringLiteral("openssl"), QStringList{QStringLiteral("req")} + ec +
                                                 QStringList{QStringLiteral("-keyout"), d + QStringLiteral("broker.key"), QStringLiteral("-out"),
                                                             d + QStringLiteral("broker.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")}),
              RunCommand(QStringLiteral("openssl"),
                  {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), d + QStringLiteral("broker.csr"), QStringLiteral("-CA"),
                   d + QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), d + QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                   QStringLiteral("-out"), d + QStringLiteral("broker.crt"), QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-extfile"), d + QStringLiteral("ext.cnf")}),
              // The users as a chain adds them.
              RunCommand(kSource + QStringLiteral("/scripts/fleet-user"), {QStringLiteral("loja-a")}, "senha-a\n",
                  {QStringLiteral("SONARIS_PASSWD=") + d + QStringLiteral("passwd")}),
              RunCommand(kSource + QStringLiteral("/scripts/fleet-user"), {QStringLiteral("loja-b")}, "senha-b\n",
                  {QStringLiteral("SONARIS_PASSWD=") + d + QStringLiteral("passwd")}),
              RunCommand(kSource + QStringLiteral("/scripts/fleet-user"), {QStringLiteral("--escritorio")}, "senha-escritorio\n",
                  {QStringLiteral("SONARIS_PASSWD=") + d + QStringLiteral("passwd")})})
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        QDir(d).mkpath(QStringLiteral("pagina"));
        ASSERT_TRUE(QFile::copy(kSource + QStringLiteral("/fleet/broker/acl"), d + QStringLiteral("acl")));

        // The configuration as shipped, moved to this folder and to free ports.
        QFile shipped(kSource + QStringLiteral("/fleet/broker/sonaris.conf"));
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        QByteArray conf = shipped.readAll();
        port_ = FreePort();
        conf.replace("/etc/mosquitto/sonaris/", d.toUtf8());
        conf.replace("listener 8883\n", "listener " + QByteArray::number(port_) + "\n");
        conf.replace("listener 8884\n", "listener " + QByteArray::number(FreePort()) + "\n");
        // Run as root, Mosquitto would drop to its own user, who may not read this folder.
        conf = (::geteuid() == 0 ? "user root\n" : "") + conf + "persistence false\nlog_dest file " + d.toUtf8() + "mosquitto.log\n";
        QFile out(d + QStringLiteral("mosquitto.conf"));
        out.open(QIODevice::WriteOnly);
        out.write(conf);
        out.close();
        broker_ = new QProcess;
        broker_->start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), d + QStringLiteral("mosquitto.conf")});
        ASSERT_TRUE(WaitFor([] { return PortOpen(port_); })) << QFile(d + QStringLiteral("mosquitto.log")).exists();
    }
    static void TearDownTestSuite() {
        broker_->kill();
        broker_->waitForFinished();
        delete broker_;
        delete dir_;
    }
    static QString Ca() { return dir_->filePath(QStringLiteral("ca.crt")); }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QProcess* broker_ = nullptr;
    static inline int port_ = 0;
};

TEST_F(ChainBroker, OnlyUsersWithTheirPasswordGetIn) {
    Client anonymous(port_, Ca(), nullptr, nullptr);
    EXPECT_NE(anonymous.Connack(), 0);
    Client wrong(port_, Ca(), "loja-a", "senha-b");
    EXPECT_NE(wrong.Connack(), 0);
    Client shop(port_, Ca(), "loja-a", "senha-a");
    EXPECT_EQ(shop.Connack(), 0);
}

TEST_F(ChainBroker, AShopReachesOnlyItsOwnTopicsAndTheOfficeEveryShops) {
    Client office(port_, Ca(), "escritorio.frota", "senha-escritorio");
    Client a(port_, Ca(), "loja-a", "senha-a");
    Client b(port_, Ca(), "loja-b", "senha-b");
    ASSERT_EQ(office.Connack(), 0);
    ASSERT_EQ(a.Connack(), 0);
    ASSERT_EQ(b.Connack(), 0);
    office.Subscribe({"sonaris/#"});

    // The office writes any shop's desired settings.
    EXPECT_EQ(office.Publish("sonaris/loja-b/config/desejada", true), 0);
    EXPECT_EQ(office.Publish("sonaris/loja-a/config/desejada", true), 0);

    // A asks for B's settings before its own: the broker answers subscriptions in order, so
    // once A has its own, B's would have come first.
    a.Subscribe({"sonaris/loja-b/config/desejada", "sonaris/loja-a/config/desejada"});
    ASSERT_TRUE(a.WaitForTopic("sonaris/loja-a/config/desejada"));
    EXPECT_EQ(a.Topics(), std::vector<std::string>{"sonaris/loja-a/config/desejada"});
    b.Subscribe({"sonaris/loja-b/config/desejada"});
    EXPECT_TRUE(b.WaitForTopic("sonaris/loja-b/config/desejada"));

    // A can neither speak for B nor write its own desired settings; what it may write, the
    // office reads, after (in A's order) anything refused would have arrived.
    EXPECT_EQ(a.Publish("sonaris/loja-b/estado", true), kNotAuthorised);
    EXPECT_EQ(a.Publish("sonaris/loja-b/config/aplicada", true), kNotAuthorised);
    EXPECT_EQ(a.Publish("sonaris/loja-a/config/desejada", true), kNotAuthorised);
    for (const char* own : {"estado", "historico", "resumo", "config/aplicada"})
        EXPECT_EQ(a.Publish(std::string("sonaris/loja-a/") + own, false), 0) << own;
    ASSERT_TRUE(office.WaitForTopic("sonaris/loja-a/config/aplicada"));
    EXPECT_EQ(office.Topics(), (std::vector<std::string>{"sonaris/loja-b/config/desejada", "sonaris/loja-a/config/desejada",
                                                        "sonaris/loja-a/estado", "sonaris/loja-a/historico", "sonaris/loja-a/resumo",
                                                        "sonaris/loja-a/config/aplicada"}));
}
