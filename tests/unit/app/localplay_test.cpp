// Local playback: the shuffled order, the hand-over between a track's end and the next,
// files that went missing, the list refresh, and "Atualizar Servidores".
#include "ui_usom.h"
#include "controllerfixture.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

class LocalPlayTest : public ControllerFixture {
protected:
    // Inside today's window, activated, the stream not connected.
    void FallBackState() { w->Button1Click(); }
    QStringList PlayOrder(int tracks) {
        QStringList order{Playing()};
        for (int i = 1; i < tracks; ++i) {
            EndLocalTrack();
            order << Playing();
        }
        return order;
    }
    QStringList GridNames() const {
        QStringList names;
        for (int r = 1; r < w->ui->Stringgrid3->RowCount(); ++r) names << w->ui->Stringgrid3->Cells(0, r);
        return names;
    }
};

TEST_F(LocalPlayTest, ThreeFilesPlayInTheShuffledOrderAndTheListIsRefilledAtItsLastRow) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    FallBackState();
    w->BitBtn14Click();
    EXPECT_EQ(History(), QStringList({"PLAY MÚSICAS LOCAIS  -  botão 1008"}));
    EXPECT_EQ(GridNames(), QStringList({"B.MP3", "C.MP3"}));

    EXPECT_EQ(PlayOrder(3), QStringList({"A.MP3", "C.MP3", "B.MP3"}));
    EXPECT_EQ(GridNames(), QStringList({"A.MP3", "B.MP3", "C.MP3"}));  // refilled as the last row started
    EXPECT_FALSE(w->ui->BitBtn14->isEnabled());
    EXPECT_TRUE(w->ui->BitBtn15->isEnabled());
    EXPECT_TRUE(PlayerState.CloseArmed);
    EXPECT_EQ(History().last(), "PLAY MÚSICAS LOCAIS  -  Stop Música 1000");

    QStringList rest;
    for (int i = 0; i < 6; ++i) {
        EndLocalTrack();
        rest << Playing();
    }
    EXPECT_EQ(rest, QStringList({"A.MP3", "B.MP3", "C.MP3", "A.MP3", "C.MP3", "B.MP3"}));
}

TEST_F(LocalPlayTest, WithTenFilesTheSecondTrackIsTheNinthFile) {
    QStringList names;
    for (int i = 1; i <= 10; ++i) names << QString("F%1.MP3").arg(i, 2, 10, QChar('0'));
    PutMusic(names);
    FallBackState();
    w->PlayMusica("Sonaris 802");
    EXPECT_EQ(Playing(), "F01.MP3");
    EXPECT_EQ(w->ui->Stringgrid3->RowCount(), 10);
    EndLocalTrack();
    EXPECT_EQ(Playing(), "F09.MP3");
}

TEST_F(LocalPlayTest, TheRealFileNameIsPlayedAndTheUpperCasedNameShown) {
    PutMusic({"song.tkm"});
    EXPECT_EQ(GridNames(), QStringList({"SONG.TKM"}));
    EXPECT_EQ(w->ui->Stringgrid3->Cells(0, 0), "Descrição das Musicas");
    EXPECT_TRUE(w->ui->BitBtn14->isEnabled());
    w->BitBtn14Click();
    EXPECT_EQ(QString::fromStdString(LocalChannel()->source), folder.File("MUSICAS/song.tkm"));
    EXPECT_EQ(LocalChannel()->volume, 100u);
    EXPECT_EQ(w->ui->meter2->Position(), 100);
    EXPECT_TRUE(w->timer_meter->Enabled());
}

TEST_F(LocalPlayTest, StopInsideTheActiveWindowStartsTheNextTrackAndOutsideItOnlyStops) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    FallBackState();
    w->BitBtn14Click();
    w->BitBtn15Click();
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(Playing(), "C.MP3");

    At(19, 0);
    w->BitBtn15Click();
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_TRUE(w->ui->BitBtn14->isEnabled());
    EXPECT_FALSE(w->ui->BitBtn15->isEnabled());
    EXPECT_EQ(w->ui->meter1->Position(), 0);
}

