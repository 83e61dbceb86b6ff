// The stream connection: the proxy text of each mode, what a success leaves behind, the
// fall-back after a failure (also when a step throws), the stream held behind a local track,
// the stream's stop event, a deactivation while the open runs, and an open whose thread
// cannot start.
#include "ui_usom.h"
#include "controllerfixture.h"

#include "system/funcoes.h"

#include <QDirIterator>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace {
const std::string kUrl = "http://127.0.0.1:9500";
}

class ConnectionTest : public ControllerFixture {
protected:
    void FailConnections(int code = soundlib::BASS_ERROR_NONET) { lib.createError[kUrl] = code; }
    void Proxy(const QString& mode, const QString& user, const QString& pass, const QString& server, const QString& port) {
        PlayerState.ProxyTypeStream = mode;
        PlayerState.ProxyUser = user;
        PlayerState.ProxyPass = pass;
        PlayerState.ProxyServer = server;
        PlayerState.ProxyPortStream = port;
    }
    std::optional<std::string> ProxyAfterAnAttempt() {
        lib.proxy = "untouched";
        Connect();
        return lib.proxy;
    }
};

TEST_F(ConnectionTest, TheProxyTextOfEachModeIsBuiltFromTrimmedParts) {
    FailConnections();  // a failure leaves the proxy note on the panel

    Proxy("1", " ann ", " secret ", "  proxy.lan ", " 3128");
    EXPECT_EQ(ProxyAfterAnAttempt(), "proxy.lan:3128");
    EXPECT_EQ(w->ui->Panel1->text(), "CONECTANDO AO PROXY");
    EXPECT_EQ(std::string(PlayerState.ProxyText.data()), "proxy.lan:3128");

    Proxy("2", " ann ", " secret ", "proxy.lan", "3128 ");
    EXPECT_EQ(ProxyAfterAnAttempt(), "ann:secret@proxy.lan:3128");

    Proxy("2", "ann", "", "proxy.lan", "3128");  // an empty password keeps its separators
    EXPECT_EQ(ProxyAfterAnAttempt(), "ann:@proxy.lan:3128");
    EXPECT_EQ(std::string(PlayerState.ProxyText.data()), "ann:@proxy.lan:3128");  // the shorter text ends where it should

    for (const char* mode : {"0", "3", "-1", "x"}) {
        Proxy(QString::fromLatin1(mode), "ann", "secret", "proxy.lan", "3128");
        w->ui->Panel1->setText("before");
        EXPECT_EQ(ProxyAfterAnAttempt(), std::nullopt) << mode;
        EXPECT_EQ(w->ui->Panel1->text(), "before") << mode;
        EXPECT_EQ(w->ProxyTextFor(), "") << mode;
    }
    EXPECT_EQ(lib.config[soundlib::BASS_CONFIG_NET_TIMEOUT], 20000u);
}

TEST_F(ConnectionTest, AProxyTextLongerThan99CharactersIsRefusedAndTheAttemptGoesWithout) {
    FailConnections();
    const QString server99 = QString(99 - 5, 'p');  // + ":3128" = 99
    Proxy("1", "", "", server99, "3128");
    EXPECT_EQ(ProxyAfterAnAttempt(), (server99 + ":3128").toStdString());

    Proxy("1", "", "", server99 + "p", "3128");
    EXPECT_EQ(ProxyAfterAnAttempt(), std::nullopt);
    EXPECT_EQ(w->ui->Panel1->text(), "PROXY INVÁLIDO: texto maior que 99 caracteres - conectando sem proxy");
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 2);  // the attempt itself still went ahead
}

