#include "playerfixture.h"

#include <cstring>

using namespace soundlib;

using PlayerReadings = PlayerTest;

TEST_F(PlayerReadings, BufferPercentOfAStream) {
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    const HSTREAM h = player->Channel;
    lib.SetFilePositions(h, 1000, 151000, 160000);
    EXPECT_EQ(player->GetBufferPercent(), 93);
    lib.SetFilePositions(h, 1000, 1000, 160000);
    EXPECT_EQ(player->GetBufferPercent(), 0);
}

TEST_F(PlayerReadings, BufferPercentIsZeroWithoutAnEnd) {
    EXPECT_EQ(player->GetBufferPercent(), 0) << "handle 0: the library's error value";
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    lib.SetFilePositions(player->Channel, 0, 5000, 0);
    EXPECT_EQ(player->GetBufferPercent(), 0);
    lib.SetFilePositions(player->Channel, 0, 5000, BASS_DWORD_ERROR);
    EXPECT_EQ(player->GetBufferPercent(), 0);
}

TEST_F(PlayerReadings, BufferPercentWrapsInThirtyTwoBits) {
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    // Decoder ahead of the download: the difference wraps, as the monitor has always seen it.
    lib.SetFilePositions(player->Channel, 1001, 1000, 160000);
    EXPECT_EQ(player->GetBufferPercent(), std::int64_t((0xFFFFFFFFu * 100u) / 160000u));
    // A large difference overflows the multiplication.
    lib.SetFilePositions(player->Channel, 0, 50000000, 100000000);
    EXPECT_EQ(player->GetBufferPercent(), 7) << "(5,000,000,000 mod 2^32) / 100,000,000";
}

TEST_F(PlayerReadings, FilePositionsAreUnsignedWidened) {
    EXPECT_EQ(player->GetDecodePosition(), 4294967295LL);
    player->Load(QStringLiteral("http://127.0.0.1:9500"));
    lib.SetFilePositions(player->Channel, 1234, 5678, 160000);
    EXPECT_EQ(player->GetDecodePosition(), 1234);
    EXPECT_EQ(player->GetDownloadPosition(), 5678);
}

TEST_F(PlayerReadings, LengthAndPosition) {
    EXPECT_EQ(player->GetLength(), 0u);
    EXPECT_EQ(player->GetPosition(), 0);
    auto& c = PlayFile();
    c.position = 176400 * 2;
    EXPECT_EQ(player->GetLength(), 10000u);
    EXPECT_EQ(player->GetPosition(), 2000);
    player->SetPosition(5000);
    EXPECT_EQ(c.position, 176400u * 5);
}

TEST_F(PlayerReadings, UnknownLengthConvertsItsLowHalf) {
    lib.onCreate = [](FakeSoundLib::Channel& c) {
        c.length = BASS_QWORD_ERROR;
        c.bytesPerSecond = 1000000;
    };
    player->Load(QStringLiteral("/music/A.MP3"));
    EXPECT_EQ(player->GetLength(), 4294967u);
}

TEST_F(PlayerReadings, LevelsOnlyWhilePlaying) {
    int right = -1, left = -1;
    player->GetLevels(right, left);
    EXPECT_EQ(right, 0);
    EXPECT_EQ(left, 0);
    auto& c = PlayFile();
    lib.SetLevel(c.handle, 32768, 1200);
    player->GetLevels(right, left);
    EXPECT_EQ(right, 32768);
    EXPECT_EQ(left, 1200);
    lib.StallChannel(c.handle);
    player->GetLevels(right, left);
    EXPECT_EQ(right, 0);
}

TEST_F(PlayerReadings, FailedDataReadClearsTheBuffer) {
    unsigned char buffer[2100];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(player->GetData(buffer, 2048), 0);
    EXPECT_EQ(buffer[0], 0xAB) << "nothing loaded: untouched";
    auto& c = PlayFile();
    c.dataResult = BASS_DWORD_ERROR;
    EXPECT_EQ(player->GetData(buffer, 2048), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[2051], 0);
    EXPECT_EQ(buffer[2052], 0xAB);
}

TEST_F(PlayerReadings, FrequencyAndPanNeedALoadedChannel) {
    player->SetPan(20);
    EXPECT_EQ(player->GetPan(), 0u);
    auto& c = PlayFile();
    player->SetPan(std::uint32_t(-30));
    EXPECT_EQ(c.pan, -30);
    player->SetFrequency(22050);
    EXPECT_EQ(c.freq, 22050u);
    EXPECT_EQ(player->GetFrequency(), 22050u);
    player->SetPan(500);  // refused by the library: not stored
    EXPECT_EQ(std::int32_t(player->PanValue), -30);
}