TEST_F(LocalPlayTest, PlayOnAnEmptyListDoesNothing) {
    w->BitBtn13Click();
    FallBackState();
    w->BitBtn14Click();
    EXPECT_TRUE(History().isEmpty());
    EXPECT_EQ(lib.CountCalls("BASS_StreamCreateFile"), 0);
    EXPECT_FALSE(PlayerState.CloseArmed);
}

TEST_F(LocalPlayTest, ADeletedFileHandsOverToAnotherRowAndStaysInTheList) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    QFile::remove(folder.File("MUSICAS/A.MP3"));

    w->BitBtn14Click();  // not active: the draw only selects a row
    EXPECT_TRUE(History().isEmpty());
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(GridNames(), QStringList({"A.MP3", "B.MP3", "C.MP3"}));
    EXPECT_TRUE(w->ui->BitBtn14->isEnabled());

    w->ui->Stringgrid3->SetRow(1);
    FallBackState();
    w->BitBtn14Click();
    EXPECT_EQ(History(), QStringList({"PLAY MÚSICAS LOCAIS  -  Stop Música 1000"}));
    EXPECT_TRUE(Playing() == "B.MP3" || Playing() == "C.MP3") << Playing().toStdString();
    EXPECT_TRUE(GridNames().contains("A.MP3"));
}

TEST_F(LocalPlayTest, AFolderNamedLikeATrackHandsOverLikeAMissingFile) {
    QDir().mkpath(folder.File("MUSICAS/A.MP3"));
    // What the real library answers when asked to open a folder.
    lib.createError[folder.File("MUSICAS/A.MP3").toStdString()] = soundlib::BASS_ERROR_FILEOPEN;
    PutMusic({"B.MP3"});
    ASSERT_EQ(GridNames(), QStringList({"A.MP3", "B.MP3"}));
    FallBackState();
    w->BitBtn14Click();
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(" | ").toStdString();
    EXPECT_EQ(Playing(), "B.MP3");
    EXPECT_EQ(History(), QStringList({"PLAY MÚSICAS LOCAIS  -  Stop Música 1000"}));
}

TEST_F(LocalPlayTest, WhenEveryListedFileIsGoneTheHandOverEndsWithARefresh) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    for (const char* name : {"A.MP3", "B.MP3", "C.MP3"}) QFile::remove(folder.File(QString("MUSICAS/") + name));
    FallBackState();
    w->BitBtn14Click();
    EXPECT_TRUE(History().isEmpty());
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(GridNames(), QStringList({""}));  // read again from the now empty folder
}

TEST_F(LocalPlayTest, NamesThatAreListedButCannotBeOpenedEndTheHandOverAfterOneRefresh) {
    // Dangling links are listed by the folder's reading but lead to no file.
    for (const char* name : {"A.MP3", "B.MP3"})
        ASSERT_EQ(symlink("/nonexistent/x", folder.File(QString("MUSICAS/") + name).toLocal8Bit().constData()), 0);
    w->BitBtn13Click();
    ASSERT_EQ(GridNames(), QStringList({"A.MP3", "B.MP3"}));
    FallBackState();
    w->BitBtn14Click();
    EXPECT_TRUE(History().isEmpty());
    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(GridNames(), QStringList({"A.MP3", "B.MP3"}));

    // A later start by another part tries again, and ends the same way.
    w->PlayMusica("Sonaris 802");
    EXPECT_TRUE(History().isEmpty());
}

TEST_F(LocalPlayTest, ARefreshWithoutTheMusicFolderBeepsAndNamesIt) {
    PutMusic({"A.MP3"});
    QDir(folder.File("MUSICAS")).removeRecursively();
    boxes.Clear();
    w->BitBtn13Click();
    EXPECT_EQ(boxes.beeps, 1);
    EXPECT_EQ(boxes.Texts(), QStringList({"Diretório:" + PlayerState.MusicDir + "  inexistente - Verifique !!"}));
    EXPECT_EQ(GridNames(), QStringList({""}));
    EXPECT_EQ(w->ui->Stringgrid3->Row(), 1);
}

