#include "tests/support/fakesoundlib.h"

#include <cmath>
#include <cstring>
#include <utility>

using namespace soundlib;

namespace {
std::string Text(const char* s) { return s ? std::string(s) : std::string("(null)"); }
}  // namespace

FakeSoundLib::FakeSoundLib() { deviceDescriptions[1] = "Fake output"; }

FakeSoundLib::Channel* FakeSoundLib::Find(HSTREAM handle) {
    for (auto& c : channels)
        if (c.handle == handle) return &c;
    return nullptr;
}

FakeSoundLib::Channel* FakeSoundLib::Last() { return channels.empty() ? nullptr : &channels.back(); }

int FakeSoundLib::CountCalls(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

void FakeSoundLib::EndChannel(HSTREAM h) {
    if (Channel* c = Find(h)) {
        c->active = BASS_ACTIVE_STOPPED;
        c->sliding = false;
        if (c->flags & BASS_STREAM_AUTOFREE) c->freed = true;
    }
}

void FakeSoundLib::StallChannel(HSTREAM h) {
    if (Channel* c = Find(h)) c->active = BASS_ACTIVE_STALLED;
}

void FakeSoundLib::ResumeChannel(HSTREAM h) {
    if (Channel* c = Find(h)) c->active = BASS_ACTIVE_PLAYING;
}

void FakeSoundLib::FinishSlide(HSTREAM h) {
    if (Channel* c = Find(h)) {
        c->volume = 0;
        c->active = BASS_ACTIVE_STOPPED;
        c->sliding = false;
    }
}

void FakeSoundLib::SetLevel(HSTREAM h, int right, int left) {
    if (Channel* c = Find(h)) c->level = (DWORD(right) << 16) | (DWORD(left) & 0xFFFF);
}

void FakeSoundLib::SetFilePositions(HSTREAM h, DWORD current, DWORD download, DWORD end) {
    if (Channel* c = Find(h)) {
        c->filePosCurrent = current;
        c->filePosDownload = download;
        c->filePosEnd = end;
    }
}

void FakeSoundLib::Log(std::string line) { calls.push_back(std::move(line)); }

bool FakeSoundLib::Ok() {
    lastError = BASS_OK;
    return true;
}

FakeSoundLib::Channel* FakeSoundLib::Live(DWORD handle) {
    Channel* c = Find(handle);
    if (!c || c->freed) {
        lastError = BASS_ERROR_HANDLE;
        return nullptr;
    }
    lastError = BASS_OK;
    return c;
}

DWORD FakeSoundLib::BASS_GetVersion() {
    Log("BASS_GetVersion");
    Ok();
    return version;
}

bool FakeSoundLib::BASS_Init(int device, DWORD, DWORD, void*, void*) {
    Log("BASS_Init " + std::to_string(device));
    if (initialisedDevices.count(device)) {
        // One still waiting for its output fails as it did the first time.
        lastError = outputComesLater.count(device) && outputLost[device] ? BASS_ERROR_DRIVER : BASS_ERROR_ALREADY;
        return false;
    }
    if (failInit.count(device)) {
        lastError = initErrorCode;
        return false;
    }
    if (device < 1 || device > 10 || deviceDescriptions[device].empty()) {
        lastError = BASS_ERROR_DEVICE;
        return false;
    }
    initialisedDevices.insert(device);
    selectedDevice = device;
    if (outputComesLater.count(device)) {
        LoseOutput(device);
        lastError = BASS_ERROR_DRIVER;
        return false;
    }
    return Ok();
}

bool FakeSoundLib::BASS_SetDevice(DWORD device) {
    Log("BASS_SetDevice " + std::to_string(device));
    if (!initialisedDevices.count(int(device))) {
        lastError = BASS_ERROR_INIT;
        return false;
    }
    selectedDevice = int(device);
    return Ok();
}

bool FakeSoundLib::BASS_Free() {
    Log("BASS_Free");
    if (!initialisedDevices.count(selectedDevice)) {
        lastError = BASS_ERROR_INIT;
        return false;
    }
    initialisedDevices.erase(selectedDevice);
    for (auto& c : channels)
        if (c.device == selectedDevice) {
            c.freed = true;
            c.active = BASS_ACTIVE_STOPPED;
        }
    return Ok();
}

bool FakeSoundLib::BASS_Update() {
    Log("BASS_Update");
    return Ok();
}

const char* FakeSoundLib::BASS_GetDeviceDescription(DWORD device) {
    Log("BASS_GetDeviceDescription " + std::to_string(device));
    if (device < 1 || device > 10 || deviceDescriptions[device].empty()) {
        lastError = BASS_ERROR_DEVICE;
        return nullptr;
    }
    Ok();
    return deviceDescriptions[device].c_str();
}

DWORD FakeSoundLib::BASS_SetConfig(DWORD option, DWORD value) {
    Log("BASS_SetConfig " + std::to_string(option) + " " + std::to_string(value));
    const auto it = config.find(option);
    const DWORD previous = it == config.end() ? 0 : it->second;
    config[option] = value;
    Ok();
    return previous;
}

bool FakeSoundLib::BASS_SetConfigPtr(DWORD option, const char* value) {
    Log("BASS_SetConfigPtr " + std::to_string(option) + " " + Text(value));
    if (option != BASS_CONFIG_NET_PROXY) {
        lastError = BASS_ERROR_ILLPARAM;
        return false;
    }
    proxy = value ? std::optional<std::string>(value) : std::nullopt;
    return Ok();
}

const int* FakeSoundLib::ScriptedCreateError(const std::string& source) const {
    auto it = createError.find(source);
    if (it == createError.end()) it = createError.find("*");
    return it == createError.end() ? nullptr : &it->second;
}

HSTREAM FakeSoundLib::CreateFile(const char* file, DWORD flags, bool wma) {
    const std::string source = file ? file : "";
    Log(std::string(wma ? "BASS_WMA_StreamCreateFile " : "BASS_StreamCreateFile ") + source + " " +
        std::to_string(flags));
    const int* error = ScriptedCreateError(source);
    if (error && !(failFirstAttemptOnly && (flags & BASS_SAMPLE_SOFTWARE))) {
        lastError = *error;
        return 0;
    }
    Channel c;
    c.source = source;
    c.wma = wma;
    c.flags = flags;
    return AddChannel(c);
}

HSTREAM FakeSoundLib::CreateUrl(const char* url, DWORD flags, bool aac) {
    const std::string source = url ? url : "";
    Log(std::string(aac ? "BASS_AAC_StreamCreateURL " : "BASS_StreamCreateURL ") + source + " " +
        std::to_string(flags));
    if (const int* error = ScriptedCreateError(source)) {
        lastError = *error;
        return 0;
    }
    Channel c;
    c.source = source;
    c.isUrl = true;
    c.aac = aac;
    c.flags = flags;
    c.length = BASS_QWORD_ERROR;
    c.filePosEnd = 160000;
    c.filePosDownload = 160000;
    return AddChannel(c);
}

HSTREAM FakeSoundLib::AddChannel(Channel c) {
    c.handle = next_++;
    c.device = selectedDevice;
    channels.push_back(c);
    if (onCreate) onCreate(channels.back());
    Ok();
    return channels.back().handle;
}

HSTREAM FakeSoundLib::BASS_StreamCreateFile(bool, const char* file, QWORD, QWORD, DWORD flags) {
    return CreateFile(file, flags, false);
}

HSTREAM FakeSoundLib::BASS_WMA_StreamCreateFile(bool, const char* file, QWORD, QWORD, DWORD flags) {
    return CreateFile(file, flags, true);
}

HSTREAM FakeSoundLib::BASS_StreamCreateURL(const char* url, DWORD, DWORD flags, void*, DWORD) {
    return CreateUrl(url, flags, false);
}

HSTREAM FakeSoundLib::BASS_AAC_StreamCreateURL(const char* url, DWORD, DWORD flags, void*, DWORD) {
    return CreateUrl(url, flags, true);
}

bool FakeSoundLib::BASS_StreamFree(HSTREAM handle) {
    Log("BASS_StreamFree " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return false;
    if (c->freeFailures > 0) {
        --c->freeFailures;
        lastError = BASS_ERROR_UNKNOWN;
        return false;
    }
    c->freed = true;
    c->active = BASS_ACTIVE_STOPPED;
    c->sliding = false;
    return true;
}

bool FakeSoundLib::BASS_ChannelPlay(DWORD handle, bool restart) {
    Log("BASS_ChannelPlay " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return false;
    if (playError != 0) {
        lastError = playError;
        playError = 0;
        return false;
    }
    if (restart) c->position = 0;
    c->active = BASS_ACTIVE_PLAYING;
    return true;
}

bool FakeSoundLib::BASS_ChannelStop(DWORD handle) {
    Log("BASS_ChannelStop " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return false;
    c->active = BASS_ACTIVE_STOPPED;
    c->sliding = false;
    return true;
}

DWORD FakeSoundLib::BASS_ChannelIsActive(DWORD handle) {
    Log("BASS_ChannelIsActive " + std::to_string(handle));
    Channel* c = Live(handle);
    return c ? c->active : BASS_ACTIVE_STOPPED;
}

bool FakeSoundLib::BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    Log("BASS_ChannelGetAttributes " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return false;
    if (freq) *freq = c->freq;
    if (volume) *volume = c->volume;
    if (pan) *pan = c->pan;
    return true;
}

bool FakeSoundLib::BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    Log("BASS_ChannelSetAttributes " + std::to_string(handle) + " " + std::to_string(freq) + " " +
        std::to_string(volume) + " " + std::to_string(pan));
    Channel* c = Live(handle);
    if (!c) return false;
    if (volume > 100 || pan > 100 || (pan < -100 && pan != -101)) {
        lastError = BASS_ERROR_ILLPARAM;
        return false;
    }
    if (freq != -1) c->freq = DWORD(freq);
    if (volume != -1) c->volume = DWORD(volume);
    if (pan != -101) c->pan = pan;
    return true;
}

bool FakeSoundLib::BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) {
    Log("BASS_ChannelSlideAttributes " + std::to_string(handle) + " " + std::to_string(freq) + " " +
        std::to_string(volume) + " " + std::to_string(pan) + " " + std::to_string(time));
    Channel* c = Live(handle);
    if (!c) return false;
    if (volume == -2 || volume >= 0) {
        c->sliding = true;
        c->slideTime = time;
    }
    return true;
}

DWORD FakeSoundLib::BASS_ChannelIsSliding(DWORD handle) {
    Log("BASS_ChannelIsSliding " + std::to_string(handle));
    Channel* c = Live(handle);
    return c && c->sliding ? BASS_SLIDE_VOL : 0;
}

bool FakeSoundLib::BASS_ChannelSetFlags(DWORD handle, DWORD flags) {
    Log("BASS_ChannelSetFlags " + std::to_string(handle) + " " + std::to_string(flags));
    Channel* c = Live(handle);
    if (!c) return false;
    c->loopFlags = flags;
    return true;
}

bool FakeSoundLib::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    Log("BASS_ChannelGetInfo " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return false;
    if (info) {
        info->freq = 44100;
        info->chans = 2;
        info->flags = c->flags | (c->eightBits ? BASS_SAMPLE_8BITS : 0);
        info->ctype = 0;
        info->origres = 0;
    }
    return true;
}

QWORD FakeSoundLib::BASS_ChannelGetLength(DWORD handle) {
    Log("BASS_ChannelGetLength " + std::to_string(handle));
    Channel* c = Live(handle);
    return c ? c->length : BASS_QWORD_ERROR;
}

QWORD FakeSoundLib::BASS_ChannelGetPosition(DWORD handle) {
    Log("BASS_ChannelGetPosition " + std::to_string(handle));
    Channel* c = Live(handle);
    return c ? c->position : BASS_QWORD_ERROR;
}

bool FakeSoundLib::BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    Log("BASS_ChannelSetPosition " + std::to_string(handle) + " " + std::to_string(pos));
    Channel* c = Live(handle);
    if (!c) return false;
    if (c->length != BASS_QWORD_ERROR && pos > c->length) {
        lastError = BASS_ERROR_POSITION;
        return false;
    }
    c->position = pos;
    return true;
}

float FakeSoundLib::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    Log("BASS_ChannelBytes2Seconds " + std::to_string(handle) + " " + std::to_string(pos));
    Channel* c = Live(handle);
    return c ? float(double(pos) / c->bytesPerSecond) : -1.0f;
}

