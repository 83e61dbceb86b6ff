// output-recovery [RUNS [GAP_MS]]: RUNS times (5) a local track on a PulseAudio server of its
// own, the server killed and started again GAP_MS (5000) later. Prints each run and the
// medians:
//   output_reopened_s=  seconds from the new server accepting clients to the library's output
//                       open again (a fresh output is heard ~20 ms after that)
//   output_recovery_s=  the same to sound in the sink's recording, bounded below by the
//                       ~2 s a null sink's monitor takes to start delivering
//   position_error_ms=  source position first heard after the gap minus the last heard before
//                       it (positive: that much of the track was not heard)
#include "tests/integration/audio/outputgap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int gapMs = argc > 2 ? std::atoi(argv[2]) : 5000;
    std::vector<double> reopened, back, error;
    for (int i = 0; i < runs; ++i) {
        const audiotest::GapRun run = audiotest::RunServerGap(gapMs);
        std::printf("# run %d: started=%d noticed_ms=%.0f held=%d reopened_s=%.3f sound_back_s=%.3f position_error_ms=%.1f\n",
                    i + 1, run.started, run.noticedMs, run.positionHeld, run.reopenedSeconds, run.soundBackSeconds,
                    run.positionErrorMs);
        if (!run.started || run.soundBackSeconds < 0) {
            std::printf("output_recovery=failed\n");
            return 1;
        }
        reopened.push_back(run.reopenedSeconds);
        back.push_back(run.soundBackSeconds);
        error.push_back(run.positionErrorMs);
    }
    std::printf("output_recovery_gap_ms=%d\noutput_reopened_s=%.3f\noutput_recovery_s=%.3f\nposition_error_ms=%.1f\n",
                gapMs, Median(reopened), Median(back), Median(error));
    return 0;
}
