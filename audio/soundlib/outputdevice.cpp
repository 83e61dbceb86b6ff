#include "audio/soundlib/outputdevice.h"

#include "audio/soundlib/channel.h"
#include "audio/soundlib/outputwatch.h"
#include "audio/soundlib/soundlib.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace soundlib {

namespace {

constexpr char kDefaultOutputName[] = "System audio output device";

SDL_AudioSpec WantedSpec() {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = OutputDevice::kFrames;
    return want;
}

// The name to open (nullptr = the default output), or nothing when there is no such device.
std::optional<const char*> SdlNameOf(int device) {
    if (device < 1 || device > 10) return std::nullopt;
    int count = SDL_GetNumAudioDevices(0);
    if (count > 0) {
        if (device > count) return std::nullopt;
        return SDL_GetAudioDeviceName(device - 1, 0);
    }
    if (device == 1) return static_cast<const char*>(nullptr);
    return std::nullopt;
}

// The default output's name where the driver tells it.
std::optional<std::string> DefaultOutputName() {
    char* defaultName = nullptr;
    SDL_AudioSpec spec{};
    if (SDL_GetDefaultAudioInfo(&defaultName, &spec, 0) != 0 || !defaultName) return std::nullopt;
    std::string text = defaultName;
    SDL_free(defaultName);
    return text;
}

}  // namespace

std::mutex& SdlAudioLock() {
    static std::mutex lock;
    return lock;
}

std::optional<std::string> OutputDeviceName(int device) {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    auto name = SdlNameOf(device);
    if (!name) return std::nullopt;
    if (*name) return std::string(*name);
    if (auto text = DefaultOutputName()) return text;
    // Nothing listed and no name given: the default output counts only if it opens.
    SDL_AudioSpec want = WantedSpec();
    SDL_AudioSpec have{};
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return std::nullopt;
    SDL_CloseAudioDevice(id);
    return std::string(kDefaultOutputName);
}

int DefaultOutputNumber() {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    const auto name = DefaultOutputName();
    const int count = std::min(SDL_GetNumAudioDevices(0), 10);
    for (int i = 0; name && i < count; ++i)
        if (const char* listed = SDL_GetAudioDeviceName(i, 0); listed && *name == listed) return i + 1;
    return 1;
}

std::unique_ptr<OutputDevice> OutputDevice::Open(int device, int& code) {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    auto name = SdlNameOf(device);
    if (!name) {
        code = BASS_ERROR_DEVICE;
        return nullptr;
    }
    std::unique_ptr<OutputDevice> output(new OutputDevice);
    output->channels_.reserve(64);
    output->spec_ = WantedSpec();
    // Float samples always (SDL converts if the hardware wants another format); the rate and
    // channel count are taken as the device gives them.
    constexpr int kAllowed = SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
    SDL_AudioSpec have{};
    const char* opened = *name;
    SDL_AudioDeviceID id = output->OpenSdl(opened, &have, kAllowed);
    if (id == 0 && *name && device == 1) id = output->OpenSdl(opened = nullptr, &have, kAllowed);
    if (id == 0) {
        output->sdlName_ = *name ? *name : "";
        output->name_ = output->sdlName_;
        output->neverOpened_ = true;
        output->MarkLost(Clock::now());
        code = BASS_ERROR_DRIVER;
        return output;
    }
    output->spec_ = have;
    output->sdlName_ = opened ? opened : "";
    output->name_ = opened ? std::string(opened) : DefaultOutputName().value_or(kDefaultOutputName);
    output->id_ = id;
    SDL_PauseAudioDevice(id, 0);
    code = BASS_OK;
    RaiseOutputStatusChanges();
    return output;
}

OutputDevice::~OutputDevice() {
    std::lock_guard<std::mutex> sdl(SdlAudioLock());
    CloseSdl();
    RaiseOutputStatusChanges();
}

std::atomic<std::uint64_t>& OutputStatusChanges() {
    static std::atomic<std::uint64_t> changes{0};
    return changes;
}

namespace {
std::mutex& OutputWatchersLock() {
    static std::mutex lock;
    return lock;
}

std::map<int, std::function<void()>>& OutputWatchers() {
    static std::map<int, std::function<void()>> watchers;
    return watchers;
}
}  // namespace

void RaiseOutputStatusChanges() {
    OutputStatusChanges().fetch_add(1, std::memory_order_release);
    std::lock_guard<std::mutex> guard(OutputWatchersLock());
    for (auto& [watch, changed] : OutputWatchers()) changed();
}

