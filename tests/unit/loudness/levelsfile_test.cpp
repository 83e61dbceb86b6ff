// NIVEIS.INI as the measurement finds it after a crash, a full disk or a hand edit: every line
// that reads exactly is kept, every other one is dropped and is gone from the next write.
#include "loudness/levelsfile.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(LevelsFile, DamagedLinesAreDroppedTheRestKeptAndTheNextWriteIsClean) {
    TempProgramFolder folder;
    const QString path = folder.File("NIVEIS.INI");
    const std::string bytes =
        "/TRANSMISSAO=-16.20;07/12/2026\r\n"
        "Jo\xe3o = Maria;1.MP3=1000;1700000000;-14.50;-0.80\r\n"  // a 1252 name holding '=' and ';'
        "FALHOU.MP3=2000;1700000001;ERRO;ERRO\r\n"
        "SEM_PICO.MP3=3000;1700000002;-20.00\r\n"
        "NEGATIVO.MP3=-5;1700000003;-20.00;-3.00\r\n"
        "LETRAS.MP3=4000;abc;-20.00;-3.00\r\n"
        "ALTO_DEMAIS.MP3=5000;1700000004;45.00;-3.00\r\n"
        "NAN.MP3=5000;1700000004;nan;-3.00\r\n"
        "MEIO_ERRO.MP3=6000;1700000005;ERRO;-3.00\r\n"
        "=1;2;-20.00;-3.00\r\n"
        "/TRANSMISSAO=-16.20;31/02/2026\r\n"
        "\x00\xff\xfe lixo \x01\x02=;;;\r\n"s
        "ULTIMA.WAV=7000;1700000006;-23.00;-9.50";  // cut off before its line end: still whole
    WriteBytes(path, QByteArray(bytes.data(), qsizetype(bytes.size())));

    const Levels read = ReadLevelsIni(path);
    EXPECT_EQ(read.Dropped, 9);
    ASSERT_TRUE(read.Stream);
    EXPECT_DOUBLE_EQ(read.Stream->Lufs, -16.2);
    EXPECT_EQ(read.Stream->Day, QDate(2026, 12, 7));
    ASSERT_EQ(read.Tracks.size(), 3u);
    const TrackLevel& joao = read.Tracks.at(QStringLiteral("João = Maria;1.MP3"));
    EXPECT_TRUE(joao.Measured);
    EXPECT_EQ(joao.Size, 1000);
    EXPECT_EQ(joao.Mtime, 1700000000);
    EXPECT_DOUBLE_EQ(joao.Lufs, -14.5);
    EXPECT_DOUBLE_EQ(joao.TruePeakDb, -0.8);
    EXPECT_FALSE(read.Tracks.at(QStringLiteral("FALHOU.MP3")).Measured) << "a failed file is kept as failed, not measured again";
    EXPECT_DOUBLE_EQ(read.Tracks.at(QStringLiteral("ULTIMA.WAV")).Lufs, -23.0);

    ASSERT_TRUE(WriteLevelsIni(path, read));
    EXPECT_EQ(ReadBytes(path),
              QByteArray("/TRANSMISSAO=-16.20;07/12/2026\r\n"
                         "FALHOU.MP3=2000;1700000001;ERRO;ERRO\r\n"
                         "Jo\xe3o = Maria;1.MP3=1000;1700000000;-14.50;-0.80\r\n"
                         "ULTIMA.WAV=7000;1700000006;-23.00;-9.50\r\n"));
}

TEST(LevelsFile, AFileThatIsNoTextAtAllGivesNothingAndIsReplacedWhole) {
    TempProgramFolder folder;
    const QString path = folder.File("NIVEIS.INI");
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(char((i * 7919 + 13) % 256));
    WriteBytes(path, QByteArray(noise.data(), qsizetype(noise.size())));
    const Levels read = ReadLevelsIni(path);
    EXPECT_FALSE(read.Stream);
    EXPECT_TRUE(read.Tracks.empty());

    Levels levels;
    levels.Tracks[QStringLiteral("A.MP3")] = TrackLevel{10, 20, true, -18.0, -1.5};
    ASSERT_TRUE(WriteLevelsIni(path, levels));
    EXPECT_EQ(ReadBytes(path), QByteArray("A.MP3=10;20;-18.00;-1.50\r\n"));
}
