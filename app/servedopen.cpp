#include "app/servedopen.h"

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <thread>

using namespace soundlib;

HSTREAM ServedOpenSoundLib::OpenAway(const std::function<HSTREAM()>& open) {
    openCode_.reset();
    HSTREAM handle = 0;
    int code = BASS_OK;
    std::exception_ptr error;
    QEventLoop loop;
    std::thread opener([&] {
        try {
            handle = open();
            code = lib_.BASS_ErrorGetCode();  // the library keeps one code per thread
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // At once, unless the program was told to end meanwhile (that leaves every local loop):
    // then the open is waited for here, at most the network time-out.
    opener.join();
    if (error) std::rethrow_exception(error);
    openCode_ = code;
    return handle;
}

HSTREAM ServedOpenSoundLib::BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) {
    return OpenAway([&] { return lib_.BASS_StreamCreateURL(url, offset, flags, proc, user); });
}

HSTREAM ServedOpenSoundLib::BASS_AAC_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) {
    return OpenAway([&] { return lib_.BASS_AAC_StreamCreateURL(url, offset, flags, proc, user); });
}

int ServedOpenSoundLib::BASS_ErrorGetCode() { return openCode_ ? *openCode_ : lib_.BASS_ErrorGetCode(); }

DWORD ServedOpenSoundLib::BASS_GetVersion() { return Next().BASS_GetVersion(); }
bool ServedOpenSoundLib::BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid) {
    return Next().BASS_Init(device, freq, flags, win, clsid);
}
bool ServedOpenSoundLib::BASS_SetDevice(DWORD device) { return Next().BASS_SetDevice(device); }
bool ServedOpenSoundLib::BASS_Free() { return Next().BASS_Free(); }
bool ServedOpenSoundLib::BASS_Update() { return Next().BASS_Update(); }
const char* ServedOpenSoundLib::BASS_GetDeviceDescription(DWORD device) { return Next().BASS_GetDeviceDescription(device); }
DWORD ServedOpenSoundLib::BASS_SetConfig(DWORD option, DWORD value) { return Next().BASS_SetConfig(option, value); }
bool ServedOpenSoundLib::BASS_SetConfigPtr(DWORD option, const char* value) { return Next().BASS_SetConfigPtr(option, value); }
HSTREAM ServedOpenSoundLib::BASS_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) {
    return Next().BASS_StreamCreateFile(mem, file, offset, length, flags);
}
HSTREAM ServedOpenSoundLib::BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD offset, QWORD length, DWORD flags) {
    return Next().BASS_WMA_StreamCreateFile(mem, file, offset, length, flags);
}
bool ServedOpenSoundLib::BASS_StreamFree(HSTREAM handle) { return Next().BASS_StreamFree(handle); }
bool ServedOpenSoundLib::BASS_ChannelPlay(DWORD handle, bool restart) { return Next().BASS_ChannelPlay(handle, restart); }
bool ServedOpenSoundLib::BASS_ChannelStop(DWORD handle) { return Next().BASS_ChannelStop(handle); }
DWORD ServedOpenSoundLib::BASS_ChannelIsActive(DWORD handle) { return Next().BASS_ChannelIsActive(handle); }
bool ServedOpenSoundLib::BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    return Next().BASS_ChannelGetAttributes(handle, freq, volume, pan);
}
bool ServedOpenSoundLib::BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    return Next().BASS_ChannelSetAttributes(handle, freq, volume, pan);
}
bool ServedOpenSoundLib::BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) {
    return Next().BASS_ChannelSlideAttributes(handle, freq, volume, pan, time);
}
DWORD ServedOpenSoundLib::BASS_ChannelIsSliding(DWORD handle) { return Next().BASS_ChannelIsSliding(handle); }
bool ServedOpenSoundLib::BASS_ChannelSetFlags(DWORD handle, DWORD flags) { return Next().BASS_ChannelSetFlags(handle, flags); }
bool ServedOpenSoundLib::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) { return Next().BASS_ChannelGetInfo(handle, info); }
QWORD ServedOpenSoundLib::BASS_ChannelGetLength(DWORD handle) { return Next().BASS_ChannelGetLength(handle); }
QWORD ServedOpenSoundLib::BASS_ChannelGetPosition(DWORD handle) { return Next().BASS_ChannelGetPosition(handle); }
bool ServedOpenSoundLib::BASS_ChannelSetPosition(DWORD handle, QWORD pos) { return Next().BASS_ChannelSetPosition(handle, pos); }
float ServedOpenSoundLib::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) { return Next().BASS_ChannelBytes2Seconds(handle, pos); }
QWORD ServedOpenSoundLib::BASS_ChannelSeconds2Bytes(DWORD handle, float pos) { return Next().BASS_ChannelSeconds2Bytes(handle, pos); }
DWORD ServedOpenSoundLib::BASS_ChannelGetLevel(DWORD handle) { return Next().BASS_ChannelGetLevel(handle); }
DWORD ServedOpenSoundLib::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return Next().BASS_ChannelGetData(handle, buffer, length);
}
DWORD ServedOpenSoundLib::BASS_StreamGetFilePosition(DWORD handle, DWORD mode) { return Next().BASS_StreamGetFilePosition(handle, mode); }
DWORD ServedOpenSoundLib::BASS_ChannelGetDecodedPeak(DWORD handle) { return Next().BASS_ChannelGetDecodedPeak(handle); }
OutputStatus ServedOpenSoundLib::GetOutputStatus(DWORD device) { return Next().GetOutputStatus(device); }
DWORD ServedOpenSoundLib::GetDefaultDevice() { return Next().GetDefaultDevice(); }
