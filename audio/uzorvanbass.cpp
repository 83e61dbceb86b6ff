#include "audio/uzorvanbass.h"

#include "system/clock.h"
#include "system/filenames.h"
#include "system/messageboxes.h"
#include "ui/thdtimer.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace soundlib;

namespace {
constexpr DWORD kDeviceFrequency = 44100;
constexpr DWORD kNetBufferMs = 10000;
constexpr std::uint32_t kPollIntervalMs = 60;
constexpr int kStillTicksLimit = 50;   // a fade whose volume stands still longer is stuck
constexpr std::uint32_t kFadeEndVolume = 4;  // at or below this a fade counts as finished
constexpr int kFadeLeadMs = 50;        // a fade must end this long before the track does
constexpr int kShortestFadeMs = 10;
constexpr std::size_t kDataClearBytes = 2052;

// Milliseconds of a byte count, the way the library converts it; negative (the library's
// answer for a bad handle) gives 0.
std::int64_t Milliseconds(ISoundLib& lib, DWORD channel, DWORD bytes) {
    const double ms = double(lib.BASS_ChannelBytes2Seconds(channel, bytes)) * 1000.0;
    if (!(ms > 0)) return 0;
    return std::int64_t(std::min(ms, double(std::numeric_limits<std::uint32_t>::max())));
}

QString DescriptionText(const char* text) { return text ? QString::fromUtf8(text) : QString(); }
}  // namespace

TZorvanBass::TZorvanBass(ISoundLib& lib, QObject* owner) : QObject(owner), lib_(lib) {
    RewindOnStop = true;
    BufferLength = 3000;
    CreateErrorCount = 0;
}

TZorvanBass::~TZorvanBass() {
    Loaded = false;
    if (changesWatch_) lib_.UnwatchChannelStateChanges(changesWatch_);
    delete PollTimer;
    PollTimer = nullptr;
    lib_.BASS_StreamFree(Channel);
    --CreatedCount;
}

void TZorvanBass::ResetProgramWideState() {
    InitializedDevices.clear();
    PlayingCount = 0;
    CreatedCount = 0;
    LoadedCount = 0;
    DeviceUpdateCount = 0;
    CreateErrorCount = 0;
    PlaysSinceUpdate = 0;
    InitDate = QDate(1899, 12, 30);
    InitTime = QTime(0, 0);
}