QWORD FakeSoundLib::BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    Log("BASS_ChannelSeconds2Bytes " + std::to_string(handle) + " " + std::to_string(pos));
    Channel* c = Live(handle);
    return c ? QWORD(double(pos) * c->bytesPerSecond) : BASS_QWORD_ERROR;
}

DWORD FakeSoundLib::BASS_ChannelGetLevel(DWORD handle) {
    Log("BASS_ChannelGetLevel " + std::to_string(handle));
    Channel* c = Live(handle);
    return c ? c->level : BASS_DWORD_ERROR;
}

bool FakeSoundLib::BASS_ChannelSetWakeWatch(DWORD handle, DWORD fillPercent, DWORD quietPeak, Wake wake) {
    if (!wakeWatches) return false;
    Channel* c = Live(handle);
    if (!c) return false;
    c->wake = std::move(wake);
    c->wakeFill = fillPercent;
    c->wakeQuietPeak = quietPeak;
    return Ok();
}

void FakeSoundLib::FireWakeWatch(HSTREAM h) {
    Channel* c = Find(h);
    if (!c || !c->wake) return;
    std::exchange(c->wake, nullptr)();
}

DWORD FakeSoundLib::BASS_ChannelGetDecodedPeak(DWORD handle) {
    Log("BASS_ChannelGetDecodedPeak " + std::to_string(handle));
    Channel* c = Live(handle);
    if (!c) return BASS_DWORD_ERROR;
    return outputLost[c->device] ? 0 : c->decodedPeak;  // nothing goes out to be measured
}

