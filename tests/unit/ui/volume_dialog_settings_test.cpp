// The dialog's device list and the volume it saves: what it shows when opened, what
// "Info Device Atual" and "Salvar" do, and a VOLUME.INI that cannot be written.
#include "tests/unit/ui/volumedialogfixture.h"

#include "system/messageboxes.h"
#include "ui/hourlyvolume.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {
QStringList Items(const QComboBox& combo) {
    QStringList out;
    for (int i = 0; i < combo.count(); ++i) out << combo.itemText(i);
    return out;
}
}  // namespace

TEST_F(VolumeDialogTest, OpensWithTheLoadedVolumeOnThePanelAndTheSlider) {
    Open();  // no VOLUME.INI: the start-up's default of 100
    EXPECT_EQ(Ui().MMLEDPanel1->Value(), 100);
    EXPECT_EQ(Ui().MMSlider1->value(), 100);
    EXPECT_EQ(Status(), QStringLiteral("Status"));
    EXPECT_TRUE(Ui().button1->isEnabled());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Configuração"));
    EXPECT_EQ(dialog->size(), QSize(616, 365));

    dialog->hide();
    NormalVolume = 35;  // changed meanwhile: shown again at the next opening
    Open();
    EXPECT_EQ(Ui().MMLEDPanel1->Value(), 35);
    EXPECT_EQ(Ui().MMSlider1->value(), 35);
}

TEST_F(VolumeDialogTest, SliderTo40AndSalvarWritesTheSingleLineAndSetsTheVolume) {
    Open();
    Ui().MMSlider1->setValue(40);
    EXPECT_EQ(Ui().MMLEDPanel1->Value(), 40);
    EXPECT_EQ(NormalVolume, 100);  // only "Salvar" hands it over
    Ui().BitBtn1->click();
    EXPECT_EQ(ReadBytes(folder.File(QStringLiteral("VOLUME.INI"))), QByteArray("VOLUME_NORMAL=40\r\n"));
    EXPECT_EQ(NormalVolume, 40);
    EXPECT_EQ(DeviceIndex, 1);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(dialog->isVisible());  // the dialog stays open

    Ui().MMSlider1->setValue(0);
    Ui().BitBtn1->click();
    EXPECT_EQ(ReadBytes(folder.File(QStringLiteral("VOLUME.INI"))), QByteArray("VOLUME_NORMAL=0\r\n"));
    EXPECT_EQ(NormalVolume, 0);
}

TEST_F(VolumeDialogTest, SalvarKeepsTheHourlyVolumesWhichRuleTheirHoursOver10Seconds) {
    const QString ini = folder.File(QStringLiteral("VOLUME.INI"));
    WriteBytes(ini, "VOLUME_NORMAL=70\r\nVOLUME_08=40\r\nVOLUME_12=80\r\n");
    NormalVolume = 70;
    Open();
    Ui().MMSlider1->setValue(55);
    Ui().BitBtn1->click();
    EXPECT_EQ(ReadBytes(ini), QByteArray("VOLUME_NORMAL=55\r\nVOLUME_08=40\r\nVOLUME_12=80\r\n"));

    // The playing volume from then on, at the controller's ticks.
    const QDate day(2026, 12, 8);
    auto at = [&](int h, int m, int s) { return QDateTime(day, QTime(h, m, s)); };
    THourlyVolume hourly(ini);
    int volume = 55;
    volume = hourly.Tick(at(7, 59, 59), volume);
    EXPECT_EQ(volume, 55);  // 07: no line, the normal volume
    volume = hourly.Tick(at(8, 0, 0), volume);
    EXPECT_EQ(volume, 55);
    volume = hourly.Tick(at(8, 0, 5), volume);
    EXPECT_EQ(volume, 47);  // half-way down to 40
    volume = hourly.Tick(at(8, 0, 10), volume);
    EXPECT_EQ(volume, 40);
    volume = hourly.Tick(at(9, 0, 10), volume);
    EXPECT_EQ(volume, 40);  // the ramp starts at the first tick of the hour
    volume = hourly.Tick(at(9, 0, 20), volume);
    EXPECT_EQ(volume, 55);  // back to VOLUME_NORMAL
    volume = hourly.Tick(at(12, 0, 30), volume);
    EXPECT_EQ(volume, 55);
    volume = hourly.Tick(at(12, 0, 40), volume);
    EXPECT_EQ(volume, 80);

    // Without hourly lines the file is the one line it always was, and nothing moves the volume.
    WriteBytes(ini, "VOLUME_NORMAL=70\r\n");
    Ui().BitBtn1->click();
    EXPECT_EQ(ReadBytes(ini), QByteArray("VOLUME_NORMAL=55\r\n"));
    THourlyVolume none(ini);
    EXPECT_EQ(none.Tick(at(13, 0, 0), 33), 33);
    EXPECT_EQ(none.Tick(at(14, 0, 30), 33), 33);
}

