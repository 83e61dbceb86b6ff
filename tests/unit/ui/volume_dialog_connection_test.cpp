// The dialog's connection test on the scripted library: the device it re-initialises and
// plays on, the status line through the states Connecting, Failed and Playing, the meter
// ticks (called directly), "Stop", "Sair" and the end of the test player.
#include "tests/unit/ui/volumedialogfixture.h"

#include "ui/thdtimer.h"

TEST_F(VolumeDialogTest, FailedConnectionShowsTheCodeAndOnlyStopEnablesConectar) {
    lib.createError["*"] = soundlib::BASS_ERROR_NONET;  // 32
    Open();
    Ui().button1->click();
    EXPECT_EQ(Status(), QStringLiteral("Erro ao Conectar: 32"));
    EXPECT_FALSE(Ui().button1->isEnabled());
    EXPECT_FALSE(dialog->timer1->Enabled());

    Ui().BitBtn13->click();
    Ui().BitBtn1->click();
    EXPECT_FALSE(Ui().button1->isEnabled());

    Ui().Button2->click();
    EXPECT_TRUE(Ui().button1->isEnabled());
    EXPECT_EQ(Status(), QStringLiteral("Status"));
}

TEST_F(VolumeDialogTest, ConnectingReinitialisesTheChosenDeviceAndPlaysTheStreamThere) {
    SetDevices({"Placa A", "Placa B"});
    DeviceIndex = 1;
    Open();
    lib.initialisedDevices.insert(2);  // in use elsewhere, so both devices stay open
    Ui().ComboBox1->setCurrentIndex(1);
    Ui().MMSlider1->setValue(70);
    lib.calls.clear();
    Ui().button1->click();

    EXPECT_EQ(Status(), QStringLiteral("CONECTADO"));
    EXPECT_FALSE(Ui().button1->isEnabled());
    EXPECT_TRUE(dialog->timer1->Enabled());
    EXPECT_EQ(dialog->timer1->Interval(), 60u);
    EXPECT_EQ(lib.CountCalls("BASS_Free"), 1);
    EXPECT_EQ(lib.CountCalls("BASS_Init 2"), 1);
    FakeSoundLib::Channel* channel = TestChannel();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->source, "http://127.0.0.1:9500");
    EXPECT_TRUE(channel->aac);
    EXPECT_EQ(channel->device, 2);  // the chosen device, not the one of the program start
    EXPECT_EQ(channel->volume, 70u);
    EXPECT_EQ(channel->active, soundlib::BASS_ACTIVE_PLAYING);
    EXPECT_EQ(lib.config[soundlib::BASS_CONFIG_BUFFER], 1200u);

    // The slider sets the playing test at once.
    Ui().MMSlider1->setValue(30);
    EXPECT_EQ(channel->volume, 30u);
}

TEST_F(VolumeDialogTest, MeterTicksShowArrivingSoundAndAStall) {
    Open();
    Ui().button1->click();
    FakeSoundLib::Channel* channel = TestChannel();
    ASSERT_NE(channel, nullptr);

    channel->position = 17640;  // 100 ms
    lib.SetLevel(channel->handle, 10000, 500);
    dialog->timer1Timer();
    EXPECT_EQ(Status(), QStringLiteral("CONECTADO..."));
    EXPECT_EQ(dialog->LastPosition, 100);
    EXPECT_EQ(Ui().meter1->Position(), 50);

    channel->position = 35280;
    lib.SetLevel(channel->handle, 32768, 0);
    dialog->timer1Timer();
    EXPECT_EQ(Status(), QStringLiteral("CONECTADO..."));
    EXPECT_EQ(dialog->LastPosition, 200);
    EXPECT_EQ(Ui().meter1->Position(), 100);  // clamped by the gauge

    lib.StallChannel(channel->handle);  // no new sound
    dialog->timer1Timer();
    EXPECT_EQ(Status(), QStringLiteral("PRONTO"));
    EXPECT_EQ(dialog->LastPosition, 200);

    lib.ResumeChannel(channel->handle);
    channel->position = 52920;
    dialog->timer1Timer();
    EXPECT_EQ(Status(), QStringLiteral("CONECTADO..."));
}

TEST_F(VolumeDialogTest, StopFadesTheTestOutOver50MsAndReturnsToIdle) {
    Open();
    Ui().button1->click();
    FakeSoundLib::Channel* channel = TestChannel();
    ASSERT_NE(channel, nullptr);
    lib.SetLevel(channel->handle, 20000, 0);
    dialog->timer1Timer();
    ASSERT_EQ(Ui().meter1->Position(), 100);

    lib.calls.clear();
    Ui().Button2->click();
    EXPECT_EQ(lib.CountCalls("BASS_ChannelSlideAttributes " + std::to_string(channel->handle) + " -1 -2 -101 50"), 1);
    EXPECT_TRUE(Ui().button1->isEnabled());
    EXPECT_EQ(Status(), QStringLiteral("Status"));
    EXPECT_FALSE(dialog->timer1->Enabled());
    EXPECT_EQ(Ui().meter1->Position(), 0);

    // The fade ends the channel; the player's poll then raises its stop.
    lib.FinishSlide(channel->handle);
    dialog->TestPlayer->Poll();
    EXPECT_EQ(Status(), QStringLiteral("STOP"));
}

TEST_F(VolumeDialogTest, ConnectingAgainAfterStopStartsAFreshTest) {
    Open();
    Ui().button1->click();
    TestChannel()->position = 88200;
    dialog->timer1Timer();
    ASSERT_EQ(dialog->LastPosition, 500);
    Ui().Button2->click();
    Ui().button1->click();
    EXPECT_EQ(dialog->LastPosition, 0);
    EXPECT_EQ(Status(), QStringLiteral("CONECTADO"));
    EXPECT_EQ(lib.CountCalls("BASS_AAC_StreamCreateURL"), 2);
}

TEST_F(VolumeDialogTest, SairStopsTheTestAndClosesTheDialog) {
    Open();
    Ui().button1->click();
    FakeSoundLib::Channel* channel = TestChannel();
    ASSERT_NE(channel, nullptr);
    Ui().BitBtn4->click();
    EXPECT_EQ(channel->active, soundlib::BASS_ACTIVE_STOPPED);
    EXPECT_EQ(Status(), QStringLiteral("STOP"));
    EXPECT_FALSE(dialog->timer1->Enabled());
    EXPECT_EQ(Ui().meter1->Position(), 0);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(VolumeDialogTest, CloseBoxLeavesTheTestRunningUntilStopOrSair) {
    Open();
    Ui().button1->click();
    FakeSoundLib::Channel* channel = TestChannel();
    ASSERT_NE(channel, nullptr);
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(channel->active, soundlib::BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(dialog->timer1->Enabled());

    Open();  // shown again: the running test takes the saved volume
    EXPECT_EQ(channel->volume, 100u);
    Ui().BitBtn4->click();
    EXPECT_EQ(channel->active, soundlib::BASS_ACTIVE_STOPPED);
}
