#pragma once
// A sound device dialog on the scripted sound library, in a private program folder, with
// recorded message boxes; driven through its widgets as the operator would.
#include "audio/uzorvanbass.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"
#include "ui/uvolume.h"
#include "ui/widgets/ledgauge.h"
#include "ui/widgets/lednumber.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

#include <memory>

class VolumeDialogTest : public ::testing::Test {
protected:
    void SetUp() override { TZorvanBass::ResetProgramWideState(); }
    void TearDown() override {
        dialog.reset();
        TZorvanBass::ResetProgramWideState();
    }

    // Creates the dialog (FormCreate) and shows it (FormShow), as the program does.
    Tform_volume& Open() {
        if (!dialog) dialog = std::make_unique<Tform_volume>(lib, DeviceIndex, NormalVolume, StreamUrl);
        dialog->show();
        QCoreApplication::processEvents();
        return *dialog;
    }
    void SetDevices(std::initializer_list<const char*> names) {
        lib.deviceDescriptions.fill("");
        int n = 1;
        for (const char* name : names) lib.deviceDescriptions[n++] = name;
    }
    // The dialog's widgets, found by their designer names.
    struct Widgets {
        QComboBox* ComboBox1;
        QPushButton *BitBtn13, *button1, *Button2, *BitBtn1, *BitBtn4;
        QLabel* Label6;
        QSlider* MMSlider1;
        TLedNumber* MMLEDPanel1;
        TLedGauge* meter1;
    };
    template <class T>
    T* Named(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    Widgets Ui() {
        return {Named<QComboBox>("ComboBox1"), Named<QPushButton>("BitBtn13"), Named<QPushButton>("button1"),
                Named<QPushButton>("Button2"),  Named<QPushButton>("BitBtn1"),  Named<QPushButton>("BitBtn4"),
                Named<QLabel>("Label6"),        Named<QSlider>("MMSlider1"),    Named<TLedNumber>("MMLEDPanel1"),
                Named<TLedGauge>("meter1")};
    }
    QString Status() { return Ui().Label6->text(); }
    FakeSoundLib::Channel* TestChannel() { return lib.Find(dialog->TestPlayer->Channel); }

    TempProgramFolder folder;
    RecordingMessageBoxes boxes;
    FakeSoundLib lib;
    std::int32_t DeviceIndex = 1;
    std::int32_t NormalVolume = 100;
    QString StreamUrl = QStringLiteral("http://127.0.0.1:9500");
    std::unique_ptr<Tform_volume> dialog;
};
