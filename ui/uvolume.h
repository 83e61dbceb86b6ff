#pragma once
// Tform_volume (unit uvolume): the sound device and volume dialog. The operator picks the
// device and the normal volume, can test them by playing the stream address through the
// chosen device on the dialog's own player, and "Salvar" stores the volume in VOLUME.INI.
// The device number and the volume are the program-wide values it is given by reference;
// the dialog reads them when shown and writes them on "Salvar".
// Everything runs on the user-interface thread; timer1's ticks are delivered there.
#include "audio/soundlib/soundlib.h"
#include "ui/volumefile.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

QT_BEGIN_NAMESPACE
namespace Ui {
class Tform_volume;
}
class QComboBox;
QT_END_NAMESPACE

class TThreadedTimer;
class TZorvanBass;

class Tform_volume : public QDialog {
    Q_OBJECT
public:
    // Runs FormCreate. `StreamUrl` is kept by reference, not copied: a test always plays the
    // address in force at that moment, so it must outlive the dialog (the program passes
    // the shared player state). The sound library is not owned.
    Tform_volume(soundlib::ISoundLib& lib, std::int32_t& DeviceIndex, std::int32_t& NormalVolume, const QString& StreamUrl,
                 QWidget* parent = nullptr);
    ~Tform_volume() override;

    Ui::Tform_volume* ui = nullptr;
    TZorvanBass* TestPlayer = nullptr;
    TThreadedTimer* timer1 = nullptr;
    std::int32_t LastPosition = 0;
    // VOLUME.INI saved (the office's settings then no longer hold for the volume).
    std::function<void()> OnSaved;

    void FormCreate();
    void FormShow();
    void lista_devices(QComboBox* combo);
    void BitBtn13Click();
    void button1Click();
    void Button2Click();
    void timer1Timer();
    void MMSlider1Track();
    void Stopplayer();
    void BitBtn1Click();
    void BitBtn4Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void* WindowHandle();

    soundlib::ISoundLib& lib_;
    std::int32_t& DeviceIndex_;
    std::int32_t& NormalVolume_;
    const QString& StreamUrl_;
};