void TZorvanBass::InitDevice(int device, void* window) {
    if ((lib_.BASS_GetVersion() >> 16) != BASSVERSION) {
        MessageBoxes().Error(QStringLiteral("Versão incorreta VENBS.DLL"), QStringLiteral("Incorreta VENBS.DLL"));
        // Queued, so that a request made before the event loop runs still ends the program.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    bool initialisedNow = false;
    const auto known = std::find(InitializedDevices.begin(), InitializedDevices.end(), std::int16_t(device));
    if (known == InitializedDevices.end()) {
        const bool initialised = lib_.BASS_Init(device, kDeviceFrequency, 0, window, nullptr);
        const int code = lib_.BASS_ErrorGetCode();
        // A session's sound server may come up after the player: the library then keeps the
        // device and opens its output when it can. Nobody need be told; the output's loss and
        // return are reported as during the day.
        if (initialised || WaitsForItsOutput(device)) {
            InitializedDevices.push_back(std::int16_t(device));
            initialisedNow = true;
        } else {
            MessageBoxes().Message(QStringLiteral("Inicialização da Device com Problemas\r") + ErrorText(code), ApplicationTitle());
        }
    }

    SetLoop(false);
    Device = device;
    StateChanged();
    DeviceDescription = DescriptionText(lib_.BASS_GetDeviceDescription(DWORD(device)));

    ++CreatedCount;
    if (initialisedNow) {
        InitDate = Today();
        InitTime = TimeOfDay();
    }
}

void TZorvanBass::UpdateDevice(ISoundLib& lib, int device, void* window) {
    lib.BASS_SetDevice(DWORD(device));
    lib.BASS_Free();
    if (!lib.BASS_Init(device, kDeviceFrequency, 0, window, nullptr)) {
        MessageBoxes().Message(QStringLiteral("Inicialização da Device com Problemas - UPDATE"), ApplicationTitle());
        return;
    }
    lib.BASS_SetDevice(DWORD(device));
    PlaysSinceUpdate = 0;
    PlayingCount = 0;
    CreateErrorCount = 0;
    ++DeviceUpdateCount;
    lib.BASS_Update();
}

void TZorvanBass::ReadAttributes() {
    DWORD freq = FrequencyValue, volume = VolumeValue;
    int pan = int(PanValue);
    if (lib_.BASS_ChannelGetAttributes(Channel, &freq, &volume, &pan)) {
        FrequencyValue = freq;
        VolumeValue = volume;
        PanValue = std::uint32_t(pan);
    }
}

void TZorvanBass::PrepareLoad() {
    if (!PollTimer) {
        PollTimer = new TThreadedTimer(this);
        PollTimer->SetInterval(kPollIntervalMs);
        PollTimer->SetEnabled(false);
        PollTimer->SetThreadPriority(TThreadPriority::tpNormal);
        PollTimer->OnTimer = [this](TThreadedTimer*) { Poll(); };
        // A playing channel that nothing happened to needs no look: the poll's thread asks
        // the library, and the user-interface thread sleeps on.
        PollTimer->SetDue([this] {
            return pollAnyway_.load() || lib_.ChannelStateChanges() != changesSeen_.load();
        });
        // A library that announces its changes lets that thread sleep too, until one comes.
        TThreadedTimer* poll = PollTimer;
        changesWatch_ = lib_.WatchChannelStateChanges([poll] { poll->DueMayHaveChanged(); });
        PollTimer->SetDueChangesAnnounced(changesWatch_ != 0);
    }

    if (Playing && lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_STOPPED) Stop();
    if (Loaded) Close();
    Loaded = false;
    Playing = false;
    StateChanged();

    loudnessGainDb_ = 0;
    lib_.BASS_SetDevice(DWORD(Device));
    lib_.BASS_SetConfig(BASS_CONFIG_BUFFER, BufferLength);
}

std::function<TZorvanBass::StreamOpened()> TZorvanBass::BeginStream(const QString& url) {
    PrepareLoad();
    lib_.BASS_SetConfig(BASS_CONFIG_NET_BUFFER, kNetBufferMs);
    QByteArray address = url.toUtf8();
    address.append('\0');  // the address goes with one extra NUL
    return [&lib = lib_, address, aac = UseAac != 0] {
        StreamOpened opened;
        opened.channel = aac ? lib.BASS_AAC_StreamCreateURL(address.constData(), 0, BASS_STREAM_AUTOFREE, nullptr, 0)
                             : lib.BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_AUTOFREE, nullptr, 0);
        opened.code = lib.BASS_ErrorGetCode();
        return opened;
    };
}

void TZorvanBass::EndStream(const QString& url, const StreamOpened& opened) {
    Channel = opened.channel;
    if (opened.code == BASS_OK) {
        ReadAttributes();
        Loaded_();
        Source = url;
    } else if (Channel != 0) {
        // A failed creation that still gave a handle; a 0 handle is not freed, which would
        // only be "bad handle".
        lib_.BASS_StreamFree(Channel);
    }
}

void TZorvanBass::Load(const QString& source) {
    const QString upper = source.toUpper();
    if (upper.contains(QStringLiteral("://"))) {
        EndStream(source, BeginStream(source)());
        return;
    }
    PrepareLoad();

    // Names on disk may hold bytes that are not UTF-8: hand the library the original bytes.
    const QByteArray path = EncodeFileName(source);
    const bool wma = upper.contains(QStringLiteral(".WMA"));
    auto create = [&](DWORD flags) {
        return wma ? lib_.BASS_WMA_StreamCreateFile(false, path.constData(), 0, 0, flags)
                   : lib_.BASS_StreamCreateFile(false, path.constData(), 0, 0, flags);
    };
    Channel = create(0);
    if (lib_.BASS_ErrorGetCode() != BASS_OK) Channel = create(BASS_SAMPLE_SOFTWARE);
    Source = source;

    if (const int code = lib_.BASS_ErrorGetCode(); code != BASS_OK) {
        // Shown to an operator who is there; the player does not wait for it.
        MessageBoxes().Notice(QStringLiteral("ERRO AO CARREGAR CANAL"),
                              QStringLiteral("ERRO AO CARREGAR CANAL:\r\rArquivo: ") + source + QStringLiteral("\r\rErro ") +
                                  ErrorText(code),
                              ApplicationTitle());
        if (Channel != 0) lib_.BASS_StreamFree(Channel);
        return;
    }

    ReadAttributes();
    BASS_CHANNELINFO info{};
    lib_.BASS_ChannelGetInfo(Channel, &info);
    if (info.flags & BASS_SAMPLE_8BITS) {
        MessageBoxes().Notice(QStringLiteral("Erro ao Ler arquivo"),
                              QStringLiteral("Erro ao Ler arquivo:") + source + QStringLiteral(" Dados <> 16-bits stereo"),
                              ApplicationTitle());
        lib_.BASS_StreamFree(Channel);
    } else if (Channel != 0) {
        Loaded_();
        ++LoadedCount;
    } else {
        lib_.BASS_StreamFree(0);
        ++CreateErrorCount;
    }
}