TEST_F(VolumeDialogTest, ThreeDevicesSelectTheSavedOneAndInfoDeviceAtualTheFirst) {
    SetDevices({"Placa A", "Placa B", "Placa C"});
    DeviceIndex = 2;
    Open();
    EXPECT_EQ(Items(*Ui().ComboBox1), (QStringList{"Placa A", "Placa B", "Placa C"}));
    EXPECT_EQ(Ui().ComboBox1->currentIndex(), 1);

    Ui().BitBtn13->click();
    EXPECT_EQ(Items(*Ui().ComboBox1), (QStringList{"Placa A", "Placa B", "Placa C"}));
    EXPECT_EQ(Ui().ComboBox1->currentIndex(), 0);

    Ui().ComboBox1->setCurrentIndex(2);
    Ui().BitBtn1->click();
    EXPECT_EQ(DeviceIndex, 3);
    EXPECT_EQ(ReadBytes(folder.File(QStringLiteral("VOLUME.INI"))), QByteArray("VOLUME_NORMAL=100\r\n"));
}

TEST_F(VolumeDialogTest, SavedDeviceBeyondTheListSelectsNothing) {
    SetDevices({"Placa A"});
    DeviceIndex = 4;
    Open();
    EXPECT_EQ(Ui().ComboBox1->count(), 1);
    EXPECT_EQ(Ui().ComboBox1->currentIndex(), -1);
    Ui().BitBtn1->click();
    EXPECT_EQ(DeviceIndex, 0);
}

TEST_F(VolumeDialogTest, NoSoundDeviceIsReportedAtEachListingAndSalvarGivesDevice0) {
    SetDevices({});
    dialog = std::make_unique<Tform_volume>(lib, DeviceIndex, NormalVolume, StreamUrl);
    boxes.Clear();  // the player's own report of the failed initialisation
    Open();
    ASSERT_EQ(boxes.Texts(), QStringList{QStringLiteral("Não foi Detectado placa de som - Verifique")});
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Message);
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_EQ(Ui().ComboBox1->count(), 0);

    Ui().BitBtn13->click();
    EXPECT_EQ(boxes.boxes.size(), 2u);

    Ui().BitBtn1->click();
    EXPECT_EQ(DeviceIndex, 0);
    EXPECT_EQ(NormalVolume, 100);
}

TEST_F(VolumeDialogTest, UnwritableVolumeIniIsReportedAndTheOldOneStays) {
    // root ignores permission bits: the file's place is taken by a folder instead, which no
    // file can be renamed over.
    const QString ini = folder.File(QStringLiteral("VOLUME.INI"));
    ASSERT_TRUE(QDir().mkpath(ini));
    WriteBytes(ini + QStringLiteral("/keep"), "kept");
    Open();
    Ui().MMSlider1->setValue(40);
    Ui().BitBtn1->click();
    ASSERT_EQ(boxes.Texts(), QStringList{QStringLiteral("Não foi possível salvar o volume em VOLUME.INI - Verifique")});
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_EQ(ReadBytes(ini + QStringLiteral("/keep")), QByteArray("kept"));
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{});  // no temporary left
    EXPECT_EQ(NormalVolume, 40);  // in memory the new value holds
}

TEST_F(VolumeDialogTest, FailedReplacementKeepsTheOldVolumeIni) {
    const QString ini = folder.File(QStringLiteral("VOLUME.INI"));
    WriteBytes(ini, "VOLUME_NORMAL=70\r\n");
    NormalVolume = 70;
    Open();
    // An immutable file can be neither replaced nor renamed over, not even by root.
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), ini}) != 0) GTEST_SKIP() << "no chattr here";
    struct Undo {
        QString path;
        ~Undo() { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path}); }
    } undo{ini};
    Ui().MMSlider1->setValue(20);
    Ui().BitBtn1->click();
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Não foi possível salvar o volume em VOLUME.INI - Verifique")});
    EXPECT_EQ(ReadBytes(ini), QByteArray("VOLUME_NORMAL=70\r\n"));
    EXPECT_EQ(NormalVolume, 20);
}
