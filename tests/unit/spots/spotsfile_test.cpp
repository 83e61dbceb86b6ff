// SPOTS.INI as read: every form of line, and lines that do not read each reported by number
// while the others stand.
#include "spots/spotsfile.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

TEST(SpotsIni, EachBadLineIsReportedByItsNumberAndTheOthersStand) {
    TempProgramFolder folder;
    WriteBytes(folder.File(kSpotsIni),
               "08:30:00;23456;PROMO\xC7\xC3O.MP3\r\n"  // 1252: the name as the shop wrote it
               "*/30;1234567;HORA;CERTA.WAV\r\n"
               "\r\n"
               "ABAIXAR_DB=9\r\n"
               "25:00:00;1;A.MP3\r\n"   // 5: no such hour
               "10:00;1;A.MP3\r\n"      // 6: seconds missing
               "10:00:00;18;A.MP3\r\n"  // 7: no weekday 8
               "*/0;1;A.MP3\r\n"        // 8: every 0 minutes
               "10:00:00;1;\r\n"        // 9: no file
               "10:00:00;1;../A.MP3\r\n"  // 10: outside the folder
               "VOLUME=3\r\n");          // 11: not a key of this file
    const SpotsSettings s = ReadSpotsIni(folder.File(kSpotsIni));
    EXPECT_TRUE(s.Exists);
    EXPECT_EQ(s.DuckDb, 9);
    EXPECT_EQ(s.BadLines, (std::vector<int>{5, 6, 7, 8, 9, 10, 11}));
    ASSERT_EQ(s.Spots.size(), 2u);
    EXPECT_EQ(s.Spots[0].Number, 1);
    EXPECT_EQ(s.Spots[0].At, QTime(8, 30));
    EXPECT_EQ(s.Spots[0].File, QStringLiteral("PROMOÇÃO.MP3"));
    EXPECT_FALSE(s.Spots[0].On(1));
    EXPECT_TRUE(s.Spots[0].On(2));
    EXPECT_TRUE(s.Spots[0].On(6));
    EXPECT_FALSE(s.Spots[0].On(7));
    EXPECT_TRUE(s.Spots[1].Repeats);
    EXPECT_EQ(s.Spots[1].EveryMinutes, 30);
    EXPECT_EQ(s.Spots[1].File, QStringLiteral("HORA;CERTA.WAV"));
    EXPECT_EQ(BadLineText(5), QStringLiteral("SPOTS.INI: linha inválida - 5"));

    const SpotsSettings none = ReadSpotsIni(folder.File(QStringLiteral("NADA.INI")));
    EXPECT_FALSE(none.Exists);
    EXPECT_EQ(none.DuckDb, 15);
}