void TZorvanBass::Loaded_() {
    Loaded = true;
    StateChanged();
    if (DecodedTap) lib_.BASS_ChannelSetDecodedTap(Channel, DecodedTap);
    if (duckDb_ != 0) lib_.BASS_ChannelSlideDuck(Channel, float(duckDb_), 0);
}

void TZorvanBass::Duck(double db, int ms) {
    duckDb_ = db;
    if (Loaded) lib_.BASS_ChannelSlideDuck(Channel, float(db), DWORD(std::max(0, ms)));
}

void TZorvanBass::SetLoudnessGain(double db) {
    loudnessGainDb_ = db;
    if (Loaded) lib_.BASS_ChannelSetGain(Channel, float(db));
}

void TZorvanBass::StartChannel() {
    if (loudnessGainDb_ != 0) lib_.BASS_ChannelSetGain(Channel, float(loudnessGainDb_));
    lib_.BASS_ChannelSetAttributes(Channel, int(FrequencyValue), int(VolumeValue), int(PanValue));
    Playing = true;
    StateChanged();
    StillTicks = 0;
    lib_.BASS_ChannelPlay(Channel, false);
}

void TZorvanBass::Play() {
    if (!Loaded || lib_.BASS_ChannelIsActive(Channel) == BASS_ACTIVE_PLAYING) return;
    StartChannel();
    if (lib_.BASS_ErrorGetCode() == BASS_ERROR_HANDLE) {
        // The library dropped the channel (an ended stream frees itself): open the source
        // afresh and start that one.
        const double gain = loudnessGainDb_;
        Close();
        Load(Source);
        loudnessGainDb_ = gain;  // the same track
        StartChannel();
    }
    LookAtNextTick();  // the first look after a start is always taken
    if (PollTimer) PollTimer->SetEnabled(true);
    ++PlayingCount;
    ++PlaysSinceUpdate;
    SetLoop(Looping);
}

void TZorvanBass::Stop() {
    SetLoop(false);
    Playing = false;
    StateChanged();
    if (!Loaded) return;
    lib_.BASS_ChannelStop(Channel);
    if (RewindOnStop) lib_.BASS_ChannelSetPosition(Channel, 0);
    DWORD active = lib_.BASS_ChannelIsActive(Channel);
    if (active != BASS_ACTIVE_STOPPED) {
        lib_.BASS_ChannelStop(Channel);
        active = lib_.BASS_ChannelIsActive(Channel);
    }
    if (active == BASS_ACTIVE_STOPPED) --PlayingCount;
    if (PollTimer) PollTimer->SetEnabled(false);
    DoStop();
}

void TZorvanBass::Close() {
    if (Playing && lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_STOPPED) {
        lib_.BASS_ChannelStop(Channel);
        SetLoop(false);
        Playing = false;
        StateChanged();
        if (lib_.BASS_ChannelIsActive(Channel) == BASS_ACTIVE_STOPPED) --PlayingCount;
    }
    if (Loaded) {
        auto freed = [this] {
            Loaded = false;
            StateChanged();
            --LoadedCount;
            Channel = 0;
        };
        if (lib_.BASS_StreamFree(Channel)) {
            freed();
        } else {
            lib_.BASS_ChannelStop(Channel);
            if (lib_.BASS_StreamFree(Channel)) freed();
            DoStop();
        }
    }
    if (PollTimer) PollTimer->SetEnabled(false);
    lib_.BASS_Update();
}

