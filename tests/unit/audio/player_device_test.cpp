#include "audio/uzorvanbass.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

using namespace soundlib;

class PlayerDevice : public ::testing::Test {
protected:
    void SetUp() override { TZorvanBass::ResetProgramWideState(); }

    FakeSoundLib lib;
    RecordingMessageBoxes boxes;
    ScopedFakeClock clock{QDateTime(QDate(2026, 3, 4), QTime(8, 15, 30))};
};

TEST_F(PlayerDevice, DeviceIsInitialisedOnceForAllPlayers) {
    lib.deviceDescriptions[1] = "Alto-falantes";
    TZorvanBass a(lib, nullptr), b(lib, nullptr);
    a.InitDevice(1, nullptr);
    clock.Advance(60000);
    b.InitDevice(1, nullptr);
    EXPECT_EQ(lib.CountCalls("BASS_Init"), 1);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(TZorvanBass::CreatedCount, 2);
    EXPECT_EQ(TZorvanBass::InitDate, QDate(2026, 3, 4));
    EXPECT_EQ(TZorvanBass::InitTime, QTime(8, 15, 30)) << "stamped by the call that initialised it";
    EXPECT_EQ(b.Device, 1);
    EXPECT_EQ(b.DeviceDescription, QStringLiteral("Alto-falantes"));
}

TEST_F(PlayerDevice, FailedInitIsReportedAndTriedAgainByTheNextPlayer) {
    lib.failInit = {1};
    TZorvanBass a(lib, nullptr);
    a.InitDevice(1, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Inicialização da Device com Problemas\rCod:BS23 - Número inválido para Device"));
    EXPECT_EQ(TZorvanBass::CreatedCount, 1);
    EXPECT_EQ(TZorvanBass::InitDate, QDate(1899, 12, 30));
    EXPECT_EQ(a.Device, 1) << "the remaining steps still run";

    lib.failInit.clear();
    TZorvanBass b(lib, nullptr);
    b.InitDevice(1, nullptr);
    EXPECT_EQ(lib.CountCalls("BASS_Init"), 2);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(PlayerDevice, WrongLibraryVersionShowsTheErrorBoxAndGoesOn) {
    lib.version = 0x02040000;
    TZorvanBass a(lib, nullptr);
    a.InitDevice(1, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Error);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Versão incorreta VENBS.DLL"));
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Incorreta VENBS.DLL"));
    EXPECT_EQ(lib.CountCalls("BASS_Init"), 1);
    // The version's low half is not looked at.
    boxes.Clear();
    lib.version = 0x02030011;
    TZorvanBass b(lib, nullptr);
    b.InitDevice(1, nullptr);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PlayerDevice, DeviceCountAsksAllTenAndSkipsGaps) {
    lib.deviceDescriptions[1] = "Um";
    lib.deviceDescriptions[2] = "Dois";
    lib.deviceDescriptions[3] = "   ";
    lib.deviceDescriptions[4] = "Quatro";
    TZorvanBass a(lib, nullptr);
    EXPECT_EQ(a.GetDeviceCount(), 3);
    EXPECT_EQ(a.GetDeviceName(3), QStringLiteral("   "));
    lib.deviceDescriptions[3].clear();
    EXPECT_EQ(a.GetDeviceName(3), QString());
    EXPECT_EQ(a.GetDeviceName(4), QStringLiteral("Quatro"));
    EXPECT_EQ(lib.CountCalls("BASS_GetDeviceDescription"), 13);
}

TEST_F(PlayerDevice, DeviceNumberIsReadAsItsLowByte) {
    TZorvanBass a(lib, nullptr);
    a.Device = 0x1FF;
    EXPECT_EQ(a.GetDevice(), 0xFF);
}

TEST_F(PlayerDevice, UpdateDeviceResetsThePlayCounters) {
    TZorvanBass a(lib, nullptr);
    a.InitDevice(1, nullptr);
    a.Load(QStringLiteral("/music/A.MP3"));
    a.Play();
    TZorvanBass::CreateErrorCount = 3;
    TZorvanBass::UpdateDevice(lib, 1, nullptr);
    EXPECT_EQ(TZorvanBass::PlayingCount, 0);
    EXPECT_EQ(TZorvanBass::PlaysSinceUpdate, 0);
    EXPECT_EQ(TZorvanBass::CreateErrorCount, 0);
    EXPECT_EQ(TZorvanBass::DeviceUpdateCount, 1);
    EXPECT_EQ(TZorvanBass::InitializedDevices, std::vector<std::int16_t>{1});
    EXPECT_TRUE(boxes.boxes.empty());

    lib.failInit = {1};
    TZorvanBass::UpdateDevice(lib, 1, nullptr);
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Inicialização da Device com Problemas - UPDATE")});
    EXPECT_EQ(TZorvanBass::DeviceUpdateCount, 1);
}

TEST_F(PlayerDevice, CreateResetsTheCreateErrorCount) {
    TZorvanBass::CreateErrorCount = 5;
    TZorvanBass a(lib, nullptr);
    EXPECT_EQ(TZorvanBass::CreateErrorCount, 0);
    EXPECT_TRUE(a.RewindOnStop);
    EXPECT_EQ(a.BufferLength, 3000);
}
