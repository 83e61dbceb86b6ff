// The office's settings reach a shop through a real Mosquitto: the controller (on the fake
// sound library and the fake clock) takes a new version whole, writes what F11 and F10 write,
// says so in the history and on config/aplicada, and closes today at the new stop; a restart
// applies nothing twice; a document with a bad time changes no file. Spots sent by address come
// from a real HTTPS server, checked against the authorities and the hash before they count.
#include "ui_usom.h"
#include "tests/integration/telemetry/brokerlab.h"
#include "tests/unit/app/controllerfixture.h"
#include "app/dailyrun.h"
#include "spots/spots.h"
#include "ui/hourlyvolume.h"
#include "system/clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>


namespace {
using brokerlab::FreePort;
using brokerlab::WaitFor;
const char* const kDesired = "sonaris/loja-7/config/desejada";
const char* const kApplied = "sonaris/loja-7/config/aplicada";
}  // namespace

class RemoteOffice : public ControllerFixture {
protected:
    void SetUp() override {
        WriteBytes(dir_.filePath("mosquitto.conf"), "listener " + QByteArray::number(port_) +
                                                         " 127.0.0.1\nallow_anonymous true\npersistence false\n");
        broker_.start("/usr/sbin/mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
        ASSERT_TRUE(broker_.waitForStarted());
        WriteFile("FROTA.INI", {"SERVIDOR=mqtt://127.0.0.1:" + QString::number(port_), "LOJA=loja-7", "REMOTO=1"});
        ControllerFixture::SetUp();
        Start();
    }
    void TearDown() override {
        window.reset();
        broker_.kill();
        broker_.waitForFinished();
    }
    // The window's first activation starts the fleet link; the broker may still be starting.
    void Start() {
        w->FormActivate();
        ASSERT_TRUE(WaitFor([&] { return History().contains("FROTA: CONECTADO"); }));
    }
    void Restart() {
        window.reset();
        Create();
        w = window.get();
        Start();
    }
    static int Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(20000);
        if (out) *out = p.readAllStandardOutput();
        return p.exitCode();
    }
    void Publish(const QByteArray& document) {
        ASSERT_EQ(Run("mosquitto_pub", {"-p", QString::number(port_), "-q", "1", "-r", "-t", kDesired, "-m", document}), 0);
    }
    QJsonObject Answer() {
        QByteArray out;
        Run("mosquitto_sub", {"-p", QString::number(port_), "-t", kApplied, "-C", "1", "-W", "5"}, &out);
        return QJsonDocument::fromJson(out.trimmed()).object();
    }
    // The seven days of the week, one window for all, Tuesday (today) given its own.
    static QByteArray Document(int version, const QString& tuesday, int volume) {
        QString days;
        for (int d = 1; d <= 7; ++d)
            days += QString(d > 1 ? "," : "") + "{\"inicio\":\"08:00:00\",\"fim\":\"" + (d == 3 ? tuesday : "18:00:00") + "\"}";
        return QString("{\"versao\":%1,\"horarios\":[%2],\"volume\":%3,\"autor\":\"Ana\",\"motivo\":\"inventário\"}")
            .arg(version)
            .arg(days)
            .arg(volume)
            .toUtf8();
    }
    QStringList DayFile() {
        QStringList lines;
        for (const QString& l : QString::fromLatin1(ReadBytes(w->HistoryDayFile(QDate(2026, 12, 8)))).split("\r\n", Qt::SkipEmptyParts))
            lines << l.mid(l.indexOf(" - ") + 3);
        return lines;
    }

    int port_ = FreePort();
    QTemporaryDir dir_;
    QProcess broker_;
};

namespace {
// An HTTPS server of Python's on 127.0.0.1 with a certificate that an authority made here signs.
const char* const kHttpsServer = R"(
import functools, http.server, ssl, sys
port, cert, key, root = sys.argv[1:5]
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)),
                                         functools.partial(http.server.SimpleHTTPRequestHandler, directory=root))
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";

