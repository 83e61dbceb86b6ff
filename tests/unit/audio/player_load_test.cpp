#include "playerfixture.h"

#include "system/filenames.h"

using namespace soundlib;

using PlayerLoad = PlayerTest;

TEST_F(PlayerLoad, UrlTestIsCaseBlindAndLooksAnywhere) {
    player->UseAac = 1;
    player->Load(QStringLiteral("HTTP://127.0.0.1:9500"));
    ASSERT_TRUE(player->Loaded);
    EXPECT_TRUE(lib.Last()->isUrl);
    EXPECT_TRUE(lib.Last()->aac);
    EXPECT_EQ(lib.Last()->flags, BASS_STREAM_AUTOFREE);
    EXPECT_EQ(lib.config[BASS_CONFIG_NET_BUFFER], 10000u);
    EXPECT_EQ(lib.config[BASS_CONFIG_BUFFER], 3000u);
    EXPECT_EQ(TZorvanBass::LoadedCount, 0) << "stream channels are not counted";

    player->UseAac = 0;
    player->Load(QStringLiteral("x-icy://stream"));
    EXPECT_TRUE(lib.Last()->isUrl);
    EXPECT_FALSE(lib.Last()->aac);
}

TEST_F(PlayerLoad, WmaAnywhereInThePathPicksTheWmaEntry) {
    player->Load(QStringLiteral("/music/song.wma.mp3"));
    EXPECT_TRUE(lib.Last()->wma);
    player->Load(QStringLiteral("/music/song.mp3"));
    EXPECT_FALSE(lib.Last()->wma);
    EXPECT_EQ(TZorvanBass::LoadedCount, 1) << "the second load closed the first channel";
}

TEST_F(PlayerLoad, FileRetriesWithSoftwareMixing) {
    lib.createError["/music/A.MP3"] = BASS_ERROR_FORMAT;
    lib.failFirstAttemptOnly = true;
    player->Load(QStringLiteral("/music/A.MP3"));
    EXPECT_TRUE(player->Loaded);
    EXPECT_EQ(lib.Last()->flags, BASS_SAMPLE_SOFTWARE);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(TZorvanBass::LoadedCount, 1);
}

TEST_F(PlayerLoad, FileThatCannotBeOpenedIsReportedAndLeavesThePlayerEmpty) {
    lib.createError["*"] = BASS_ERROR_FILEOPEN;
    player->Load(QStringLiteral("/music/GONE.MP3"));
    EXPECT_FALSE(player->Loaded);
    EXPECT_EQ(lib.CountCalls("BASS_StreamCreateFile"), 2);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Notice) << "shown, and nothing waits for it";
    EXPECT_EQ(boxes.boxes[0].text,
              QStringLiteral("ERRO AO CARREGAR CANAL:\r\rArquivo: /music/GONE.MP3\r\rErro Cod:BS2 - Erro ao Abrir Arquivo"));
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_EQ(TZorvanBass::LoadedCount, 0);
    EXPECT_EQ(player->Source, QStringLiteral("/music/GONE.MP3"));
}

TEST_F(PlayerLoad, EightBitFileIsRefusedAndFreed) {
    lib.onCreate = [](FakeSoundLib::Channel& c) { c.eightBits = true; };
    player->Load(QStringLiteral("/music/OLD.WAV"));
    EXPECT_FALSE(player->Loaded);
    EXPECT_TRUE(lib.Last()->freed);
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Erro ao Ler arquivo:/music/OLD.WAV Dados <> 16-bits stereo")});
    EXPECT_EQ(TZorvanBass::LoadedCount, 0);
}

TEST_F(PlayerLoad, NoHandleWithoutAnErrorCountsAsCreateError) {
    lib.createError["/music/A.MP3"] = 0;
    player->Load(QStringLiteral("/music/A.MP3"));
    EXPECT_FALSE(player->Loaded);
    EXPECT_EQ(TZorvanBass::CreateErrorCount, 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PlayerLoad, FailedUrlShowsNothingAndLeavesTheCreationCodeForTheCaller) {
    lib.createError["*"] = BASS_ERROR_NONET;
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    EXPECT_FALSE(player->Loaded);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NONET);
}

TEST_F(PlayerLoad, LoadReadsTheChannelsAttributes) {
    lib.onCreate = [](FakeSoundLib::Channel& c) {
        c.volume = 70;
        c.freq = 48000;
        c.pan = -20;
    };
    player->Load(QStringLiteral("/music/A.MP3"));
    EXPECT_EQ(player->VolumeValue, 70u);
    EXPECT_EQ(player->FrequencyValue, 48000u);
    EXPECT_EQ(std::int32_t(player->PanValue), -20);
}

TEST_F(PlayerLoad, LoadingOverAPlayingChannelStopsAndFreesIt) {
    auto& first = PlayFile();
    player->Load(QStringLiteral("/music/B.MP3"));
    EXPECT_TRUE(first.freed);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(TZorvanBass::PlayingCount, 0);
    EXPECT_EQ(TZorvanBass::LoadedCount, 1);
    EXPECT_FALSE(player->Playing);
}

TEST_F(PlayerLoad, FileNameGoesToTheLibraryAsItsOriginalBytes) {
    const QByteArray bytes("/music/CORA\xC7\xC3O.MP3");  // code page 1252, not UTF-8
    player->Load(DecodeFileName(bytes));
    ASSERT_TRUE(player->Loaded);
    EXPECT_EQ(lib.Last()->source, bytes.toStdString());
}
