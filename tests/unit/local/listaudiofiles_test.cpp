#include "local/listaudiofiles.h"

#include "system/filenames.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QLocale>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class ListAudioFilesTest : public ::testing::Test {
protected:
    QString Folder() const { return dir_.path() + QStringLiteral("/"); }

    // Creates an empty file whose name is exactly these bytes.
    void Touch(const QByteArray& name) {
        const QByteArray path = EncodeFileName(Folder()) + name;
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        ::close(fd);
    }
    void MakeFolder(const QString& name) { ASSERT_TRUE(QDir(dir_.path()).mkpath(name)); }

    std::vector<AudioFileEntry> List(const QString& folder) {
        std::vector<AudioFileEntry> list;
        ListAudioFiles(folder, QStringLiteral("*.*"), &list);
        return list;
    }
    static QStringList Displays(const std::vector<AudioFileEntry>& list) {
        QStringList out;
        for (const auto& e : list) out << e.Display;
        return out;
    }
    static QStringList Names(const std::vector<AudioFileEntry>& list) {
        QStringList out;
        for (const auto& e : list) out << e.FileName;
        return out;
    }

    QTemporaryDir dir_;
    RecordingMessageBoxes boxes_;
};

TEST_F(ListAudioFilesTest, AcceptsMp3TkmWavInAnyCaseUpperCasedAndSorted) {
    for (const char* name : {"b.mp3", "A.WAV", "c.Mp3", "d.wma", "e.txt", "song.tkm"}) Touch(name);
    const auto list = List(Folder());
    EXPECT_EQ(Displays(list), (QStringList{"A.WAV", "B.MP3", "C.MP3", "SONG.TKM"}));
    EXPECT_EQ(Names(list), (QStringList{"A.WAV", "b.mp3", "c.Mp3", "song.tkm"}));
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ListAudioFilesTest, WholeShortNameFoundInTheExtensionsIsListed) {
    Touch("MP3");
    Touch("wav");
    Touch("x.mp4");
    EXPECT_EQ(Displays(List(Folder())), (QStringList{"MP3", "WAV"}));
}

TEST_F(ListAudioFilesTest, SubFolderWithAudioNameIsListedButNothingInsideSubFolders) {
    MakeFolder(QStringLiteral("OLD.MP3"));
    MakeFolder(QStringLiteral("sub"));
    Touch("OLD.MP3/inner.mp3");
    Touch("sub/deep.wav");
    Touch("top.wav");
    EXPECT_EQ(Displays(List(Folder())), (QStringList{"OLD.MP3", "TOP.WAV"}));
}

TEST_F(ListAudioFilesTest, NamesDifferingOnlyInCaseAreBothListedWithTheirRealNames) {
    Touch("Song.mp3");
    Touch("song.MP3");
    const auto list = List(Folder());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(Displays(list), (QStringList{"SONG.MP3", "SONG.MP3"}));
    QStringList names = Names(list);
    names.sort();
    EXPECT_EQ(names, (QStringList{"Song.mp3", "song.MP3"}));
    for (const auto& e : list) EXPECT_TRUE(FileExistsRaw(Folder() + e.FileName)) << e.FileName.toStdString();
}

TEST_F(ListAudioFilesTest, NameNotValidUtf8IsListedAndEncodesBackToItsBytes) {
    const QByteArray raw("caf\xe9 \xff.mp3");
    Touch(raw);
    const auto list = List(Folder());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].Display.startsWith(QStringLiteral("CAF")));
    EXPECT_TRUE(list[0].Display.endsWith(QStringLiteral(".MP3")));
    EXPECT_EQ(EncodeFileName(list[0].FileName), raw);
    EXPECT_TRUE(FileExistsRaw(Folder() + list[0].FileName));
}

TEST_F(ListAudioFilesTest, SortFollowsTheUsersLocaleIgnoringCase) {
    Touch("zebra.mp3");
    Touch("\xc3\xa9poca.mp3");
    Touch("fado.mp3");
    Touch("ela.mp3");
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const auto list = List(Folder());
    QLocale::setDefault(QLocale::system());
    EXPECT_EQ(Displays(list), (QStringList{"ELA.MP3", QStringLiteral("ÉPOCA.MP3"), "FADO.MP3", "ZEBRA.MP3"}));
}

TEST_F(ListAudioFilesTest, FolderTextIsTrimmedAndMayLackItsSeparator) {
    Touch("one.mp3");
    EXPECT_EQ(Displays(List(QStringLiteral("  ") + dir_.path() + QStringLiteral("  "))), (QStringList{"ONE.MP3"}));
}

TEST_F(ListAudioFilesTest, MissingFolderListsNothingWithoutMessage) {
    EXPECT_TRUE(List(Folder() + QStringLiteral("nowhere/")).empty());
    EXPECT_TRUE(List(QStringLiteral("   ")).empty());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ListAudioFilesTest, NoListIsRefusedWithItsMessage) {
    Touch("one.mp3");
    ListAudioFiles(Folder(), QStringLiteral("*.*"), nullptr);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes_.boxes[0].text, QStringLiteral("Lista de arquivos não foi criada"));
    EXPECT_EQ(boxes_.boxes[0].caption, ApplicationTitle());
}

TEST_F(ListAudioFilesTest, PendingEventsRunWhileALargeFolderIsListed) {
    for (int i = 0; i < 600; ++i) Touch(QByteArray("t") + QByteArray::number(i) + ".wav");
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    const auto list = List(Folder());
    EXPECT_EQ(list.size(), 600u);
    EXPECT_TRUE(ran);
}

}  // namespace
