#include "system/codepage1252.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <gtest/gtest.h>

namespace {

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const QString text = FromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(ToCp1252(text), all);
}

TEST(Cp1252, HighControlRangeIsNotLatin1) {
    EXPECT_EQ(FromCp1252("\x80"), QStringLiteral("€"));
    EXPECT_EQ(FromCp1252("\x93\x94"), QStringLiteral("“”"));
    EXPECT_EQ(FromCp1252("\x9f"), QStringLiteral("Ÿ"));
    EXPECT_EQ(FromCp1252("\x8d"), QString(QChar(0x8D)));  // undefined: kept as its own code point
    EXPECT_EQ(ToCp1252(QStringLiteral("Ú ã ç €")), QByteArray("\xda \xe3 \xe7 \x80"));
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(ToCp1252(QStringLiteral("aΩb")), "a?b");
    EXPECT_EQ(ToCp1252(QString(QChar(0x80))), "?");  // the C1 control, not the euro sign
    EXPECT_EQ(ToCp1252(QStringLiteral("x🎵y")), "x?y");
}

class Cp1252Files : public ::testing::Test {
protected:
    TempProgramFolder folder;
    QString Path(const QString& name) const { return folder.File(name); }
};

TEST_F(Cp1252Files, AccentsAreOneByteAndEveryLineEndsWithCrLf) {
    ASSERT_TRUE(WriteLines1252(Path("H.PCS"), {QStringLiteral("10:00:00 - PLAY MÚSICAS LOCAIS  -  botão 1008"), ""}));
    EXPECT_EQ(ReadBytes(Path("H.PCS")), QByteArray("10:00:00 - PLAY M\xdaSICAS LOCAIS  -  bot\xe3o 1008\r\n\r\n"));
    ASSERT_TRUE(WriteLines1252(Path("E.INI"), {}));
    EXPECT_EQ(ReadBytes(Path("E.INI")), QByteArray());
}

TEST_F(Cp1252Files, AllBytesButLineEndsRoundTripThroughAFile) {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n') bytes += static_cast<char>(b);
    ASSERT_TRUE(WriteLines1252(Path("ALL"), {FromCp1252(bytes)}));
    EXPECT_EQ(ReadBytes(Path("ALL")), bytes + "\r\n");
    bool ok = false;
    EXPECT_EQ(ReadLines1252(Path("ALL"), &ok), QStringList{FromCp1252(bytes)});
    EXPECT_TRUE(ok);
}

TEST_F(Cp1252Files, ReadingToleratesBareLfAndAnUnendedLastLine) {
    WriteBytes(Path("A"), "a\r\nb\nc");
    EXPECT_EQ(ReadLines1252(Path("A")), (QStringList{"a", "b", "c"}));
    WriteBytes(Path("B"), "a\r\n\r\nb\r\n");
    EXPECT_EQ(ReadLines1252(Path("B")), (QStringList{"a", "", "b"}));
    WriteBytes(Path("C"), "\r\n");
    EXPECT_EQ(ReadLines1252(Path("C")), QStringList{""});
    WriteBytes(Path("D"), "x\ry\r\n");  // a lone CR is data
    EXPECT_EQ(ReadLines1252(Path("D")), QStringList{"x\ry"});
}

TEST_F(Cp1252Files, EmptyFileIsReadableMissingOrFolderIsNot) {
    WriteBytes(Path("EMPTY"), "");
    bool ok = false;
    EXPECT_TRUE(ReadLines1252(Path("EMPTY"), &ok).isEmpty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(ReadLines1252(Path("MISSING"), &ok).isEmpty());
    EXPECT_FALSE(ok);
    QDir().mkpath(Path("FOLDER"));
    EXPECT_TRUE(ReadLines1252(Path("FOLDER"), &ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST_F(Cp1252Files, AtomicWriteReplacesAndKeepsPermissions) {
    WriteBytes(Path("SERVER.INI"), "old\r\n");
    QFile::setPermissions(Path("SERVER.INI"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(WriteLines1252Atomic(Path("SERVER.INI"), {"DEVICE=1", "INDEX_SERVER=0", "INDEX_GENERO=0"}));
    EXPECT_EQ(ReadBytes(Path("SERVER.INI")), "DEVICE=1\r\nINDEX_SERVER=0\r\nINDEX_GENERO=0\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("SERVER.INI")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"SERVER.INI"});
}

TEST_F(Cp1252Files, AtomicWriteFailsUnderARegularFile) {
    WriteBytes(Path("PLAIN"), "x");
    EXPECT_FALSE(WriteLines1252Atomic(Path("PLAIN/SERVER.INI"), {"DEVICE=1"}));
    EXPECT_FALSE(WriteLines1252(Path("PLAIN/SERVER.INI"), {"DEVICE=1"}));
    EXPECT_EQ(ReadBytes(Path("PLAIN")), "x");
}

TEST_F(Cp1252Files, AtomicWriteOverAFolderFailsAndLeavesIt) {
    QDir().mkpath(Path("CFG.ACI/inside"));
    EXPECT_FALSE(WriteLines1252Atomic(Path("CFG.ACI"), {"x"}));
    EXPECT_TRUE(QFileInfo(Path("CFG.ACI/inside")).isDir());
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

// A full disk, as root can meet it: the file size limit makes the write fail half-way.
TEST_F(Cp1252Files, AtomicWriteOnAFullDiskLeavesTheOldFile) {
    WriteBytes(Path("VOLUME.INI"), "VOLUME_NORMAL=80\r\n");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = WriteLines1252Atomic(Path("VOLUME.INI"), {"VOLUME_NORMAL=100", "MORE=than eight bytes"});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(Path("VOLUME.INI")), "VOLUME_NORMAL=80\r\n");
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VOLUME.INI"});
}

}  // namespace