int WatchOutputStatusChanges(std::function<void()> changed) {
    static int last = 0;
    std::lock_guard<std::mutex> guard(OutputWatchersLock());
    OutputWatchers().emplace(++last, std::move(changed));
    return last;
}

void UnwatchOutputStatusChanges(int watch) {
    std::lock_guard<std::mutex> guard(OutputWatchersLock());
    OutputWatchers().erase(watch);
}

SDL_AudioDeviceID OutputDevice::OpenSdl(const char* name, SDL_AudioSpec* have, int allowedChanges) {
    SDL_AudioSpec want = WantedSpec();
    want.freq = spec_.freq;
    want.channels = spec_.channels;
    want.callback = &OutputDevice::Callback;
    want.userdata = this;
    return SDL_OpenAudioDevice(name, 0, &want, have, allowedChanges);
}

std::string OutputDevice::Name() const {
    std::lock_guard<std::mutex> guard(nameLock_);
    return name_;
}

std::string OutputDevice::SdlName() const {
    std::lock_guard<std::mutex> guard(nameLock_);
    return sdlName_;
}

bool OutputDevice::CheckStatus(Clock::time_point now) {
    if (!lost_ && SDL_GetAudioDeviceStatus(id_) != SDL_AUDIO_PLAYING) MarkLost(now);
    return lost_;
}

void OutputDevice::MarkLost(Clock::time_point now) {
    if (lost_) return;
    lostSince_ = now;
    lost_ = true;
    RaiseOutputStatusChanges();
}

void OutputDevice::CloseSdl() {
    SDL_AudioDeviceID id = id_.exchange(0);
    if (id) SDL_CloseAudioDevice(id);  // waits for SDL's audio thread
}

bool OutputDevice::Reopen(bool orDefault) {
    CloseSdl();
    std::string wanted;
    {
        std::lock_guard<std::mutex> guard(nameLock_);
        wanted = sdlName_;
    }
    // The channels hold samples at the first output's rate and layout: a new output is asked
    // for exactly that, and SDL converts to whatever the hardware takes.
    SDL_AudioSpec have{};
    bool byName = !wanted.empty();
    SDL_AudioDeviceID id = OpenSdl(byName ? wanted.c_str() : nullptr, &have, 0);
    if (id == 0 && byName && orDefault) {
        byName = false;
        id = OpenSdl(nullptr, &have, 0);
    }
    if (id == 0) return false;
    {
        std::lock_guard<std::mutex> guard(nameLock_);
        sdlName_ = byName ? wanted : "";
        name_ = byName ? wanted : DefaultOutputName().value_or(kDefaultOutputName);
    }
    id_ = id;
    lost_ = false;
    neverOpened_ = false;
    RaiseOutputStatusChanges();
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void OutputDevice::Attach(Channel* channel) {
    std::lock_guard<std::mutex> guard(lock_);
    channels_.push_back(channel);
}

void OutputDevice::Detach(Channel* channel) {
    std::lock_guard<std::mutex> guard(lock_);
    channels_.erase(std::remove(channels_.begin(), channels_.end(), channel), channels_.end());
}

void SDLCALL OutputDevice::Callback(void* self, Uint8* stream, int length) {
    auto* output = static_cast<OutputDevice*>(self);
    auto* out = reinterpret_cast<float*>(stream);
    const int outChannels = output->spec_.channels;
    const int samples = length / static_cast<int>(sizeof(float));
    const int frames = samples / outChannels;
    std::memset(stream, 0, static_cast<std::size_t>(length));
    // SDL goes on calling a device it has given up, paced by a sleep: what would be mixed then
    // is heard by no one.
    if (output->lost_ || SDL_GetAudioDeviceStatus(output->id_) != SDL_AUDIO_PLAYING) {
        {
            std::lock_guard<std::mutex> guard(output->lock_);
            for (Channel* channel : output->channels_) channel->Silence();
        }
        // The watch sleeps while the outputs play: this is how it hears of the loss.
        if (!output->lost_) OutputWatch::LookNow();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(output->lock_);
        for (Channel* channel : output->channels_) channel->Mix(out, frames, std::min(outChannels, 2));
    }
    if (outChannels > 2) {
        // Mixed as stereo into the first two slots of each frame: spread them out.
        for (int f = frames - 1; f >= 0; --f) {
            float left = out[f * 2], right = out[f * 2 + 1];
            float* frame = out + static_cast<std::ptrdiff_t>(f) * outChannels;
            std::fill(frame, frame + outChannels, 0.0f);
            frame[0] = left;
            frame[1] = right;
        }
    }
    for (int i = 0; i < samples; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

}  // namespace soundlib