TEST_F(ConnectionTest, ASuccessPlaysTheStreamAndKeepsTheServerListAndRemovesTheMarker) {
    WriteBytes(folder.ConfigHome() + "/qelmo.ini", "x");
    WriteBytes(folder.File("sonaris.srv"), "servers\r\nlist\r\n");
    WriteBytes(folder.File("sonaris.ant"), "older");
    PlayerState.RampVolume = 0;

    ActivateAndConnect();
    EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "Sonaris"}));
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_EQ(w->Run->ConnectTicks, 0);
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Estabilizada...");
    EXPECT_EQ(w->ui->Panel1->text(), "SONARIS-V1 DEMONSTRATIVO");
    ASSERT_NE(WebChannel(), nullptr);
    EXPECT_TRUE(WebChannel()->aac);
    EXPECT_EQ(WebChannel()->active, soundlib::BASS_ACTIVE_PLAYING);
    EXPECT_EQ(WebChannel()->volume, 100u);
    EXPECT_EQ(w->ui->meter2->Position(), 100);
    EXPECT_TRUE(w->timer_meter->Enabled());
    EXPECT_TRUE(w->timer_aumentarvolume->isActive());
    EXPECT_FALSE(QFile::exists(folder.ConfigHome() + "/qelmo.ini"));
    EXPECT_EQ(ReadBytes(folder.File("sonaris.ant")), QByteArray("servers\r\nlist\r\n"));

    // The first ramp tick brings the stream down to the ramp's value, from which it rises.
    w->timer_aumentarvolumeTimer();
    EXPECT_EQ(WebChannel()->volume, 4u);
}

TEST_F(ConnectionTest, AFailureInsideTheWindowStartsLocalMusic) {
    PutMusic({"A.MP3", "B.MP3"});
    FailConnections();
    w->Button1Click();
    TickGeral(26);

    EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "Erro ao Carregar Sonaris", "PLAY MÚSICAS LOCAIS  -  Sonaris 802"}));
    EXPECT_EQ(w->ui->Label10->text(), "Erro WEB -  Erro:32 ACIONADO ÁUDIO LOCAL");
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_TRUE(PlayerState.CloseArmed);  // set again by the local track
    EXPECT_FALSE(w->WebPlayer->Loaded);

    ClearHistory();
    TickGeral(121);  // the next failure leaves the local track and the error text alone
    EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "Erro ao Carregar Sonaris"}));
    EXPECT_EQ(w->ui->Label10->text(), "Erro ao Carregar WEB -  Erro:32");
    EXPECT_FALSE(PlayerState.CloseArmed);
}

TEST_F(ConnectionTest, AnEmptyAddressFailsWithoutAskingTheLibrary) {
    PlayerState.StreamUrl = "   ";
    Connect();
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 0);
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_EQ(History(), QStringList({"Erro ao Carregar Sonaris"}));
    EXPECT_EQ(w->ui->Label10->text(), "Erro WEB -  Erro:-1 ACIONADO ÁUDIO LOCAL");
}

TEST_F(ConnectionTest, AStepThatThrowsStillCompletesTheAttemptAndThenShowsTheError) {
    PutMusic({"A.MP3"});
    lib.onCreate = [](FakeSoundLib::Channel& c) {
        if (c.isUrl) throw std::runtime_error("falha no meio da abertura");
    };
    w->Button1Click();
    TickGeral(26);

    EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "PLAY MÚSICAS LOCAIS  -  Sonaris 802"}));
    EXPECT_EQ(w->ui->Label10->text(), "Erro WEB -  Erro:-1 ACIONADO ÁUDIO LOCAL");
    ASSERT_FALSE(boxes.boxes.empty());
    EXPECT_EQ(boxes.boxes.back().kind, RecordingMessageBoxes::Box::Error);
    EXPECT_EQ(boxes.boxes.back().text, "falha no meio da abertura");

    lib.onCreate = nullptr;  // the next attempt follows on the usual schedule
    TickGeral(121);
    EXPECT_EQ(PlayerState.WebError, 0);
}

