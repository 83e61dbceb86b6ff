#include "system/filenames.h"
#include "system/rawfile.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

namespace {

TEST(FileNames, ValidUtf8DecodesAsUsual) {
    const QByteArray bytes = QStringLiteral("Música/Canção 🎵.mp3").toUtf8();
    EXPECT_EQ(DecodeFileName(bytes), QStringLiteral("Música/Canção 🎵.mp3"));
    EXPECT_EQ(EncodeFileName(DecodeFileName(bytes)), bytes);
}

TEST(FileNames, EachByteOfAnInvalidSequenceBecomesALoneSurrogate) {
    // A Latin-1 name from an old Windows disk.
    EXPECT_EQ(DecodeFileName("caf\xe9.mp3"), QStringLiteral("caf") + QChar(0xDCE9) + QStringLiteral(".mp3"));
    // Overlong '/', an encoded surrogate, a truncated sequence, a stray continuation byte.
    EXPECT_EQ(DecodeFileName("\xc0\xaf"), QString(QChar(0xDCC0)) + QChar(0xDCAF));
    EXPECT_EQ(DecodeFileName("\xed\xa0\x80").size(), 3);
    EXPECT_EQ(DecodeFileName("\xe2\x82"), QString(QChar(0xDCE2)) + QChar(0xDC82));
    EXPECT_EQ(DecodeFileName("\x80" "a"), QString(QChar(0xDC80)) + QLatin1Char('a'));
    EXPECT_EQ(DecodeFileName("\xf4\x90\x80\x80").size(), 4);  // beyond U+10FFFF
}

TEST(FileNames, AnyByteStringRoundTrips) {
    std::mt19937 random(1252);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        const int length = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) {
            // Bias towards the bytes that start and continue multi-byte sequences.
            const unsigned r = random();
            bytes += static_cast<char>(r % 3 == 0 ? 0x80 + (r >> 8) % 0x80 : (r >> 8) % 256);
        }
        bytes.replace('\0', 'z');
        ASSERT_EQ(EncodeFileName(DecodeFileName(bytes)), bytes) << bytes.toHex().constData();
    }
}

TEST(FileNames, SurrogatesDecodingCannotProduceBecomeQuestionMarks) {
    EXPECT_EQ(EncodeFileName(QString(QChar(0xD800)) + QLatin1Char('a')), "?a");
    EXPECT_EQ(EncodeFileName(QString(QChar(0xDC10))), "?");
}

TEST(FileNames, FilesWithInvalidNamesAreFoundAndRead) {
    TempProgramFolder folder;
    const QByteArray raw = QFile::encodeName(folder.Path()) + "m\xfasica\xe9.mp3";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "ID3", 3), 3);
    ::close(fd);

    const QString name = DecodeFileName(raw);
    EXPECT_TRUE(FileExistsRaw(name));
    EXPECT_EQ(ReadFileRaw(name).value_or("none"), "ID3");
    EXPECT_TRUE(RemoveFileRaw(name));
    EXPECT_FALSE(FileExistsRaw(name));
}

TEST(FileNames, ExistsForFoldersToo) {
    TempProgramFolder folder;
    QDir().mkpath(folder.File("OLD.MP3"));
    EXPECT_TRUE(FileExistsRaw(folder.File("OLD.MP3")));
    EXPECT_FALSE(FileExistsRaw(folder.File("NEW.MP3")));
    EXPECT_FALSE(FileExistsRaw(QString()));
}

TEST(FileNames, MakePathCreatesParentsAndRefusesAFile) {
    TempProgramFolder folder;
    EXPECT_TRUE(MakePathRaw(folder.File("a/b/c/")));
    EXPECT_TRUE(QFileInfo(folder.File("a/b/c")).isDir());
    WriteBytes(folder.File("f"), "x");
    EXPECT_FALSE(MakePathRaw(folder.File("f/sub")));
    EXPECT_FALSE(MakePathRaw(folder.File("f")));
}

}  // namespace