bool MakeCertificates(const QString& dir) {
    const QString key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
    auto run = [&](const QString& command) { return QProcess::execute("sh", {"-c", "cd '" + dir + "' && " + command + " >/dev/null 2>&1"}) == 0; };
    return run("openssl req -x509 " + key + " -subj '/CN=Sonaris test authority' -keyout ca.key -out ca.pem") &&
           run("openssl req -new " + key + " -subj /CN=127.0.0.1 -keyout server.key -out server.csr") &&
           run("printf 'subjectAltName=IP:127.0.0.1\\n' > ip.ext && openssl x509 -req -days 2 -in server.csr -CA ca.pem -CAkey ca.key "
               "-CAcreateserial -extfile ip.ext -out server.pem");
}
}  // namespace

// Spots and volumes by the hour: the answer goes at once and again when the downloads end, with
// what did not come as `faltando`; a server the system's authorities do not vouch for gives
// nothing, the next round five minutes on does; a file whose hash is wrong is never written;
// the hourly volume holds now; a spot whose file has not come is missed as not received.
TEST_F(RemoteOffice, SpotsComeOverHttpsCheckedAndWhatDidNotComeIsAnsweredAsMissing) {
    ASSERT_TRUE(MakeCertificates(dir_.path())) << "openssl could not make the certificates";
    ASSERT_TRUE(QDir(dir_.path()).mkdir("www"));
    QByteArray good(200 * 1024, '\0');
    for (int i = 0; i < good.size(); ++i) good[i] = char(i * 7 + i / 251);
    WriteBytes(dir_.filePath("www/BOM.MP3"), good);
    WriteBytes(dir_.filePath("www/RUIM.MP3"), "not what the office hashed");
    const int httpsPort = FreePort();
    QProcess https;
    https.start("python3", {"-c", kHttpsServer, QString::number(httpsPort), dir_.filePath("server.pem"), dir_.filePath("server.key"),
                            dir_.filePath("www")});
    ASSERT_TRUE(WaitFor([&] { return brokerlab::PortOpen(httpsPort); }));

    w->Button1Click();
    TickGeral(26);
    const QString base = "https://127.0.0.1:" + QString::number(httpsPort) + "/";
    const QString goodSha = QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex();
    const QString wrongSha = QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex();
    Publish(QString(R"({"versao": 5, "volume_por_hora": {"10": 70}, "spots": [
        {"hora": "10:06:00", "dias": "1234567", "arquivo": "RUIM.MP3", "url": "%1RUIM.MP3", "sha256": "%2"},
        {"hora": "10:06:00", "dias": "1234567", "arquivo": "BOM.MP3", "url": "%1BOM.MP3", "sha256": "%3"}]})")
                .arg(base, wrongSha, goodSha)
                .toUtf8());
    ASSERT_TRUE(WaitFor([&] { return History().contains(QStringLiteral("CONFIGURAÇÃO REMOTA APLICADA - versão 5")); }))
        << History().join(" | ").toStdString();
    EXPECT_EQ(ReadBytes(folder.File("SPOTS.INI")), "10:06:00;1234567;RUIM.MP3\r\n10:06:00;1234567;BOM.MP3\r\n");
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), "VOLUME_NORMAL=100\r\nVOLUME_10=70\r\n");
    auto missing = [&] { return Answer().value("faltando").toArray(); };
    // Certificates of an authority the system does not know: neither file comes.
    ASSERT_TRUE(WaitFor([&] { return !w->Run->Spots->Downloads().Running(); }));
    EXPECT_EQ(missing(), (QJsonArray{"BOM.MP3", "RUIM.MP3"}));
    auto spotFiles = [&] {
        QStringList files = QDir(folder.File("SPOTS")).entryList(QDir::Files | QDir::Hidden);
        files.removeAll("NIVEIS.INI");
        return files;
    };
    EXPECT_EQ(spotFiles(), QStringList());

    w->Run->Spots->Downloads().SetTrustedAuthorities(dir_.filePath("ca.pem"));
    clock.Advance(5 * 60 * 1000);
    TickGeral();
    ASSERT_TRUE(WaitFor([&] { return missing() == QJsonArray{"RUIM.MP3"}; })) << QJsonDocument(Answer()).toJson().toStdString();
    EXPECT_EQ(Answer().value("versao").toInt(), 5);
    EXPECT_EQ(Answer().value("resultado").toString(), "aplicada");
    EXPECT_EQ(spotFiles(), QStringList{"BOM.MP3"}) << "nothing of the wrong file, no temporary file";
    EXPECT_EQ(ReadBytes(folder.File("SPOTS/BOM.MP3")), good);

    clock.Advance(THourlyVolume::kRampMs);
    TickGeral();
    EXPECT_EQ(PlayerState.NormalVolume, 70);

    At(10, 6, 0);
    TickGeral();
    EXPECT_TRUE(History().contains(QStringLiteral("SPOT NÃO TOCADO - RUIM.MP3 - arquivo não recebido"))) << History().join(" | ").toStdString();
    EXPECT_TRUE(History().contains(QStringLiteral("SPOT - BOM.MP3"))) << History().join(" | ").toStdString();

    // The same files in a newer version: the one here with its hash is not asked for again (the
    // server no longer has it), the wrong one still missing.
    QFile::remove(dir_.filePath("www/BOM.MP3"));
    const QByteArray again = QString(R"({"versao": 6, "spots": [
        {"hora": "11:00:00", "dias": "1234567", "arquivo": "BOM.MP3", "url": "%1BOM.MP3", "sha256": "%2"},
        {"hora": "11:00:00", "dias": "1234567", "arquivo": "RUIM.MP3", "url": "%1RUIM.MP3", "sha256": "%3"}]})")
                                 .arg(base, goodSha, wrongSha)
                                 .toUtf8();
    Publish(again);
    ASSERT_TRUE(WaitFor([&] { return Answer().value("versao").toInt() == 6 && !w->Run->Spots->Downloads().Running(); }));
    EXPECT_EQ(missing(), QJsonArray{"RUIM.MP3"});
    EXPECT_EQ(ReadBytes(folder.File("SPOTS/BOM.MP3")), good);
    https.kill();
    https.waitForFinished();
}

