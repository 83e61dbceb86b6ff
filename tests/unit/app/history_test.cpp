// The history log: the memo and its day file, across midnight, after the file is removed,
// when the file cannot be written, and on a restart the same day.
#include "windowfixture.h"

#include "ui_usom.h"

#include <QFile>
#include <QFileInfo>

class HistoryTest : public WindowFixture {
protected:
    QString DayFile(int y, int m, int d) const { return folder.File(QStringLiteral("HISTORICO/%1%2%3.PCS").arg(y).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'))); }
    QString Memo() const { return window->ui->Memo1->toPlainText(); }
};

TEST_F(HistoryTest, DayFileIsYearMonthDayWithTwoDigitMonthAndDay) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(w.HistoryDayFile(QDate(2026, 3, 5)), folder.File("HISTORICO/20260305.PCS"));
    EXPECT_EQ(w.HistoryDayFile(QDate(2026, 11, 28)), folder.File("HISTORICO/20261128.PCS"));
    EXPECT_EQ(w.HistoryDayFile(QDate(987, 1, 2)), folder.File("HISTORICO/9870102.PCS"));  // no leading zeros on the year
}

TEST_F(HistoryTest, EachEntryIsTimeSeparatorMessageAndTheFileIsTheMemoIn1252WithCrLf) {
    Tfrm_sonarisv1AAC& w = Create();
    clock.SetTime(QTime(14, 5, 9));
    w.Salva_Historico("PLAY MÚSICAS LOCAIS  -  Play Local 882");
    clock.SetTime(QTime(14, 5, 30));
    w.Salva_Historico("Encerrando Conexão - Motivo: Instabilidade Rede");

    EXPECT_EQ(Memo(), "14:05:09 - PLAY MÚSICAS LOCAIS  -  Play Local 882\n14:05:30 - Encerrando Conexão - Motivo: Instabilidade Rede");
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)),
              QByteArray("14:05:09 - PLAY M\xDASICAS LOCAIS  -  Play Local 882\r\n"
                         "14:05:30 - Encerrando Conex\xE3o - Motivo: Instabilidade Rede\r\n"));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(HistoryTest, TheFirstEntryAfterMidnightStartsAnEmptyMemoAndANewFile) {
    Tfrm_sonarisv1AAC& w = Create();
    clock.Set(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 58)));
    w.Salva_Historico("Sonaris");
    w.Salva_Historico("STOP -  Sonaris");
    clock.Set(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1)));
    w.Salva_Historico("Carregando Sonaris");

    EXPECT_EQ(Memo(), "00:00:01 - Carregando Sonaris");
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 9)), "00:00:01 - Carregando Sonaris\r\n");
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)), "23:59:58 - Sonaris\r\n23:59:58 - STOP -  Sonaris\r\n");
}

TEST_F(HistoryTest, RemovingTodaysFileEmptiesTheMemoAtTheNextEntry) {
    Tfrm_sonarisv1AAC& w = Create();
    w.Salva_Historico("um");
    w.Salva_Historico("dois");
    ASSERT_TRUE(QFile::remove(DayFile(2026, 12, 8)));
    w.Salva_Historico("três");
    EXPECT_EQ(Memo(), "10:00:00 - três");
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)), "10:00:00 - tr\xEAs\r\n");
}

TEST_F(HistoryTest, WhatTheOperatorTypesIntoTheMemoBecomesPartOfTheFile) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_FALSE(w.ui->Memo1->isReadOnly());
    EXPECT_EQ(w.ui->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    w.Salva_Historico("um");
    w.ui->Memo1->appendPlainText("nota do operador");
    w.Salva_Historico("dois");
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)), "10:00:00 - um\r\nnota do operador\r\n10:00:00 - dois\r\n");
}

TEST_F(HistoryTest, AMissingHistoryFolderCostsOnlyTheFileAndShowsNothing) {
    Tfrm_sonarisv1AAC& w = Create();
    // A plain file where the folder should be: nothing can be written under it, not even as root.
    ASSERT_TRUE(QDir(folder.File("HISTORICO")).removeRecursively());
    WriteBytes(folder.File("HISTORICO"), "not a folder");
    w.Salva_Historico("Carregando Sonaris");
    EXPECT_EQ(Memo(), "10:00:00 - Carregando Sonaris");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(ReadBytes(folder.File("HISTORICO")), "not a folder");
}

TEST_F(HistoryTest, ADayFileThatCannotBeWrittenKeepsTheEntriesInTheMemoForTheNextTry) {
    Tfrm_sonarisv1AAC& w = Create();
    // Today's name taken by a folder: the file exists but cannot be replaced.
    ASSERT_TRUE(QDir().mkpath(DayFile(2026, 12, 8)));
    w.Salva_Historico("um");
    w.Salva_Historico("dois");
    EXPECT_EQ(Memo(), "10:00:00 - um\n10:00:00 - dois");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(QFileInfo(DayFile(2026, 12, 8)).isDir());
}

TEST_F(HistoryTest, ARestartTheSameDayContinuesTheDayFile) {
    Create().FormActivate();
    clock.SetTime(QTime(11, 30));
    window->Salva_Historico("Erro ao Carregar Sonaris");
    window.reset();

    clock.SetTime(QTime(12, 0));
    Create().FormActivate();
    const QString expected = "10:00:00 - ** INICIADO O SISTEMA **\n11:30:00 - Erro ao Carregar Sonaris\n12:00:00 - ** INICIADO O SISTEMA **";
    EXPECT_EQ(Memo(), expected);
    EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)),
              "10:00:00 - ** INICIADO O SISTEMA **\r\n11:30:00 - Erro ao Carregar Sonaris\r\n12:00:00 - ** INICIADO O SISTEMA **\r\n");
}

TEST_F(HistoryTest, AnotherDaysFileIsNotLoadedAtStart) {
    QDir().mkpath(folder.File("HISTORICO"));
    WriteBytes(DayFile(2026, 12, 7), "09:00:00 - Sonaris\r\n");
    Create().FormActivate();
    EXPECT_EQ(Memo(), "10:00:00 - ** INICIADO O SISTEMA **");
}
