#pragma once
// ServedOpenSoundLib: the sound library as the stream player sees it. Every call goes to the
// library the program was given, except the opening of a URL: that one runs on a thread of its
// own while this (user-interface) thread waits for it in a local event loop, so the window
// repaints, the threaded timers and the ramps keep their pace and a local track that ends
// meanwhile is followed by the next one. The open's error code is kept for the reader that
// asks right after it, as it would be had the open run here.
//
// Threads: the opening thread makes only that one call (and reads its error code) on the
// library; this object's own state is this thread's alone. Whoever calls Load on the stream
// player must expect other handlers to run inside it, as inside a message box.
#include "audio/soundlib/soundlib.h"

#include <functional>
#include <optional>

class ServedOpenSoundLib : public soundlib::ISoundLib {
public:
    explicit ServedOpenSoundLib(soundlib::ISoundLib& lib) : lib_(lib) {}

    soundlib::DWORD BASS_GetVersion() override;
    bool BASS_Init(int device, soundlib::DWORD freq, soundlib::DWORD flags, void* win, void* clsid) override;
    bool BASS_SetDevice(soundlib::DWORD device) override;
    bool BASS_Free() override;
    bool BASS_Update() override;
    const char* BASS_GetDeviceDescription(soundlib::DWORD device) override;
    soundlib::DWORD BASS_SetConfig(soundlib::DWORD option, soundlib::DWORD value) override;
    bool BASS_SetConfigPtr(soundlib::DWORD option, const char* value) override;
    soundlib::HSTREAM BASS_StreamCreateFile(bool mem, const char* file, soundlib::QWORD offset, soundlib::QWORD length,
                                            soundlib::DWORD flags) override;
    soundlib::HSTREAM BASS_WMA_StreamCreateFile(bool mem, const char* file, soundlib::QWORD offset, soundlib::QWORD length,
                                                soundlib::DWORD flags) override;
    soundlib::HSTREAM BASS_StreamCreateURL(const char* url, soundlib::DWORD offset, soundlib::DWORD flags, void* proc,
                                           soundlib::DWORD user) override;
    soundlib::HSTREAM BASS_AAC_StreamCreateURL(const char* url, soundlib::DWORD offset, soundlib::DWORD flags, void* proc,
                                               soundlib::DWORD user) override;
    bool BASS_StreamFree(soundlib::HSTREAM handle) override;
    bool BASS_ChannelPlay(soundlib::DWORD handle, bool restart) override;
    bool BASS_ChannelStop(soundlib::DWORD handle) override;
    soundlib::DWORD BASS_ChannelIsActive(soundlib::DWORD handle) override;
    bool BASS_ChannelGetAttributes(soundlib::DWORD handle, soundlib::DWORD* freq, soundlib::DWORD* volume, int* pan) override;
    bool BASS_ChannelSetAttributes(soundlib::DWORD handle, int freq, int volume, int pan) override;
    bool BASS_ChannelSlideAttributes(soundlib::DWORD handle, int freq, int volume, int pan, soundlib::DWORD time) override;
    soundlib::DWORD BASS_ChannelIsSliding(soundlib::DWORD handle) override;
    bool BASS_ChannelSetFlags(soundlib::DWORD handle, soundlib::DWORD flags) override;
    bool BASS_ChannelGetInfo(soundlib::DWORD handle, soundlib::BASS_CHANNELINFO* info) override;
    soundlib::QWORD BASS_ChannelGetLength(soundlib::DWORD handle) override;
    soundlib::QWORD BASS_ChannelGetPosition(soundlib::DWORD handle) override;
    bool BASS_ChannelSetPosition(soundlib::DWORD handle, soundlib::QWORD pos) override;
    float BASS_ChannelBytes2Seconds(soundlib::DWORD handle, soundlib::QWORD pos) override;
    soundlib::QWORD BASS_ChannelSeconds2Bytes(soundlib::DWORD handle, float pos) override;
    soundlib::DWORD BASS_ChannelGetLevel(soundlib::DWORD handle) override;
    soundlib::DWORD BASS_ChannelGetData(soundlib::DWORD handle, void* buffer, soundlib::DWORD length) override;
    soundlib::DWORD BASS_StreamGetFilePosition(soundlib::DWORD handle, soundlib::DWORD mode) override;
    int BASS_ErrorGetCode() override;
    soundlib::DWORD BASS_ChannelGetDecodedPeak(soundlib::DWORD handle) override;
    soundlib::OutputStatus GetOutputStatus(soundlib::DWORD device) override;
    soundlib::DWORD GetDefaultDevice() override;
    // Straight to the library, from any thread: the open's error code is not touched.
    std::uint64_t ChannelStateChanges() override { return lib_.ChannelStateChanges(); }
    int WatchChannelStateChanges(std::function<void()> changed) override {
        return lib_.WatchChannelStateChanges(std::move(changed));
    }
    void UnwatchChannelStateChanges(int watch) override { lib_.UnwatchChannelStateChanges(watch); }
    std::uint64_t OutputStatusChanges() override { return lib_.OutputStatusChanges(); }

private:
    // Any call but the open: the open's code is no longer the last one.
    soundlib::ISoundLib& Next() {
        openCode_.reset();
        return lib_;
    }
    soundlib::HSTREAM OpenAway(const std::function<soundlib::HSTREAM()>& open);

    soundlib::ISoundLib& lib_;
    std::optional<int> openCode_;
};