TEST_F(ConnectionTest, ASuccessWhileALocalTrackPlaysHoldsTheStreamSilentUntilTheTrackEnds) {
    PutMusic({"A.MP3", "B.MP3"});
    FailConnections();
    w->Button1Click();
    TickGeral(26);
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    lib.createError.clear();
    TickGeral(121);
    ASSERT_EQ(PlayerState.WebError, 0);
    EXPECT_EQ(WebChannel()->volume, 0u);

    for (int i = 0; i < 25; ++i) {
        w->timer_aumentarvolumeTimer();
        EXPECT_EQ(WebChannel()->volume, 0u) << i;
    }
    EXPECT_FALSE(w->timer_aumentarvolume->isActive());
    SetFill(100);
    TickMeter();
    EXPECT_EQ(w->ui->Label10->text(), "Conexão OK... Aguardando Término de MÚSICAS LOCAIS");

    ClearHistory();
    EndLocalTrack();
    EXPECT_EQ(History(), QStringList({"Sonaris - No AR"}));
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(PlayerState.RampVolume, 0);
    EXPECT_TRUE(w->timer_aumentarvolume->isActive());
    EXPECT_TRUE(w->timer_meter->Enabled());
    w->timer_aumentarvolumeTimer();
    EXPECT_EQ(WebChannel()->volume, 4u);
}

TEST_F(ConnectionTest, TheStreamStallingInsideTheWindowFallsBackThroughWebStop) {
    PutMusic({"A.MP3"});
    ActivateAndConnect();
    ClearHistory();

    lib.StallChannel(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_EQ(History(), QStringList({"STOP -  Sonaris", "PLAY MÚSICAS LOCAIS  -  WebStop 685"}));
    EXPECT_EQ(w->ui->Label10->text(), "DESCONECTADO");
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_TRUE(w->timer_meter->Enabled());  // again, for the local track

    TickGeral(120);
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 1);
    TickGeral();
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 2);
}

TEST_F(ConnectionTest, AStopEventRaisedTwiceStartsOneLocalTrack) {
    PutMusic({"A.MP3", "B.MP3"});
    ActivateAndConnect();
    ClearHistory();

    // A fade that ends: the player's poll raises its stop event twice.
    FakeSoundLib::Channel* c = WebChannel();
    c->sliding = true;
    c->volume = 0;
    c->active = soundlib::BASS_ACTIVE_STOPPED;
    w->WebPlayer->Poll();
    EXPECT_EQ(History(), QStringList({"STOP -  Sonaris", "PLAY MÚSICAS LOCAIS  -  WebStop 685", "STOP -  Sonaris"}));
}

TEST_F(ConnectionTest, AStreamThatEndsAfterTodayStopOnlyRecordsTheStop) {
    PutMusic({"A.MP3"});
    ActivateAndConnect();
    At(18, 30);
    ClearHistory();

    lib.EndChannel(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_EQ(History(), QStringList({"STOP -  Sonaris"}));
    EXPECT_EQ(w->ui->Label10->text(), "DESCONECTADO");
    EXPECT_FALSE(w->timer_meter->Enabled());
    EXPECT_FALSE(PlayerState.CloseArmed);
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
}

TEST_F(ConnectionTest, TicksWhileAnAttemptOpensCountButStartNoSecondAttempt) {
    PutMusic({"A.MP3"});
    w->Button1Click();
    TickGeral(25);
    // The open hangs on its thread until the test lets it go, then fails.
    std::atomic<bool> release{false};
    lib.onCreate = [&](FakeSoundLib::Channel& c) {
        if (!c.isUrl) return;
        for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        throw std::runtime_error("sem resposta");
    };
    w->Timer_GeralTimer();
    ASSERT_TRUE(w->AttemptRunning());
    for (int i = 0; i < 130; ++i) w->Timer_GeralTimer();  // the run's ticks go on meanwhile
    EXPECT_EQ(History().count("Carregando Sonaris"), 1);

    release = true;
    FinishAttempt();
    ASSERT_FALSE(w->AttemptRunning());
    lib.onCreate = nullptr;
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 1);
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    // The count ran past the mark meanwhile: the next attempt is the first tick's after it.
    TickGeral();
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 2);
    EXPECT_EQ(PlayerState.WebError, 0);
}

