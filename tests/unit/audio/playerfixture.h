#pragma once
// A player on the scripted library with device 1 initialised, recorded message boxes, a fake
// clock, fresh program-wide counters, and a log of the OnStop events.
#include "audio/uzorvanbass.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TZorvanBass::ResetProgramWideState();
        player = std::make_unique<TZorvanBass>(lib, nullptr);
        player->InitDevice(1, nullptr);
        player->OnStop = [this](TZorvanBass* sender) {
            EXPECT_EQ(sender, player.get());
            ++stops;
        };
        lib.calls.clear();
    }
    void TearDown() override { player.reset(); }

    // Loads a file and plays it; returns its channel in the fake.
    FakeSoundLib::Channel& PlayFile(const QString& path = QStringLiteral("/music/A.MP3")) {
        player->Load(path);
        player->Play();
        return *lib.Find(player->Channel);
    }

    FakeSoundLib lib;
    RecordingMessageBoxes boxes;
    ScopedFakeClock clock;
    std::unique_ptr<TZorvanBass> player;
    int stops = 0;
};