void TZorvanBass::FadeOut(std::uint16_t time) {
    SetLoop(false);
    if (!Playing || !Loaded) return;
    if (lib_.BASS_ChannelIsActive(Channel) == BASS_ACTIVE_STOPPED) {
        Stop();
        return;
    }
    // The fade has to be over before the track ends, or the end would cut it short.
    const std::int64_t remaining = std::int64_t(GetLength()) - (std::int64_t(GetPosition()) + kFadeLeadMs);
    std::int64_t fade = time;
    if (fade >= remaining) fade = remaining;
    if (fade < kShortestFadeMs) {
        Stop();
        return;
    }
    lib_.BASS_ChannelSlideAttributes(Channel, -1, -2, -101, DWORD(fade));
    LookAtNextTick();
}

void TZorvanBass::LookAtNextTick() {
    pollAnyway_ = true;
    if (PollTimer) PollTimer->DueMayHaveChanged();
}

void TZorvanBass::Poll() {
    changesSeen_ = lib_.ChannelStateChanges();
    pollAnyway_ = false;
    if (Playing) {
        // Each rule stops on its own and the tick goes on: a fade that ends here raises
        // OnStop once per rule that fires, plus once for the inactive channel below.
        if (IsFading()) {
            pollAnyway_ = true;  // a fade is followed tick by tick
            if (std::int32_t(GetVolume()) == LastFadeVolume) ++StillTicks;
            else StillTicks = 0;
            if (StillTicks > kStillTicksLimit) Stop();
            LastFadeVolume = std::int32_t(GetVolume());
            if (GetVolume() <= kFadeEndVolume) Stop();
        }
        const DWORD active = lib_.BASS_ChannelIsActive(Channel);
        if (std::int64_t(GetPosition()) < std::int64_t(GetLength()) && active != BASS_ACTIVE_STOPPED &&
            active != BASS_ACTIVE_STALLED)
            return;
    }
    Stop();
}

void TZorvanBass::DoStop() {
    if (OnStop) OnStop(this);
}

void TZorvanBass::SetLoop(bool on) {
    Looping = on;
    if (Playing && Loaded) lib_.BASS_ChannelSetFlags(Channel, on ? BASS_SAMPLE_LOOP : 0);
}

void TZorvanBass::StateChanged() {
    ++stateChanges_;
    if (StateChangesAnnounced) StateChangesAnnounced();
}

bool TZorvanBass::IsPlaying() const { return Loaded && Playing; }

bool TZorvanBass::IsFading() { return Loaded && lib_.BASS_ChannelIsSliding(Channel) == BASS_SLIDE_VOL; }

std::uint32_t TZorvanBass::GetVolume() {
    if (Loaded) ReadAttributes();
    return VolumeValue;
}

void TZorvanBass::SetVolume(std::uint32_t v) {
    if (!Loaded) return;
    lib_.BASS_ChannelSetAttributes(Channel, int(FrequencyValue), int(v), int(PanValue));
    VolumeValue = v;
}

std::uint32_t TZorvanBass::GetPan() {
    if (Loaded) ReadAttributes();
    return PanValue;
}

void TZorvanBass::SetPan(std::uint32_t p) {
    if (Loaded && lib_.BASS_ChannelSetAttributes(Channel, int(FrequencyValue), int(VolumeValue), int(p))) PanValue = p;
}

std::uint32_t TZorvanBass::GetFrequency() {
    if (Loaded && lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_STOPPED) ReadAttributes();
    return FrequencyValue;
}

void TZorvanBass::SetFrequency(std::uint32_t f) {
    if (Loaded && lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_STOPPED &&
        lib_.BASS_ChannelSetAttributes(Channel, int(f), int(VolumeValue), int(PanValue)))
        FrequencyValue = f;
}

std::uint32_t TZorvanBass::GetLength() {
    if (!Loaded) return 0;
    // Only the low half of the byte count is converted: an unknown length (all bits set)
    // reads as a very long one, so such a stream ends through its state, not its position.
    const DWORD bytes = DWORD(lib_.BASS_ChannelGetLength(Channel));
    return std::uint32_t(Milliseconds(lib_, Channel, bytes));
}

