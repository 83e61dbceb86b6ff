// "Para atualizar os Servidores será necessário desativar o player": every fall-back that
// starts a local track while the stream still fades asks for it, and on an unattended player
// nobody answers. The box must not pile up, and while it waits the player must go on
// watching the stream. The second test runs the window's real timers: what it guards is a
// threaded timer held by a box opened inside its own tick.
#include "ui_usom.h"
#include "controllerfixture.h"

#include <QElapsedTimer>

namespace {
const QString kRefusal = QStringLiteral("Para atualizar os Servidores será necessário desativar o player");
int Count(const QStringList& history, const QString& message) { return int(history.count(message)); }
}  // namespace

class ServersRefusalTest : public ControllerFixture {};

TEST_F(ServersRefusalTest, ASecondFallBackWhileTheBoxWaitsShowsNoSecondBox) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    ActivateAndConnect();
    SetFill(0);
    TickMeter(36);  // the stream is given up while it fades: local music and the refusal
    ASSERT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_TRUE(boxes.boxes.empty()) << "not inside the monitor's tick";

    boxes.whileOpen = [&](const RecordingMessageBoxes::Box&) {
        EndLocalTrack();  // the next track starts while the stream still fades
        QCoreApplication::processEvents();
    };
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.Texts(), QStringList({kRefusal}));
    EXPECT_EQ(Count(History(), "PLAY MÚSICAS LOCAIS  -  Stop Música 1000"), 1);

    // Answered, the next refusal is shown again.
    boxes.whileOpen = nullptr;
    w->SpeedButton1Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.Texts(), QStringList({kRefusal, kRefusal}));
}

// The window's own timers run: the monitor every 100 ms, the players' polls, the lamps.
class RefusalOnRealTimersTest : public WindowFixture {
protected:
    void SetUp() override {
        WriteFile("CFG.ACI", QStringList(7, "|08:00:00|18:00:00|0|0"));
        Create();
        w = window.get();
        for (const char* name : {"A.MP3", "B.MP3"}) WriteBytes(folder.File(QString("MUSICAS/") + name), "audio");
        w->BitBtn13Click();
    }
    bool WaitFor(const std::function<bool()>& condition, int ms = 15000) {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    }
    // Daily-run ticks until one starts an attempt, and its completion.
    void Attempt(int ticks) {
        for (int i = 0; i < ticks && !w->AttemptRunning(); ++i) w->Timer_GeralTimer();
        ASSERT_TRUE(WaitFor([&] { return !w->AttemptRunning(); }));
    }
    void EmptyStreamBuffer() { lib.SetFilePositions(w->WebPlayer->Channel, 0, 0, 100000); }
    QStringList History() const { return w->ui->Memo1->toPlainText().split('\n'); }
    int Fallbacks() const { return int(History().filter("PLAY MÚSICAS LOCAIS  -  Play Local 882").size()); }
    Tfrm_sonarisv1AAC* w = nullptr;
};

TEST_F(RefusalOnRealTimersTest, TheMonitorStillGivesUpASecondStallWhileTheFirstBoxWaits) {
    w->Button1Click();
    Attempt(26);
    ASSERT_EQ(PlayerState.WebError, 0);

    bool secondFallback = false;
    int opened = 0;
    boxes.whileOpen = [&](const RecordingMessageBoxes::Box& box) {
        if (box.text != kRefusal || opened++) return;
        // The station comes back while nobody answers: the stream is held under the local
        // track, takes over at its end, and then stalls again.
        Attempt(121);
        ASSERT_EQ(PlayerState.WebError, 0);
        FakeSoundLib::Channel* local = lib.Find(w->LocalPlayer->Channel);
        local->position = local->length;
        ASSERT_TRUE(WaitFor([&] { return History().filter("Sonaris - No AR").size() == 1; }));
        EmptyStreamBuffer();
        secondFallback = WaitFor([&] { return Fallbacks() == 2 && w->LocalPlayer->IsPlaying(); });
    };

    EmptyStreamBuffer();
    ASSERT_TRUE(WaitFor([&] { return opened > 0; })) << "the first fall-back's box";
    EXPECT_TRUE(secondFallback) << History().join(" | ").toStdString();
    EXPECT_EQ(boxes.Texts().count(kRefusal), 1);
}
