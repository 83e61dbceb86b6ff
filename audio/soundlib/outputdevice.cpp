#include "audio/soundlib/outputdevice.h"

#include "audio/soundlib/channel.h"
#include "audio/soundlib/soundlib.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

std::optional<std::string> OutputDeviceName(int device) {
    auto name = SdlNameOf(device);
    if (!name) return std::nullopt;
    if (*name) return std::string(*name);
    char* defaultName = nullptr;
    SDL_AudioSpec spec{};
    if (SDL_GetDefaultAudioInfo(&defaultName, &spec, 0) == 0 && defaultName) {
        std::string text = defaultName;
        SDL_free(defaultName);
        return text;
    }
    // Nothing listed and no name given: the default output counts only if it opens.
    SDL_AudioSpec want = WantedSpec();
    SDL_AudioSpec have{};
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return std::nullopt;
    SDL_CloseAudioDevice(id);
    return std::string(kDefaultOutputName);
}

std::unique_ptr<OutputDevice> OutputDevice::Open(int device, int& code) {
    auto name = SdlNameOf(device);
    if (!name) {
        code = BASS_ERROR_DEVICE;
        return nullptr;
    }
    std::unique_ptr<OutputDevice> output(new OutputDevice);
    output->channels_.reserve(64);
    SDL_AudioSpec want = WantedSpec();
    want.callback = &OutputDevice::Callback;
    want.userdata = output.get();
    // Float samples always (SDL converts if the hardware wants another format); the rate and
    // channel count are taken as the device gives them.
    output->id_ = SDL_OpenAudioDevice(*name, 0, &want, &output->spec_,
                                      SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (output->id_ == 0 && *name && device == 1) output->id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &output->spec_,
                                                                                     SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (output->id_ == 0) {
        code = BASS_ERROR_DRIVER;
        return nullptr;
    }
    SDL_PauseAudioDevice(output->id_, 0);
    code = BASS_OK;
    return output;
}

OutputDevice::~OutputDevice() {
    if (id_) SDL_CloseAudioDevice(id_);  // waits for SDL's audio thread
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
