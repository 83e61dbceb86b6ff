#pragma once
// One local track played on the real sound library through a PulseAudio server of its own,
// whose server is killed and started again `gapMs` later; measured from the sink's monitor.
// The track tells its own position: its left channel is a ramp from the lowest to the highest
// sample value over the whole track, its right channel a 1 kHz tone that shows it is heard.
#include <string>

namespace audiotest {

struct GapRun {
    bool started = false;         // the track was heard before the loss
    double noticedMs = -1;        // from the kill to the library reporting the output lost
    bool positionHeld = false;    // the position stood still while the output was lost
    bool levelsSilent = false;    // and the levels read 0
    double reopenedSeconds = -1;  // from the new server answering to the library's output open
    // From the new server answering to sound in the sink's recording. A null sink's monitor
    // starts delivering about 2 s after its recorder connects (its block length), so this is
    // never below that; a fresh open reaches the recording in ~20 ms once it runs.
    double soundBackSeconds = -1;
    double positionErrorMs = 0;   // first source ms heard after the gap minus last heard before
    bool lostAfter = true;        // the library's report once sound was back
    std::string nameAfter;
};

GapRun RunServerGap(int gapMs);

}  // namespace audiotest
