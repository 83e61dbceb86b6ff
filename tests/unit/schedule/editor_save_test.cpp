// "Salvar": what reaches CFG.ACI, what is refused, and a write that fails.
#include "tests/unit/schedule/editorfixture.h"

#include "schedule/todaywindow.h"
#include "tests/unit/schedule/writefailure.h"

#include <QDir>

namespace {

TEST_F(EditorTest, FirstSaveWithoutFileWritesSixUndefinedDaysAndTheSavedOne) {
    OpenOn(7);
    EXPECT_EQ(Tabs()->currentIndex(), 6);
    EXPECT_EQ(StartPicker()->time(), QTime(0, 0));
    Save(6, QTime(8, 0), QTime(18, 0));
    EXPECT_TRUE(boxes.boxes.empty());
    QByteArray expected;
    for (int i = 0; i < 6; ++i) expected += "||||\r\n";
    expected += "|08:00:00|18:00:00|0|0\r\n";
    EXPECT_EQ(ReadBytes(CfgPath()), expected);
    EXPECT_TRUE(editor.isVisible()) << "a successful save leaves the editor open";
}

TEST_F(EditorTest, UndefinedLinesComeBackAsSevenBarsAndStillReadUndefined) {
    WriteLines(Undefined(7));
    OpenOn(2);
    Save(1, QTime(8, 0), QTime(18, 0));
    QStringList expected(7, QStringLiteral("|||||||"));
    expected[1] = QStringLiteral("|08:00:00|18:00:00|0|0");
    EXPECT_EQ(Lines(), expected);

    OpenOn(1);
    EXPECT_EQ(StartPicker()->time(), QTime(0, 0));
    EXPECT_EQ(StopPicker()->time(), QTime(0, 0));
    EXPECT_EQ(ReadTodayWindow(folder.Path(), 1).StatusText, QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO..."));
}

TEST_F(EditorTest, ReservedFieldsOfOtherDaysSurviveAndTheSavedDayGetsZeros) {
    QStringList lines = Undefined(7);
    lines[0] = QStringLiteral("|06:00:00|07:00:00|5|ç");
    lines[3] = QStringLiteral("|06:00:00|07:00:00|8|9");
    WriteLines(lines);
    OpenOn(4);
    Save(3, QTime(9, 0), QTime(10, 0));
    const QStringList after = Lines();
    ASSERT_EQ(after.size(), 7);
    EXPECT_EQ(after[0], lines[0]);
    EXPECT_EQ(after[3], QStringLiteral("|09:00:00|10:00:00|0|0"));
}

TEST_F(EditorTest, LinesAfterTheSeventhDisappearAtTheNextSave) {
    QStringList lines = Undefined(7);
    lines << QStringLiteral("|01:00:00|02:00:00|0|0") << QStringLiteral("extra");
    WriteLines(lines);
    OpenOn(1);
    Save(0, QTime(8, 0), QTime(9, 0));
    EXPECT_EQ(Lines().size(), 7);
}

TEST_F(EditorTest, RefusedSavesShowTheirMessageAndWriteNothing) {
    OpenOn(2);
    Save(1, QTime(0, 0), QTime(0, 0));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Acioamento para Segunda-Feira Não definido"));
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_FALSE(QFile::exists(CfgPath()));

    WriteLines(Undefined(7));
    const QByteArray before = ReadBytes(CfgPath());
    OpenOn(7);
    boxes.Clear();
    Save(6, QTime(0, 0), QTime(0, 0));
    Save(6, QTime(10, 0), QTime(10, 0));
    // Earlier, but the same text once the fraction is dropped: no night, an equal stop.
    Save(6, QTime(10, 0, 0, 500), QTime(10, 0, 0, 499));
    EXPECT_EQ(boxes.Texts(), QStringList({QStringLiteral("Acioamento para Sábado Não definido"),
                                          QStringLiteral("Agendamento para Acioamento Inválido - Verifique"),
                                          QStringLiteral("Agendamento para Acioamento Inválido - Verifique")}));
    EXPECT_EQ(ReadBytes(CfgPath()), before);
    EXPECT_TRUE(editor.Days[6].Start == QStringLiteral("|||"));
}

TEST_F(EditorTest, AStopBeforeTheStartIsSavedAsANightOnlyWhenConfirmed) {
    WriteLines(Undefined(7));
    const QByteArray before = ReadBytes(CfgPath());
    OpenOn(6);
    boxes.answers = {false};
    Save(5, QTime(18, 0), QTime(2, 0));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Confirm);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("O horário de desligar é no dia seguinte, após a meia-noite - Confirma?"));
    EXPECT_EQ(ReadBytes(CfgPath()), before);

    boxes.Clear();
    boxes.answers = {true};
    Save(5, QTime(18, 0), QTime(2, 0));
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Lines()[5], QStringLiteral("|18:00:00|02:00:00|0|0"));
    EXPECT_EQ(editor.Days[5].Stop, QStringLiteral("02:00:00"));
}

