#pragma once
// Dead air: a connected stream whose encoder sends silence keeps its buffer full, so the buffer
// alone reads it as a good stream. The connection monitor feeds this watch the stream's
// decoded peak at each tick (measured before the volume, so a stream held silent behind a
// local track is measured too) and asks how long the sound has stayed under the threshold.
// Times are the program clock's milliseconds; silence is summed over the readings' spans.
#include <QtGlobal>

#include <cstdint>

class TDeadAirWatch {
public:
    // A new stream plays from `nowMs`. Below `thresholdDb` (dBFS, of the peak) the sound counts
    // as silence; `seconds` of it give the stream up, 0 switches the watch off.
    void Connected(qint64 nowMs, std::int32_t thresholdDb, std::int32_t seconds);
    // One reading: the loudest sample since the previous one, 0..32768; negative for none.
    void Feed(qint64 nowMs, int peak);
    // Up to `nowMs` nothing went out at all (the sound output lost): that is not the stream's
    // silence, nor its sound; the count stands where it was.
    void Unheard(qint64 nowMs);

    // Silent for the whole duration up to the last reading: the playing stream is given up.
    bool Silent() const;
    // The rule at the end of a local track for the stream held behind it: silent for the whole
    // duration, or for all its time since it connected when that is shorter and at least 10 s.
    bool SilentWhileHeld() const;

    // A loud reading would change nothing but the time of the last reading: the watch is off,
    // or the last reading was sound.
    bool Resting() const { return !givenUp_ && (!On() || (heard_ && quietMs_ == 0)); }
    // The lowest peak that counts as sound; 0 while the watch is off.
    int SoundFrom() const;

    // The stream was given up for its silence and is fading out.
    bool GivenUp() const { return givenUp_; }
    void GiveUp() { givenUp_ = true; }

private:
    bool On() const { return durationMs_ > 0 && lastReading_ >= 0; }
    double limit_ = 0;         // peak under this is silence
    qint64 durationMs_ = 0;
    qint64 lastReading_ = -1;
    qint64 quietMs_ = 0;       // silence in a row, summed over the readings' spans
    bool heard_ = false;       // sound since the connection
    bool givenUp_ = false;
};