TEST_F(ConnectionTest, ADeactivationWhileTheOpenRunsKeepsTheOpenedStreamOff) {
    PutMusic({"A.MP3"});
    w->Button1Click();
    TickGeral(25);
    // The open runs on a thread of its own; the operator's click comes while it does and is
    // served before the attempt's completion.
    std::atomic<bool> clicked{false};
    lib.onCreate = [&](FakeSoundLib::Channel& c) {
        if (!c.isUrl) return;
        QMetaObject::invokeMethod(w, [&] { w->Button1Click(); clicked = true; }, Qt::QueuedConnection);
        for (int i = 0; i < 500 && !clicked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    TickGeral();

    ASSERT_TRUE(clicked);
    EXPECT_FALSE(w->IsActive());
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 1);
    ASSERT_NE(lib.Last(), nullptr);
    EXPECT_TRUE(lib.Last()->freed) << "the stream opened behind the deactivation is released";
    EXPECT_FALSE(w->WebPlayer->IsPlaying());
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_FALSE(w->timer_meter->Enabled());
    EXPECT_FALSE(w->timer_aumentarvolume->isActive());
    EXPECT_EQ(History().mid(0, 2), QStringList({"Carregando Sonaris", "DESATIVADO PELO USUÁRIO"}));
    EXPECT_EQ(History().size(), 3);  // and the day's account
}

// The process at its limit of threads, in a child of its own: an ordinary user's limit binds
// (root's does not), so a child running as root first hands its files over and becomes nobody.
TEST_F(ConnectionTest, AnOpenWhoseThreadCannotStartFailsLikeAnyOpenAndTheNextMinuteTriesAgain) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    PutMusic({"A.MP3", "B.MP3"});
    FailConnections();
    w->Button1Click();
    TickGeral(26);  // the players' own threads are running from here on
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    lib.createError.clear();
    ClearHistory();

    EXPECT_EXIT(RunInChild([&] {
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        const rlim_t usual = limit.rlim_cur;
        limit.rlim_cur = 1;
        ASSERT_EQ(setrlimit(RLIMIT_NPROC, &limit), 0);
        if (geteuid() == 0) {
            const QString root = QDir(folder.Path() + "..").absolutePath();
            ASSERT_EQ(::chown(QFile::encodeName(root).constData(), 65534, 65534), 0);
            QDirIterator files(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDirIterator::Subdirectories);
            while (files.hasNext()) ASSERT_EQ(::lchown(QFile::encodeName(files.next()).constData(), 65534, 65534), 0);
            ASSERT_EQ(setgid(65534), 0);
            ASSERT_EQ(setuid(65534), 0);
        }
        ASSERT_THROW(std::thread([] {}).join(), std::system_error) << "a thread started under the limit";

        TickGeral(121);
        ASSERT_FALSE(w->AttemptRunning()) << "the attempt stays opening";
        EXPECT_EQ(History(), QStringList({"Carregando Sonaris", "Erro ao Carregar Sonaris"}));
        EXPECT_EQ(w->ui->Label10->text(), "Erro ao Carregar WEB -  Erro:1");
        EXPECT_EQ(PlayerState.WebError, soundlib::BASS_ERROR_MEM);
        EXPECT_TRUE(w->LocalPlayer->IsPlaying());

        limit.rlim_cur = usual;
        ASSERT_EQ(setrlimit(RLIMIT_NPROC, &limit), 0);
        TickGeral(120);
        EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 1);  // the failed open's, before the limit
        TickGeral();
        EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 2);
        EXPECT_EQ(PlayerState.WebError, 0);
    }),
                testing::ExitedWithCode(0), "");
}
