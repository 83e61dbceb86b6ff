#pragma once
// A main window on the fake sound library, in a private program folder with a fake clock and
// recorded message boxes; the program-wide state starts from its load values in every test.
#include "app/playerstate.h"
#include "app/usom.h"
#include "audio/uzorvanbass.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() {
        PlayerState = TPlayerState{};
        TZorvanBass::ResetProgramWideState();
    }
    ~WindowFixture() override {
        window.reset();
        PlayerState = TPlayerState{};
        TZorvanBass::ResetProgramWideState();
    }

    // Runs the window's creation (FormCreate).
    Tfrm_sonarisv1AAC& Create() {
        window = std::make_unique<Tfrm_sonarisv1AAC>(lib);
        return *window;
    }
    // Writes a settings file of the program folder, lines ended by CR LF.
    void WriteFile(const QString& name, const QStringList& lines) {
        QByteArray bytes;
        for (const QString& l : lines) bytes += l.toLatin1() + "\r\n";
        WriteBytes(folder.File(name), bytes);
    }

    TempProgramFolder folder;
    ScopedFakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    RecordingMessageBoxes boxes;
    FakeSoundLib lib;
    std::unique_ptr<Tfrm_sonarisv1AAC> window;
};