TEST_F(LocalPlayTest, AtualizarServidoresRunsTheFlushElevenTimesAndNeverWhileTheStreamPlays) {
    ActivateAndConnect();
    boxes.Clear();
    w->SpeedButton1Click();
    QCoreApplication::processEvents();  // the box opens once the click's handler is over
    EXPECT_EQ(w->Local->FlushCount, 0);
    EXPECT_EQ(boxes.Texts(), QStringList({"Para atualizar os Servidores será necessário desativar o player"}));

    lib.EndChannel(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    boxes.Clear();
    for (int i = 0; i < 12; ++i) w->SpeedButton1Click();
    EXPECT_EQ(w->Local->FlushCount, 11);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(LocalPlayTest, AStopRaisedWhileTheNextTrackOpensStartsNoTrackOfItsOwn) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    FallBackState();
    w->BitBtn14Click();
    // The ended track's channel needs a second free: closing it raises the stop event again,
    // in the middle of the start of the next track.
    LocalChannel()->freeFailures = 1;
    ClearHistory();
    EndLocalTrack();

    EXPECT_EQ(History(), QStringList({"PLAY MÚSICAS LOCAIS  -  Stop Música 1000"}));
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(Playing(), "C.MP3");
    EXPECT_EQ(GridNames(), QStringList({"B.MP3"}));
    EXPECT_EQ(lib.CountCalls("BASS_StreamCreateFile"), 2);
}

// A folder copied from a customer's PC: an empty file, a picture renamed .MP3. Each is passed
// over at once, said once in the history, and the library's box holds nothing.
TEST_F(LocalPlayTest, FilesThatCannotBeOpenedArePassedOverWithinTheSameStart) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    for (const char* bad : {"MUSICAS/A.MP3", "MUSICAS/B.MP3"})
        lib.createError[folder.File(bad).toStdString()] = soundlib::BASS_ERROR_FORMAT;
    FallBackState();
    w->BitBtn14Click();

    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
    EXPECT_EQ(Playing(), "C.MP3");
    const QStringList history = History();
    EXPECT_EQ(history.filter("PLAY MÚSICAS LOCAIS").size(), 1) << history.join(" | ").toStdString();
    EXPECT_EQ(history.last(), "PLAY MÚSICAS LOCAIS  -  Stop Música 1000");
    EXPECT_EQ(history.count("ARQUIVO DE ÁUDIO INVÁLIDO - A.MP3"), 1);
    EXPECT_LE(history.count("ARQUIVO DE ÁUDIO INVÁLIDO - B.MP3"), 1);
    for (const auto& box : boxes.boxes) EXPECT_EQ(box.kind, RecordingMessageBoxes::Box::Notice) << box.text.toStdString();
}

TEST_F(LocalPlayTest, AFolderOfFilesThatCannotBeOpenedIsGivenUpAfterOneRereadUntilTheNextStart) {
    PutMusic({"A.MP3", "B.MP3", "C.MP3"});
    lib.createError["*"] = soundlib::BASS_ERROR_FORMAT;
    FallBackState();
    w->BitBtn14Click();

    EXPECT_FALSE(w->LocalPlayer->IsPlaying());
    const QStringList history = History();
    EXPECT_TRUE(history.filter("PLAY MÚSICAS LOCAIS").isEmpty());
    EXPECT_GE(history.filter("ARQUIVO DE ÁUDIO INVÁLIDO - ").size(), 3);
    EXPECT_LE(history.filter("ARQUIVO DE ÁUDIO INVÁLIDO - ").size(), 9) << history.join(" | ").toStdString();
    EXPECT_TRUE(w->ui->BitBtn14->isEnabled());

    lib.createError.clear();  // the files replaced: the next start plays
    w->BitBtn13Click();
    w->BitBtn14Click();
    EXPECT_TRUE(w->LocalPlayer->IsPlaying());
}