std::int32_t TZorvanBass::GetPosition() {
    if (!Loaded) return 0;
    const DWORD bytes = DWORD(lib_.BASS_ChannelGetPosition(Channel));
    return std::int32_t(std::min<std::int64_t>(Milliseconds(lib_, Channel, bytes), std::numeric_limits<std::int32_t>::max()));
}

void TZorvanBass::SetPosition(std::int32_t ms) {
    if (!Loaded) return;
    const auto bytes = std::int32_t(DWORD(lib_.BASS_ChannelSeconds2Bytes(Channel, float(ms / 1000.0))));
    lib_.BASS_ChannelSetPosition(Channel, QWORD(std::int64_t(bytes)));
}

void TZorvanBass::GetLevels(int& right, int& left) {
    right = 0;
    left = 0;
    if (!Playing || lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_PLAYING) return;
    const DWORD level = lib_.BASS_ChannelGetLevel(Channel);
    if (level == BASS_DWORD_ERROR) return;  // not a level: a gauge must not jump to full
    left = int(level & 0xFFFFu);
    right = int(level >> 16);
}

int TZorvanBass::GetDecodedPeak() {
    if (!Loaded) return -1;
    const DWORD peak = lib_.BASS_ChannelGetDecodedPeak(Channel);
    return peak == BASS_DWORD_ERROR ? -1 : int(std::min<DWORD>(peak, 32768u));
}

std::int64_t TZorvanBass::GetBufferPercent() {
    const DWORD end = lib_.BASS_StreamGetFilePosition(Channel, BASS_FILEPOS_END);
    if (end == BASS_DWORD_ERROR || end == 0) return 0;
    const DWORD download = lib_.BASS_StreamGetFilePosition(Channel, BASS_FILEPOS_DOWNLOAD);
    const DWORD decode = lib_.BASS_StreamGetFilePosition(Channel, BASS_FILEPOS_CURRENT);
    // 32-bit unsigned on purpose: the connection monitor's thresholds were tuned on it.
    const DWORD percent = ((download - decode) * 100u) / end;
    return std::int64_t(percent);
}

bool TZorvanBass::WatchForWake(int fillPercent, int quietPeak, std::function<void()> wake) {
    if (!Loaded) return false;
    return lib_.BASS_ChannelSetWakeWatch(Channel, DWORD(std::max(0, fillPercent)), DWORD(std::max(0, quietPeak)), std::move(wake));
}

std::int64_t TZorvanBass::GetDecodePosition() {
    return std::int64_t(lib_.BASS_StreamGetFilePosition(Channel, BASS_FILEPOS_CURRENT));
}

std::int64_t TZorvanBass::GetDownloadPosition() {
    return std::int64_t(lib_.BASS_StreamGetFilePosition(Channel, BASS_FILEPOS_DOWNLOAD));
}

std::int32_t TZorvanBass::GetData(void* buffer, std::uint32_t length) {
    if (!Loaded || !Playing || lib_.BASS_ChannelIsActive(Channel) != BASS_ACTIVE_PLAYING) return 0;
    const auto result = std::int32_t(lib_.BASS_ChannelGetData(Channel, buffer, length));
    if (result < 0) std::memset(buffer, 0, kDataClearBytes);
    return result;
}

bool TZorvanBass::WaitsForItsOutput(int device) {
    const OutputStatus status = lib_.GetOutputStatus(DWORD(device));
    return lib_.BASS_ErrorGetCode() == BASS_OK && status.lost;
}

bool TZorvanBass::OutputLost() { return lib_.GetOutputStatus(DWORD(Device)).lost; }

QString TZorvanBass::OutputName() { return QString::fromStdString(lib_.GetOutputStatus(DWORD(Device)).name); }

std::uint8_t TZorvanBass::GetDevice() const { return std::uint8_t(Device & 0xFF); }

int TZorvanBass::GetDeviceCount() {
    int count = 0;
    for (DWORD n = 1; n <= 10; ++n)
        if (!DescriptionText(lib_.BASS_GetDeviceDescription(n)).trimmed().isEmpty()) ++count;
    return count;
}

int TZorvanBass::DeviceOrDefault(int device) {
    return GetDeviceName(device).trimmed().isEmpty() ? int(lib_.GetDefaultDevice()) : device;
}

QString TZorvanBass::GetDeviceName(int n) { return DescriptionText(lib_.BASS_GetDeviceDescription(DWORD(n))); }
