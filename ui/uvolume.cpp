#include "ui/uvolume.h"

#include "ui_uvolume.h"

#include "audio/uzorvanbass.h"
#include "system/codepage1252.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "ui/thdtimer.h"

#include <QCoreApplication>
#include <QShowEvent>
#include <QStyle>

#include <algorithm>

namespace {
constexpr std::uint16_t kTestBufferMs = 1200;
constexpr std::uint32_t kMeterIntervalMs = 60;
constexpr std::uint16_t kStopFadeMs = 50;
// The gauge shows the right channel's level (0..32768) divided by this.
constexpr int kLevelDivisor = 200;
}  // namespace

Tform_volume::Tform_volume(soundlib::ISoundLib& lib, std::int32_t& DeviceIndex, std::int32_t& NormalVolume,
                           const QString& StreamUrl, QWidget* parent)
    : QDialog(parent), ui(new Ui::Tform_volume), lib_(lib), DeviceIndex_(DeviceIndex), NormalVolume_(NormalVolume),
      StreamUrl_(StreamUrl) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->button1->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    // Designer fonts are in points; these two are sized in pixels, as designed.
    QFont big = ui->button1->font();
    big.setPixelSize(16);
    ui->button1->setFont(big);
    QFont status = ui->Label6->font();
    status.setPixelSize(14);
    ui->Label6->setFont(status);

    timer1 = new TThreadedTimer(this);
    timer1->SetEnabled(false);
    timer1->SetInterval(kMeterIntervalMs);
    timer1->OnTimer = [this](TThreadedTimer*) { timer1Timer(); };

    connect(ui->BitBtn13, &QPushButton::clicked, this, &Tform_volume::BitBtn13Click);
    connect(ui->button1, &QPushButton::clicked, this, &Tform_volume::button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tform_volume::Button2Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &Tform_volume::BitBtn1Click);
    connect(ui->BitBtn4, &QPushButton::clicked, this, &Tform_volume::BitBtn4Click);

    FormCreate();
    // Connected after FormCreate placed the slider: only the operator's moves (mouse,
    // keyboard, wheel) and FormShow's placing reach the player.
    connect(ui->MMSlider1, &QSlider::valueChanged, this, &Tform_volume::MMSlider1Track);
}

Tform_volume::~Tform_volume() {
    // The player and the timer go before the widgets their handlers write to.
    delete timer1;
    timer1 = nullptr;
    if (TestPlayer) TestPlayer->OnStop = nullptr;
    delete TestPlayer;
    TestPlayer = nullptr;
    delete ui;
}

void* Tform_volume::WindowHandle() { return reinterpret_cast<void*>(winId()); }

void Tform_volume::FormCreate() {
    TestPlayer = new TZorvanBass(lib_, this);
    TestPlayer->OnStop = [this](TZorvanBass*) { Stopplayer(); };
    // The stored number may name no device (unplugged since, or a damaged SERVER.INI): the
    // dialog's player then shares the players' default output instead of reporting a failure.
    TestPlayer->InitDevice(TestPlayer->DeviceOrDefault(DeviceIndex_), WindowHandle());
    TestPlayer->BufferLength = kTestBufferMs;

    ui->MMLEDPanel1->SetValue(NormalVolume_);
    ui->MMSlider1->setValue(NormalVolume_);

    ui->Label6->setText(QStringLiteral("Status"));
    ui->button1->setEnabled(true);
}

void Tform_volume::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void Tform_volume::FormShow() {
    ui->MMLEDPanel1->SetValue(NormalVolume_);

    lista_devices(ui->ComboBox1);
    const int item = DeviceIndex_ - 1;
    ui->ComboBox1->setCurrentIndex(item >= 0 && item < ui->ComboBox1->count() ? item : -1);

    TestPlayer->SetVolume(std::uint32_t(std::max(0, NormalVolume_)));
    ui->MMLEDPanel1->SetValue(NormalVolume_);
    ui->MMSlider1->setValue(NormalVolume_);
}

void Tform_volume::lista_devices(QComboBox* combo) {
    combo->clear();
    const int count = TestPlayer->GetDeviceCount();
    if (count == 0) {
        MessageBoxes().Message(QStringLiteral("Não foi Detectado placa de som - Verifique"), ApplicationTitle());
        return;
    }
    for (int n = 1; n <= count; ++n) combo->addItem(TestPlayer->GetDeviceName(n));
    combo->setCurrentIndex(0);
}

void Tform_volume::BitBtn13Click() { lista_devices(ui->ComboBox1); }

void Tform_volume::button1Click() {
    LastPosition = 0;
    ui->Label6->setText(QStringLiteral("AGUARDE CONECTANDO..."));
    ui->button1->setEnabled(false);
    QCoreApplication::processEvents();

    const int device = ui->ComboBox1->currentIndex() + 1;
    TZorvanBass::UpdateDevice(lib_, device, WindowHandle());

    TestPlayer->Close();
    // The player opens its channels on its own device: point it at the one being tested,
    // or the test would play on the device chosen at program start.
    TestPlayer->Device = device;
    TestPlayer->UseAac = 1;
    TestPlayer->Load(StreamUrl_);
    const int code = lib_.BASS_ErrorGetCode();
    if (code != soundlib::BASS_OK) {
        ui->Label6->setText(QStringLiteral("Erro ao Conectar: ") + QString::number(code));
        return;
    }
    TestPlayer->SetVolume(std::uint32_t(ui->MMLEDPanel1->Value()));
    TestPlayer->Play();
    timer1->SetEnabled(true);
    ui->Label6->setText(QStringLiteral("CONECTADO"));
}

void Tform_volume::timer1Timer() {
    if (TestPlayer->IsPlaying()) {
        int right = 0, left = 0;
        TestPlayer->GetLevels(right, left);
        ui->meter1->SetPosition(right / kLevelDivisor);
    }
    const std::int32_t position = TestPlayer->GetPosition();
    if (position > LastPosition) {
        LastPosition = position;
        ui->Label6->setText(QStringLiteral("CONECTADO..."));
    } else {
        ui->Label6->setText(QStringLiteral("PRONTO"));
    }
}

void Tform_volume::MMSlider1Track() {
    const int position = ui->MMSlider1->value();
    TestPlayer->SetVolume(std::uint32_t(position));
    ui->MMLEDPanel1->SetValue(position);
}

void Tform_volume::Button2Click() {
    ui->button1->setEnabled(true);
    ui->Label6->setText(QStringLiteral("Status"));
    TestPlayer->FadeOut(kStopFadeMs);
    timer1->SetEnabled(false);
    ui->meter1->SetPosition(0);
}

void Tform_volume::Stopplayer() {
    ui->meter1->SetPosition(0);
    ui->Label6->setText(QStringLiteral("STOP"));
}

void Tform_volume::BitBtn1Click() {
    DeviceIndex_ = ui->ComboBox1->currentIndex() + 1;  // 0 with nothing selected
    NormalVolume_ = ui->MMLEDPanel1->Value();
    const QStringList lines = VolumeIniLines(NormalVolume_);
    // Replaced through a temporary file: a failed write leaves the old file as it was, and
    // the operator is told that the volume will not survive a restart.
    if (!WriteLines1252Atomic(ProgramFolder() + VolumeIniName, lines))
        MessageBoxes().Message(QStringLiteral("Não foi possível salvar o volume em VOLUME.INI - Verifique"), ApplicationTitle());
    else if (OnSaved)
        OnSaved();
}

void Tform_volume::BitBtn4Click() {
    TestPlayer->Stop();
    timer1->SetEnabled(false);
    ui->meter1->SetPosition(0);
    close();
}
