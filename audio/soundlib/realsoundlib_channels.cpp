// The calls on one channel: play and stop, attributes and slides, lengths and positions,
// levels, data and file positions.
#include "audio/soundlib/realsoundlib.h"

#include "audio/soundlib/channel.h"
#include "audio/soundlib/errorcode.h"

#include <cmath>

namespace soundlib {

namespace {
template <typename T>
T Ok(T value) {
    SetErrorCode(BASS_OK);
    return value;
}
template <typename T>
T Fail(int code, T value) {
    SetErrorCode(code);
    return value;
}
}  // namespace

bool RealSoundLib::BASS_ChannelPlay(DWORD handle, bool restart) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    entry->channel->Play(restart);
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelStop(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    entry->channel->Stop();
    return Ok(true);
}

DWORD RealSoundLib::BASS_ChannelIsActive(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_ACTIVE_STOPPED;
    const DWORD state = entry->channel->Active();
    // The mixer may end an auto-freed channel between the look-up and the read. A caller that
    // sees it stopped must then find its handle gone, as it would a moment later: looked up
    // again, it is released and the error says so.
    if (state == BASS_ACTIVE_STOPPED && entry->channel->FreedByItself() && !Find(handle)) return BASS_ACTIVE_STOPPED;
    return Ok(state);
}

bool RealSoundLib::BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (freq) *freq = static_cast<DWORD>(entry->channel->Rate());
    if (volume) *volume = static_cast<DWORD>(entry->channel->Volume());
    if (pan) *pan = entry->channel->Pan();
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    Channel& channel = *entry->channel;
    if (volume < -1 || volume > 100 || pan < -101 || pan > 100) return Fail(BASS_ERROR_ILLPARAM, false);
    // The playback rate stays the source's own: only its own value (or "leave") is accepted.
    if (freq != -1 && freq != 0 && freq != channel.Rate()) return Fail(BASS_ERROR_NOTAVAIL, false);
    if (volume >= 0) channel.SetVolume(volume);
    if (pan >= -100) channel.SetPan(pan);
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    Channel& channel = *entry->channel;
    if (volume < -2 || volume > 100 || pan < -101 || pan > 100) return Fail(BASS_ERROR_ILLPARAM, false);
    if (freq != -1 && freq != 0 && freq != channel.Rate()) return Fail(BASS_ERROR_NOTAVAIL, false);
    channel.Slide(volume, pan, time);
    return Ok(true);
}

DWORD RealSoundLib::BASS_ChannelIsSliding(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return 0;
    return Ok(entry->channel->Sliding());
}

bool RealSoundLib::BASS_ChannelSetFlags(DWORD handle, DWORD flags) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    entry->channel->SetLoop((flags & BASS_SAMPLE_LOOP) != 0);
    entry->flags = (entry->flags & ~BASS_SAMPLE_LOOP) | (flags & BASS_SAMPLE_LOOP);
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (!info) return Fail(BASS_ERROR_ILLPARAM, false);
    const Channel& channel = *entry->channel;
    info->freq = static_cast<DWORD>(channel.Rate());
    info->chans = static_cast<DWORD>(channel.Channels());
    info->flags = entry->flags | (channel.EightBit() ? BASS_SAMPLE_8BITS : 0) | (channel.Channels() == 1 ? BASS_SAMPLE_MONO : 0);
    info->ctype = 0;
    info->origres = channel.EightBit() ? 8 : 16;
    return Ok(true);
}

QWORD RealSoundLib::BASS_ChannelGetLength(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_QWORD_ERROR;
    QWORD length = entry->channel->LengthBytes();
    if (length == BASS_QWORD_ERROR) return Fail(BASS_ERROR_NOTAVAIL, length);
    return Ok(length);
}

QWORD RealSoundLib::BASS_ChannelGetPosition(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_QWORD_ERROR;
    return Ok(entry->channel->PositionBytes());
}

bool RealSoundLib::BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (entry->channel->IsStream()) return Fail(BASS_ERROR_NOTFILE, false);
    if (!entry->channel->SetPositionBytes(pos)) return Fail(BASS_ERROR_POSITION, false);
    return Ok(true);
}

float RealSoundLib::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    Entry* entry = Find(handle);
    if (!entry) return -1.0f;
    const Channel& channel = *entry->channel;
    double bytesPerSecond = static_cast<double>(channel.Rate()) * channel.BytesPerFrame();
    return Ok(static_cast<float>(static_cast<double>(pos) / bytesPerSecond));
}

QWORD RealSoundLib::BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_QWORD_ERROR;
    if (!(pos >= 0.0f)) return Ok(QWORD{0});
    const Channel& channel = *entry->channel;
    auto frames = static_cast<QWORD>(std::floor(static_cast<double>(pos) * channel.Rate()));
    return Ok(frames * static_cast<QWORD>(channel.BytesPerFrame()));
}

DWORD RealSoundLib::BASS_ChannelGetLevel(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_DWORD_ERROR;
    if (entry->channel->Active() == BASS_ACTIVE_STOPPED) return Fail(BASS_ERROR_NOPLAY, BASS_DWORD_ERROR);
    return Ok(entry->channel->Level());
}

DWORD RealSoundLib::BASS_ChannelGetDecodedPeak(DWORD handle) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_DWORD_ERROR;
    return Ok(entry->channel->TakeDecodedPeak());
}

DWORD RealSoundLib::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_DWORD_ERROR;
    // Only sample data: the high bit asks for a spectrum, which this library does not compute.
    if (!buffer || (length & 0x80000000u)) return Fail(BASS_ERROR_ILLPARAM, BASS_DWORD_ERROR);
    return Ok(entry->channel->Data(buffer, length));
}

bool RealSoundLib::BASS_ChannelSetGain(DWORD handle, float db) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (!(db >= -60.0f && db <= 24.0f)) return Fail(BASS_ERROR_ILLPARAM, false);
    entry->channel->SetGain(std::pow(10.0f, db / 20.0f));
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelSlideDuck(DWORD handle, float db, DWORD ms) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (!(db >= -60.0f && db <= 0.0f)) return Fail(BASS_ERROR_ILLPARAM, false);
    entry->channel->SlideDuck(std::pow(10.0f, db / 20.0f), ms);
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelSetDecodedTap(DWORD handle, DecodedTap tap) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    entry->channel->SetDecodedTap(std::move(tap));
    return Ok(true);
}

bool RealSoundLib::BASS_ChannelSetWakeWatch(DWORD handle, DWORD fillPercent, DWORD quietPeak, Wake wake) {
    Entry* entry = Find(handle);
    if (!entry) return false;
    if (!entry->channel->IsStream()) return Fail(BASS_ERROR_NOTAVAIL, false);
    entry->channel->SetWakeWatch(fillPercent, quietPeak, std::move(wake));
    return Ok(true);
}

DWORD RealSoundLib::BASS_StreamGetFilePosition(DWORD handle, DWORD mode) {
    Entry* entry = Find(handle);
    if (!entry) return BASS_DWORD_ERROR;
    DWORD position = entry->channel->FilePosition(mode);
    if (position == BASS_DWORD_ERROR) return Fail(BASS_ERROR_ILLPARAM, position);
    return Ok(position);
}

}  // namespace soundlib
