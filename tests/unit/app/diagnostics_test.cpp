// The Alt+I service report: its text line by line, and which keys open it.
#include "windowfixture.h"

#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

class DiagnosticsTest : public WindowFixture {
protected:
    QStringList ReportLines() { return window->DiagnosticsReport().split(QLatin1Char('\r')); }
    // A key as the window system delivers it: to the control with the focus.
    void Press(int key, Qt::KeyboardModifiers mods, const QString& text = QString()) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods, text);
        QApplication::sendEvent(target, &release);
    }
    void ShowActive() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->ui->Memo1->clear();  // the first activation's history line
    }
};

TEST_F(DiagnosticsTest, ReportOfAFreshStartLineByLine) {
    Create();
    TZorvanBass::PlayingCount = 2;
    TZorvanBass::LoadedCount = 1;
    TZorvanBass::DeviceUpdateCount = 3;
    TZorvanBass::CreateErrorCount = -1;  // shown unsigned
    TZorvanBass::PlaysSinceUpdate = -4;  // shown signed
    PlayerState.StallTicks = 21;
    PlayerState.WebError = 32;
    PlayerState.BufferMark = 150;
    window->timer_meter->SetEnabled(true);

    const QString rule(98, QLatin1Char('-'));
    const QStringList expected = {
        rule,
        "Data Inicio: 08/12/2026   -   10:00:00",
        rule,
        "Playng: 2",
        "Canais Criados: 2",
        "Canais Carregados: 1",
        "Atualiza Device: 3",
        "Erro ao Criar Canal: 65535",
        "Canais não Atualizado: -4",
        rule,
        "DEVICE WEB: 1 - Fake output",
        rule,
        "C MUSICA Started: 0  -  Fading: 0  -  Volume: " + QString::number(window->LocalPlayer->GetVolume()),
        "C WEB Started: 0  -  Fading: 0  -  Volume: " + QString::number(window->WebPlayer->GetVolume()),
        "CW POSITION: -1",  // no channel: the library tells no position
        "CW DOWNLOAD: -1",
        "CW RESTO: 0",
        "WCT_PRONTO: 21",
        "WERRO_WEB: 32",
        "Timer Meter: 1",
        "WMIN_POS: 150",
    };
    const QStringList lines = ReportLines();
    ASSERT_EQ(lines.size(), 21);
    for (int i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    EXPECT_FALSE(window->DiagnosticsReport().contains(QLatin1Char('\n')));
    EXPECT_FALSE(window->DiagnosticsReport().endsWith(QLatin1Char('\r')));
}

TEST_F(DiagnosticsTest, BeforeAnyDeviceInitialisedTheDateIsTheZeroPointOfTheDateType) {
    lib.failInit = {1};
    Create();
    boxes.Clear();  // the player's own complaint about the device
    EXPECT_EQ(ReportLines()[1], "Data Inicio: 30/12/1899   -   00:00:00");
}

TEST_F(DiagnosticsTest, AStreamThatPlaysShowsItsStateAndTheBytesNotYetDecoded) {
    Create();
    window->WebPlayer->Load("http://127.0.0.1:9500");
    window->WebPlayer->Play();
    FakeSoundLib::Channel* stream = lib.Last();
    ASSERT_NE(stream, nullptr);
    lib.SetFilePositions(stream->handle, 120000, 150000, 160000);
    window->WebPlayer->SetVolume(73);
    window->WebPlayer->Device = 200;  // a device number past 127 reads as a signed byte

    const QStringList lines = ReportLines();
    EXPECT_EQ(lines[10], "DEVICE WEB: -56 - Fake output");
    EXPECT_EQ(lines[13], "C WEB Started: 1  -  Fading: 0  -  Volume: 73");
    EXPECT_EQ(lines[14], "CW POSITION: 120000");
    EXPECT_EQ(lines[15], "CW DOWNLOAD: 150000");
    EXPECT_EQ(lines[16], "CW RESTO: 30000");
}

TEST_F(DiagnosticsTest, PositionsAreSigned32BitNumbersAndTheRestIsTheir32BitDifference) {
    Create();
    window->WebPlayer->Load("http://127.0.0.1:9500");
    window->WebPlayer->Play();
    FakeSoundLib::Channel* stream = lib.Last();
    ASSERT_NE(stream, nullptr);

    // Past 2^31 bytes the positions read negative, and the rest stays the bytes in between.
    lib.SetFilePositions(stream->handle, 0x7FFFFFF0u, 0x80000010u, 160000);
    QStringList lines = ReportLines();
    EXPECT_EQ(lines[14], "CW POSITION: 2147483632");
    EXPECT_EQ(lines[15], "CW DOWNLOAD: -2147483632");
    EXPECT_EQ(lines[16], "CW RESTO: 32");

    // The library's error value for one of them (all bits set) shows as -1.
    lib.SetFilePositions(stream->handle, 1000, 0xFFFFFFFFu, 160000);
    lines = ReportLines();
    EXPECT_EQ(lines[14], "CW POSITION: 1000");
    EXPECT_EQ(lines[15], "CW DOWNLOAD: -1");
    EXPECT_EQ(lines[16], "CW RESTO: -1001");
}

TEST_F(DiagnosticsTest, AltIOpensTheReportOnEveryTabWhateverHasTheFocus) {
    Create();
    ShowActive();
    Press(Qt::Key_I, Qt::AltModifier, "i");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(QString(98, QLatin1Char('-')) + "\rData Inicio: "));

    window->ui->PageControl1->setCurrentIndex(2);
    window->ui->Memo1->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window->ui->Memo1);
    Press(Qt::Key_I, Qt::AltModifier, "i");
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(window->ui->Memo1->toPlainText(), "");  // the key was the window's, not the memo's
}

TEST_F(DiagnosticsTest, OtherCombinationsWithIShowNothingAndPassOn) {
    Create();
    ShowActive();
    window->ui->PageControl1->setCurrentIndex(2);
    window->ui->Memo1->setFocus();
    Press(Qt::Key_I, Qt::AltModifier | Qt::ShiftModifier);
    Press(Qt::Key_I, Qt::AltModifier | Qt::ControlModifier);
    Press(Qt::Key_I, Qt::ControlModifier);
    Press(Qt::Key_I, Qt::NoModifier, "i");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(window->ui->Memo1->toPlainText(), "i");  // the plain letter reached the memo
}
