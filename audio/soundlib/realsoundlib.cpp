// Devices, configuration, error code and the channel table of RealSoundLib; the channel calls
// are in realsoundlib_channels.cpp, the creation of streams in realsoundlib_streams.cpp.
#include "audio/soundlib/realsoundlib.h"

#include "audio/soundlib/channel.h"
#include "audio/soundlib/errorcode.h"
#include "audio/soundlib/outputdevice.h"
#include "audio/soundlib/outputwatch.h"

#include <SDL2/SDL.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>

namespace soundlib {

RealSoundLib::RealSoundLib() {
    // FFmpeg's warnings about damaged frames and the like would go to the program's stderr;
    // the library reports through its error codes instead.
    av_log_set_level(AV_LOG_FATAL);
}

RealSoundLib::~RealSoundLib() {
    // The watch first (it touches the devices), then the channels (their threads joined), then
    // the devices (SDL's threads joined).
    watch_.reset();
    std::lock_guard<std::mutex> guard(tableLock_);
    for (auto it = channels_.begin(); it != channels_.end();) Release(it++);
    for (auto& device : devices_) device.reset();
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    else SDL_AudioQuit();  // what the watch may have started
}

bool RealSoundLib::StartAudio() {
    if (watch_) return true;
    std::string driver;
    {
        std::lock_guard<std::mutex> sdl(SdlAudioLock());
        // SDL would take SIGINT and SIGTERM for an event queue that nobody here reads: the
        // program's signals are the program's own.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        audioStarted_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (audioStarted_ && SDL_GetCurrentAudioDriver()) driver = SDL_GetCurrentAudioDriver();
        else if (const char* wanted = SDL_getenv("SDL_AUDIODRIVER")) driver = wanted;
    }
    // Without a sound server yet (a session whose server comes up after the player), the
    // devices wait as lost outputs and the watch keeps starting SDL's audio until one answers.
    watch_ = std::make_unique<OutputWatch>(driver);
    return true;
}

DWORD RealSoundLib::BASS_GetVersion() {
    SetErrorCode(BASS_OK);
    return BASSVERSION << 16;
}

bool RealSoundLib::BASS_Init(int device, DWORD, DWORD, void*, void*) {
    std::lock_guard<std::mutex> guard(tableLock_);
    if (device == -1) device = 1;  // the default device
    if (device < 1 || device > 10) {
        SetErrorCode(BASS_ERROR_DEVICE);
        return false;
    }
    if (!StartAudio()) {
        SetErrorCode(BASS_ERROR_DRIVER);
        return false;
    }
    if (OutputDevice* known = devices_[static_cast<std::size_t>(device)].get()) {
        // One that has never opened is still waiting for its output: the same failure again.
        SetErrorCode(known->NeverOpened() ? BASS_ERROR_DRIVER : BASS_ERROR_ALREADY);
        return false;
    }
    int code = BASS_OK;
    auto output = OutputDevice::Open(device, code);
    if (!output) {
        SetErrorCode(code);
        return false;
    }
    // An output that cannot open now is kept, lost, for the watch to open when it can; the
    // caller hears of the failure, and its channels can wait on it meanwhile.
    watch_->Add(output.get());
    devices_[static_cast<std::size_t>(device)] = std::move(output);
    current_ = device;
    SetErrorCode(code);
    return code == BASS_OK;
}

bool RealSoundLib::BASS_SetDevice(DWORD device) {
    std::lock_guard<std::mutex> guard(tableLock_);
    if (device < 1 || device > 10) {
        SetErrorCode(BASS_ERROR_DEVICE);
        return false;
    }
    if (!devices_[device]) {
        SetErrorCode(BASS_ERROR_INIT);
        return false;
    }
    current_ = static_cast<int>(device);
    SetErrorCode(BASS_OK);
    return true;
}

OutputDevice* RealSoundLib::CurrentDevice() {
    OutputDevice* device = current_ > 0 ? devices_[static_cast<std::size_t>(current_)].get() : nullptr;
    if (!device) SetErrorCode(BASS_ERROR_INIT);
    return device;
}

void RealSoundLib::FreeDevice(int device) {
    bool ended = false;
    for (auto it = channels_.begin(); it != channels_.end();) {
        auto next = std::next(it);
        if (it->second.channel->Device() == device) {
            Release(it);
            ended = true;
        }
        it = next;
    }
    auto& output = devices_[static_cast<std::size_t>(device)];
    if (output && watch_) watch_->Remove(output.get());
    output.reset();
    if (ended) AnnounceChannelsEnded();
}

bool RealSoundLib::BASS_Free() {
    std::lock_guard<std::mutex> guard(tableLock_);
    if (!CurrentDevice()) return false;
    FreeDevice(current_);
    SetErrorCode(BASS_OK);
    return true;
}

bool RealSoundLib::BASS_Update() {
    std::lock_guard<std::mutex> guard(tableLock_);
    if (!CurrentDevice()) return false;
    ReleaseFinished();
    SetErrorCode(BASS_OK);
    return true;
}

const char* RealSoundLib::BASS_GetDeviceDescription(DWORD device) {
    if (!StartAudio()) {
        SetErrorCode(BASS_ERROR_DRIVER);
        return nullptr;
    }
    auto name = OutputDeviceName(static_cast<int>(std::min<DWORD>(device, 11)));
    if (!name) {
        SetErrorCode(BASS_ERROR_DEVICE);
        return nullptr;
    }
    description_ = *name;
    SetErrorCode(BASS_OK);
    return description_.c_str();
}

DWORD RealSoundLib::BASS_SetConfig(DWORD option, DWORD value) {
    std::lock_guard<std::mutex> guard(tableLock_);
    DWORD previous;
    switch (option) {
    case BASS_CONFIG_BUFFER:
        previous = bufferMs_;
        bufferMs_ = std::clamp<DWORD>(value, 10, 5000);
        break;
    case BASS_CONFIG_NET_TIMEOUT:
        previous = netTimeoutMs_;
        netTimeoutMs_ = std::clamp<DWORD>(value, 100, 600000);
        break;
    case BASS_CONFIG_NET_BUFFER:
        previous = netBufferMs_;
        netBufferMs_ = std::clamp<DWORD>(value, 1000, 60000);
        break;
    default:
        // The proxy is a text: BASS_SetConfigPtr.
        SetErrorCode(BASS_ERROR_ILLPARAM);
        return BASS_DWORD_ERROR;
    }
    SetErrorCode(BASS_OK);
    return previous;
}

bool RealSoundLib::BASS_SetConfigPtr(DWORD option, const char* value) {
    std::lock_guard<std::mutex> guard(tableLock_);
    if (option != BASS_CONFIG_NET_PROXY) {
        SetErrorCode(BASS_ERROR_ILLPARAM);
        return false;
    }
    proxy_ = value;
    SetErrorCode(BASS_OK);
    return true;
}

void RealSoundLib::SetTrustedAuthorities(const std::string& pemFile) {
    std::lock_guard<std::mutex> guard(tableLock_);
    authorities_ = pemFile;
}

HSTREAM RealSoundLib::Register(std::unique_ptr<Channel> channel, DWORD flags) {
    while (nextHandle_ == 0 || channels_.count(nextHandle_)) ++nextHandle_;
    HSTREAM handle = nextHandle_++;
    devices_[static_cast<std::size_t>(channel->Device())]->Attach(channel.get());
    channels_[handle] = Entry{std::move(channel), flags};
    SetErrorCode(BASS_OK);
    return handle;
}

RealSoundLib::Entry* RealSoundLib::Find(DWORD handle) {
    std::lock_guard<std::mutex> guard(tableLock_);
    ReleaseFinished();
    auto it = channels_.find(handle);
    if (it == channels_.end()) {
        SetErrorCode(BASS_ERROR_HANDLE);
        return nullptr;
    }
    return &it->second;
}

void RealSoundLib::Release(std::map<DWORD, Entry>::iterator entry) {
    Channel* channel = entry->second.channel.get();
    if (auto& device = devices_[static_cast<std::size_t>(channel->Device())]) device->Detach(channel);
    channels_.erase(entry);  // joins the channel's threads
}

void RealSoundLib::ReleaseFinished() {
    for (auto it = channels_.begin(); it != channels_.end();) {
        auto next = std::next(it);
        if (it->second.channel->FreedByItself()) Release(it);
        it = next;
    }
}

bool RealSoundLib::BASS_StreamFree(HSTREAM handle) {
    std::lock_guard<std::mutex> guard(tableLock_);
    ReleaseFinished();
    auto it = channels_.find(handle);
    if (it == channels_.end()) {
        SetErrorCode(BASS_ERROR_HANDLE);
        return false;
    }
    Release(it);
    SetErrorCode(BASS_OK);
    return true;
}

int RealSoundLib::BASS_ErrorGetCode() { return LastErrorCode(); }

OutputStatus RealSoundLib::GetOutputStatus(DWORD device) {
    OutputDevice* output = device >= 1 && device <= 10 ? devices_[device].get() : nullptr;
    if (!output) {
        SetErrorCode(BASS_ERROR_INIT);
        return {};
    }
    SetErrorCode(BASS_OK);
    return OutputStatus{output->Lost(), output->Name()};
}

}  // namespace soundlib

namespace soundlib {

DWORD RealSoundLib::GetDefaultDevice() {
    SetErrorCode(BASS_OK);
    return StartAudio() ? static_cast<DWORD>(DefaultOutputNumber()) : 1;
}

std::uint64_t RealSoundLib::ChannelStateChanges() { return SelfStateChanges().load(std::memory_order_acquire); }

std::uint64_t RealSoundLib::OutputStatusChanges() {
    return soundlib::OutputStatusChanges().load(std::memory_order_acquire);
}

int RealSoundLib::WatchChannelStateChanges(std::function<void()> changed) { return WatchSelfStateChanges(std::move(changed)); }

void RealSoundLib::UnwatchChannelStateChanges(int watch) { UnwatchSelfStateChanges(watch); }

int RealSoundLib::WatchOutputStatusChanges(std::function<void()> changed) {
    return soundlib::WatchOutputStatusChanges(std::move(changed));
}

void RealSoundLib::UnwatchOutputStatusChanges(int watch) { soundlib::UnwatchOutputStatusChanges(watch); }

}  // namespace soundlib