TEST_F(EditorTest, EdgesOfTheDayAreAccepted) {
    OpenOn(3);
    Save(2, QTime(23, 0), QTime(23, 59, 59));
    Save(4, QTime(0, 0), QTime(6, 0));
    EXPECT_TRUE(boxes.boxes.empty());
    const QStringList lines = Lines();
    EXPECT_EQ(lines[2], QStringLiteral("|23:00:00|23:59:59|0|0"));
    EXPECT_EQ(lines[4], QStringLiteral("|00:00:00|06:00:00|0|0"));
}

TEST_F(EditorTest, CurrentTimeButtonsKeepTheFractionWhichTheFileDrops) {
    OpenOn(3, QTime(10, 0, 0, 100));
    Click("SpeedButton4");
    clock.Advance(800);
    Click("SpeedButton10");
    EXPECT_EQ(StartPicker()->time(), QTime(10, 0, 0, 100));
    EXPECT_EQ(StopPicker()->time(), QTime(10, 0, 0, 900));
    Click("BitBtn1");
    EXPECT_TRUE(boxes.boxes.empty()) << "a stop 800 ms after the start is later";
    EXPECT_EQ(Lines()[2], QStringLiteral("|10:00:00|10:00:00|0|0")) << "dropped, not rounded";
    EXPECT_EQ(ReadTodayWindow(folder.Path(), 3).StatusText, QStringLiteral("ACIONAMENTO PARA HOJE NÃO DEFINIDA"));
}

TEST_F(EditorTest, ShortFileOnAFridaySavesAllSevenDays) {
    WriteLines({QStringLiteral("|01:00:00|02:00:00|0|0"), QStringLiteral("|03:00:00|04:00:00|0|0"), QStringLiteral("||||")});
    OpenOn(6);
    EXPECT_EQ(Tabs()->currentIndex(), 5);
    EXPECT_EQ(StartPicker()->time(), QTime(0, 0));
    Tabs()->setCurrentIndex(1);
    EXPECT_EQ(StartPicker()->time(), QTime(3, 0)) << "the lines that are there still load";
    Save(5, QTime(8, 0), QTime(12, 0));
    EXPECT_EQ(Lines(), QStringList({QStringLiteral("|01:00:00|02:00:00|0|0"), QStringLiteral("|03:00:00|04:00:00|0|0"),
                                    QStringLiteral("|||||||"), QStringLiteral("||||"), QStringLiteral("||||"),
                                    QStringLiteral("|08:00:00|12:00:00|0|0"), QStringLiteral("||||")}));
}

TEST_F(EditorTest, GarbageLinesShowMidnightAndAreWrittenBackFromTheirPositions) {
    WriteLines({QStringLiteral("\x01\x02 rubbish"), QString(500, QLatin1Char('z')), QString(),
                QStringLiteral("|ab:cd:ef|gh:ij:kl|0|0"), QStringLiteral("|08:00:00|garbage!|0|0"),
                QStringLiteral("|25:00:00|26:00:00|0|0"), QStringLiteral("|||")});
    OpenOn(1);
    for (int tab = 0; tab < 7; ++tab) {
        Tabs()->setCurrentIndex(tab);
        EXPECT_EQ(StartPicker()->time(), QTime(0, 0)) << tab;
        EXPECT_EQ(StopPicker()->time(), QTime(0, 0)) << tab;
    }
    Save(6, QTime(8, 0), QTime(9, 0));
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[1], QStringLiteral("|zzzzzzzz|zzzzzzzz|z|z"));
    EXPECT_EQ(lines[2], QStringLiteral("||||"));
    EXPECT_EQ(lines[4], QStringLiteral("|08:00:00|garbage!|0|0"));
}

class EditorWriteFailure : public EditorTest {
protected:
    void SetUp() override {
        QStringList lines = Undefined(7);
        lines[3] = QStringLiteral("|08:00:00|18:00:00|0|0");
        WriteLines(lines);
        before = ReadBytes(CfgPath());
        OpenOn(4);
        Tabs()->setCurrentIndex(3);
        StartPicker()->setTime(QTime(9, 0));
        StopPicker()->setTime(QTime(17, 0));
    }
    void ExpectNotSaved() {
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("NÃO foi salva"))) << boxes.boxes[0].text.toStdString();
        EXPECT_TRUE(boxes.boxes[0].text.contains(CfgPath()));
        EXPECT_EQ(ReadBytes(CfgPath()), before);
        EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("CFG.ACI")});
        EXPECT_EQ(editor.Days[3].Start, QStringLiteral("08:00:00")) << "the record does not pass for saved";
    }
    QByteArray before;
};

TEST_F(EditorWriteFailure, ReadOnlyFolder) {
    ImmutableFolder readOnly(folder.Path());
    if (!readOnly.Effective()) GTEST_SKIP() << "chattr +i not supported here";
    Click("BitBtn1");
    ExpectNotSaved();
}

TEST_F(EditorWriteFailure, FullDisk) {
    {
        FullDisk full;
        Click("BitBtn1");
    }
    ExpectNotSaved();
}

TEST_F(EditorWriteFailure, NothingUnsavedReappearsWhenTheFileIsGone) {
    {
        FullDisk full;
        Click("BitBtn1");
    }
    QFile::remove(CfgPath());
    OpenOn(4);
    EXPECT_EQ(StartPicker()->time(), QTime(8, 0)) << "the last saved record, not the refused one";
}

}  // namespace
