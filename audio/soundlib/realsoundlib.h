#pragma once
// RealSoundLib: the sound library over FFmpeg (files and HTTP streams) and SDL2 (output).
//
// Threads of the library: SDL's audio thread per initialised device (mixing, outputdevice.h),
// the output watch that notices a lost output and opens one again (outputwatch.h),
// one decoder thread per channel (channel.h), one download thread per URL channel and a
// short-lived opener thread per connection (netstream.h). This object is used by the
// user-interface thread, except that a URL may be opened from another thread while that one
// goes on (realsoundlib_streams.cpp), and that a file may be decoded whole (DecodeFile) on any
// thread: that touches neither the table nor a device, only a decoder of its own. Only the user-interface thread changes the device
// table, removes channels or changes the configuration, each under tableLock_; the opening
// thread reads the device and the configuration and adds its channel under it. So the
// user-interface thread reads without the lock, and a channel it found stays valid until it
// removes it. Everything shared with the library's own threads lives behind the locks of the
// objects above.
//
// A channel that ends by itself with BASS_STREAM_AUTOFREE is marked by the mixer; it is
// released (threads joined) at the next call that reaches the channel table, and its handle
// is invalid from that moment on.
#include "audio/soundlib/soundlib.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace soundlib {

class Channel;
class OutputDevice;
class OutputWatch;

class RealSoundLib : public ISoundLib {
public:
    RealSoundLib();
    ~RealSoundLib() override;  // frees every channel and closes every device
    RealSoundLib(const RealSoundLib&) = delete;
    RealSoundLib& operator=(const RealSoundLib&) = delete;

    DWORD BASS_GetVersion() override;
    bool BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid) override;
    bool BASS_SetDevice(DWORD device) override;
    bool BASS_Free() override;
    bool BASS_Update() override;
    const char* BASS_GetDeviceDescription(DWORD device) override;

    DWORD BASS_SetConfig(DWORD option, DWORD value) override;
    bool BASS_SetConfigPtr(DWORD option, const char* value) override;

    HSTREAM BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;
    HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) override;
    HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) override;
    HSTREAM BASS_AAC_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) override;
    bool BASS_StreamFree(HSTREAM handle) override;

    bool BASS_ChannelPlay(DWORD handle, bool restart) override;
    bool BASS_ChannelStop(DWORD handle) override;
    DWORD BASS_ChannelIsActive(DWORD handle) override;
    bool BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) override;
    bool BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) override;
    bool BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) override;
    DWORD BASS_ChannelIsSliding(DWORD handle) override;
    bool BASS_ChannelSetFlags(DWORD handle, DWORD flags) override;
    bool BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) override;
    QWORD BASS_ChannelGetLength(DWORD handle) override;
    QWORD BASS_ChannelGetPosition(DWORD handle) override;
    bool BASS_ChannelSetPosition(DWORD handle, QWORD pos) override;
    float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override;
    QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) override;
    DWORD BASS_ChannelGetLevel(DWORD handle) override;
    DWORD BASS_ChannelGetDecodedPeak(DWORD handle) override;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    bool BASS_ChannelSetGain(DWORD handle, float db) override;
    bool BASS_ChannelSlideDuck(DWORD handle, float db, DWORD ms) override;
    bool BASS_ChannelSetDecodedTap(DWORD handle, DecodedTap tap) override;
    bool BASS_ChannelSetWakeWatch(DWORD handle, DWORD fillPercent, DWORD quietPeak, Wake wake) override;
    DWORD BASS_StreamGetFilePosition(DWORD handle, DWORD mode) override;

    int BASS_ErrorGetCode() override;

    OutputStatus GetOutputStatus(DWORD device) override;
    DWORD GetDefaultDevice() override;
    int DecodeFile(const char* path, int rate, const DecodedSink& sink) override;
    std::uint64_t ChannelStateChanges() override;
    std::uint64_t OutputStatusChanges() override;
    int WatchChannelStateChanges(std::function<void()> changed) override;
    void UnwatchChannelStateChanges(int watch) override;
    int WatchOutputStatusChanges(std::function<void()> changed) override;
    void UnwatchOutputStatusChanges(int watch) override;

    // Beyond the 2.3 calls: the certificate authorities that HTTPS stations are checked
    // against, as a PEM file; empty (the default) for the system's own.
    void SetTrustedAuthorities(const std::string& pemFile);

private:
    struct Entry {
        std::unique_ptr<Channel> channel;
        DWORD flags = 0;
    };

    bool StartAudio();
    OutputDevice* CurrentDevice();  // sets code 8 when the selected device is not initialised
    HSTREAM CreateFile(const char* file, DWORD flags);
    HSTREAM CreateUrl(const char* url, DWORD flags, bool aac);
    HSTREAM Register(std::unique_ptr<Channel> channel, DWORD flags);  // with tableLock_ held
    Entry* Find(DWORD handle);  // sets code 5 when there is no such channel
    void Release(std::map<DWORD, Entry>::iterator entry);  // with tableLock_ held
    void ReleaseFinished();                                 // with tableLock_ held
    void FreeDevice(int device);

    std::mutex tableLock_;
    bool audioStarted_ = false;
    std::unique_ptr<OutputWatch> watch_;  // from the first start of SDL's audio
    std::array<std::unique_ptr<OutputDevice>, 11> devices_;  // index = device number
    int current_ = 0;
    std::map<DWORD, Entry> channels_;
    DWORD nextHandle_ = 1;
    std::string description_;

    DWORD bufferMs_ = 500;
    DWORD netTimeoutMs_ = 5000;
    DWORD netBufferMs_ = 5000;
    const char* proxy_ = nullptr;
    std::string authorities_;
};

}  // namespace soundlib