TEST_F(RemoteOffice, ANewVersionHoldsTodayOnceAndABadOneChangesNothing) {
    w->Button1Click();
    TickGeral(26);
    ASSERT_EQ(w->EstadoFrota().Now, "stream");

    Publish(Document(3, "10:00:20", 40));
    const QString applied = QStringLiteral("CONFIGURAÇÃO REMOTA APLICADA - versão 3 - Ana: inventário");
    ASSERT_TRUE(WaitFor([&] { return History().contains(applied); })) << History().join(" | ").toStdString();
    const QByteArray week = "|08:00:00|18:00:00|0|0\r\n";
    EXPECT_EQ(ReadBytes(folder.File("CFG.ACI")), week + week + "|08:00:00|10:00:20|0|0\r\n" + week + week + week + week);
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), QByteArray("VOLUME_NORMAL=40\r\n"));
    EXPECT_EQ(PlayerState.NormalVolume, 40);
    EXPECT_EQ(w->ui->Label15->text(), "10:00:20");
    EXPECT_EQ(w->EstadoFrota().ConfigVersion, 3);
    ASSERT_TRUE(WaitFor([&] { return Answer().value("versao").toInt() == 3; }));
    EXPECT_EQ(Answer().value("resultado").toString(), "aplicada");

    // Today's window now stops at 10:00:20: the close comes at the first tick after it.
    At(10, 0, 20);
    TickGeral();
    clock.Advance(500);
    TickGeral();
    EXPECT_EQ(History().filter(QRegularExpression("PROGRAMADA|RESUMO DO DIA")).size(), 2) << History().join(" | ").toStdString();

    Restart();
    EXPECT_EQ(DayFile().filter(QStringLiteral("CONFIGURAÇÃO REMOTA")).size(), 1) << "the retained version again after a restart";
    EXPECT_EQ(w->EstadoFrota().ConfigVersion, 3);

    Publish(Document(4, "25:00:00", 10));
    ASSERT_TRUE(WaitFor([&] { return History().filter("RECUSADA").size() == 1; }));
    EXPECT_EQ(History().filter("RECUSADA").first(), QStringLiteral("CONFIGURAÇÃO REMOTA RECUSADA - versão 4 - horário inválido em Terça"));
    EXPECT_EQ(ReadBytes(folder.File("CFG.ACI")), week + week + "|08:00:00|10:00:20|0|0\r\n" + week + week + week + week);
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), QByteArray("VOLUME_NORMAL=40\r\n"));
    EXPECT_TRUE(WaitFor([&] { return Answer().value("resultado").toString() == "recusada"; }));
}
