// The editor's window, its showing (today's tab, records reloaded every time) and its
// closing by "Sair" or by another window of the program becoming active.
#include "tests/unit/schedule/editorfixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QWindow>

namespace {

TEST_F(EditorTest, WindowAsDesigned) {
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Acionamento Automático"));
    EXPECT_EQ(editor.size(), QSize(407, 196));
    EXPECT_EQ(editor.minimumSize(), editor.maximumSize());
    EXPECT_EQ(editor.windowType(), Qt::Tool);
    EXPECT_TRUE(editor.windowFlags() & Qt::WindowStaysOnTopHint);
    QStringList tabs;
    for (int i = 0; i < Tabs()->count(); ++i) tabs << Tabs()->tabText(i);
    EXPECT_EQ(tabs, QStringList({QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                 QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                                 QStringLiteral("Sábado")}));
    EXPECT_LE(Tabs()->geometry().left() + Tabs()->tabRect(6).right(), editor.width()) << "all seven days in sight";
    EXPECT_EQ(Find<QLabel>("Label1")->text(), QStringLiteral("Iniciar as:"));
    EXPECT_EQ(Find<QLabel>("Label2")->text(), QStringLiteral("Desligar as:"));
    EXPECT_EQ(Find<QAbstractButton>("SpeedButton4")->toolTip(), QStringLiteral("Atualizar Horário"));
    EXPECT_EQ(Find<QAbstractButton>("SpeedButton10")->toolTip(), QStringLiteral("Atualizar Horário"));
    EXPECT_EQ(StartPicker()->toolTip(), QStringLiteral("Selecione o horário de Acionamento de músicas"));
    EXPECT_EQ(StopPicker()->toolTip(), QStringLiteral("Selecione o horário para (STOP) na programção"));
    EXPECT_EQ(StartPicker()->displayFormat(), QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(StopPicker()->displayFormat(), QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(StartPicker()->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
    EXPECT_EQ(Find<QAbstractButton>("BitBtn1")->text(), QStringLiteral("Salvar"));
    EXPECT_EQ(Find<QAbstractButton>("BitBtn2")->text(), QStringLiteral("Sair"));
}

TEST_F(EditorTest, EveryShowingSelectsTodayAndReloadsTheFile) {
    QStringList lines = Undefined(7);
    lines[0] = QStringLiteral("|08:00:00|18:30:00|0|0");
    lines[3] = QStringLiteral("|07:15:30|22:00:00|0|0");
    lines[4] = QStringLiteral("|07:00:00|not time|0|0");
    WriteLines(lines);
    OpenOn(4);
    EXPECT_EQ(Tabs()->currentIndex(), 3);
    EXPECT_EQ(StartPicker()->time(), QTime(7, 15, 30));
    EXPECT_EQ(StopPicker()->time(), QTime(22, 0));
    Tabs()->setCurrentIndex(0);
    EXPECT_EQ(StartPicker()->time(), QTime(8, 0));
    EXPECT_EQ(StopPicker()->time(), QTime(18, 30));
    Tabs()->setCurrentIndex(4);
    EXPECT_EQ(StartPicker()->time(), QTime(0, 0)) << "one unreadable time clears both";
    EXPECT_EQ(StopPicker()->time(), QTime(0, 0));

    lines[0] = QStringLiteral("|09:00:00|10:00:00|0|0");
    WriteLines(lines);
    OpenOn(1);
    EXPECT_EQ(Tabs()->currentIndex(), 0);
    EXPECT_EQ(StartPicker()->time(), QTime(9, 0)) << "reloaded at the second showing";
}

TEST_F(EditorTest, WithoutTheFileTheRecordsKeepWhatWasSavedInThisRun) {
    OpenOn(2);
    Save(1, QTime(8, 0), QTime(9, 0));
    QFile::remove(CfgPath());
    OpenOn(2);
    EXPECT_EQ(StartPicker()->time(), QTime(8, 0));
    EXPECT_EQ(StopPicker()->time(), QTime(9, 0));
}

TEST_F(EditorTest, SairHidesTheEditor) {
    OpenOn(1);
    Click("BitBtn2");
    EXPECT_FALSE(editor.isVisible());
}

// Activates a window and waits until the platform reports it as the focus window.
bool Activate(QWidget& w) {
    w.activateWindow();
    for (int i = 0; i < 50 && QGuiApplication::focusWindow() != w.windowHandle(); ++i) PumpEvents(10);
    return QGuiApplication::focusWindow() == w.windowHandle();
}

TEST_F(EditorTest, AnotherWindowOfTheProgramBecomingActiveClosesTheEditorWithoutSaving) {
    QWidget mainWindow;
    mainWindow.resize(300, 200);
    mainWindow.show();
    WriteLines(Undefined(7));
    const QByteArray before = ReadBytes(CfgPath());
    OpenOn(3);
    ASSERT_TRUE(Activate(editor));
    StartPicker()->setTime(QTime(8, 0));
    StopPicker()->setTime(QTime(9, 0));

    ASSERT_TRUE(Activate(mainWindow));
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(ReadBytes(CfgPath()), before);

    OpenOn(3);
    EXPECT_EQ(StartPicker()->time(), QTime(0, 0)) << "unsaved picker values are lost";
}

}  // namespace
