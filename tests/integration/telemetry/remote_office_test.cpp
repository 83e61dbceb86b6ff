// The office's settings reach a shop through a real Mosquitto: the controller (on the fake
// sound library and the fake clock) takes a new version whole, writes what F11 and F10 write,
// says so in the history and on config/aplicada, and closes today at the new stop; a restart
// applies nothing twice; a document with a bad time changes no file.
#include "ui_usom.h"
#include "tests/integration/telemetry/brokerlab.h"
#include "tests/unit/app/controllerfixture.h"

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
