// The history log: the memo and its day file, across midnight, after the file is removed,
// when the file cannot be written, on a disk that fills up and is freed, and on a restart the
// same day.
#include "windowfixture.h"

#include "ui_usom.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

class HistoryTest : public WindowFixture {
protected:
    QString DayFile(int y, int m, int d) const { return folder.File(QStringLiteral("HISTORICO/%1%2%3.PCS").arg(y).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'))); }
    QString Memo() const { return window->ui->Memo1->toPlainText(); }
    // The mount of a small file system of its own at `path`, in a mount namespace of its own.
    static bool MountSmallDisk(const QByteArray& path) {
        return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               mount("tmpfs", path.constData(), "tmpfs", 0, "size=16k") == 0;
    }
    // Whether this process has the rights for that (root in CI, unless its container denies them).
    static bool MayMount(const QByteArray& path) {
        const pid_t child = fork();
        if (child == 0) _exit(MountSmallDisk(path) ? 0 : 1);
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
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

// The history folder on a small file system of its own (a tmpfs, mounted in a child with a
// mount namespace of its own), full from before the first line of the day, across midnight.
TEST_F(HistoryTest, TheLinesAFullDiskRefusedReachTheirDayFilesInOrderOnceThereIsRoom) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    clock.Set(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 0)));
    Tfrm_sonarisv1AAC& w = Create();
    const QByteArray historico = QFile::encodeName(folder.File("HISTORICO"));
    const QByteArray filler = historico + "/filler";
    if (!MayMount(historico)) GTEST_SKIP() << "no rights to mount a file system here";

    EXPECT_EXIT(RunInChild([&] {
        ASSERT_TRUE(MountSmallDisk(historico));
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        while (::write(fd, "0123456789abcdef", 16) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
        ::close(fd);

        w.FormActivate();
        clock.SetTime(QTime(23, 59, 30));
        w.Salva_Historico("Carregando Sonaris");
        clock.Set(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 20)));
        w.Salva_Historico("Erro ao Carregar Sonaris");
        w.Salva_Historico("PLAY MÚSICAS LOCAIS  -  Sonaris 802");
        EXPECT_FALSE(QFileInfo::exists(DayFile(2026, 12, 8)));
        EXPECT_FALSE(QFileInfo::exists(DayFile(2026, 12, 9)));

        ::unlink(filler.constData());
        clock.SetTime(QTime(0, 1, 0));
        w.Salva_Historico("Sonaris");
        EXPECT_EQ(ReadBytes(DayFile(2026, 12, 8)), "23:59:00 - ** INICIADO O SISTEMA **\r\n23:59:30 - Carregando Sonaris\r\n");
        EXPECT_EQ(ReadBytes(DayFile(2026, 12, 9)),
                  "00:00:20 - Erro ao Carregar Sonaris\r\n"
                  "00:00:20 - PLAY M\xDASICAS LOCAIS  -  Sonaris 802\r\n"
                  "00:01:00 - HIST\xD3RICO: 4 linhas gravadas com atraso\r\n"
                  "00:01:00 - Sonaris\r\n");
        EXPECT_EQ(Memo(),
                  "00:00:20 - Erro ao Carregar Sonaris\n00:00:20 - PLAY MÚSICAS LOCAIS  -  Sonaris 802\n"
                  "00:01:00 - HISTÓRICO: 4 linhas gravadas com atraso\n00:01:00 - Sonaris");
    }),
                testing::ExitedWithCode(0), "");
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