bool FakeSoundLib::BASS_ChannelSlideDuck(DWORD handle, float db, DWORD ms) {
    Log("BASS_ChannelSlideDuck " + std::to_string(handle) + " " + std::to_string(int(std::lround(db))) + " " + std::to_string(ms));
    Channel* c = Live(handle);
    if (!c) return false;
    c->duckDb = db;
    return Ok();
}

DWORD FakeSoundLib::BASS_ChannelGetData(DWORD handle, void*, DWORD length) {
    Log("BASS_ChannelGetData " + std::to_string(handle) + " " + std::to_string(length));
    Channel* c = Live(handle);
    return c ? c->dataResult : BASS_DWORD_ERROR;
}

DWORD FakeSoundLib::BASS_StreamGetFilePosition(DWORD handle, DWORD mode) {
    Log("BASS_StreamGetFilePosition " + std::to_string(handle) + " " + std::to_string(mode));
    Channel* c = Live(handle);
    if (!c) return BASS_DWORD_ERROR;
    switch (mode) {
    case BASS_FILEPOS_CURRENT: return c->filePosCurrent;
    case BASS_FILEPOS_DOWNLOAD: return c->filePosDownload;
    case BASS_FILEPOS_END: return c->filePosEnd;
    default: lastError = BASS_ERROR_ILLPARAM; return BASS_DWORD_ERROR;
    }
}

int FakeSoundLib::BASS_ErrorGetCode() { return lastError; }

soundlib::OutputStatus FakeSoundLib::GetOutputStatus(DWORD device) {
    const int n = static_cast<int>(device);
    if (!initialisedDevices.count(n)) {
        lastError = BASS_ERROR_INIT;
        return {};
    }
    lastError = BASS_OK;
    auto named = outputName.find(n);
    return {outputLost[n], named != outputName.end() ? named->second : deviceDescriptions[device]};
}

void FakeSoundLib::LoseOutput(int device) {
    outputLost[device] = true;
    ++outputChanges_;
}

void FakeSoundLib::RestoreOutput(int device, const std::string& name) {
    outputLost[device] = false;
    outputName[device] = name;
    ++outputChanges_;
}
