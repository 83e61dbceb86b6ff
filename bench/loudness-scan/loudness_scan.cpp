// loudness-scan: what measuring a music folder costs, and what it does to the player meanwhile.
// A folder of LOUDNESS_FILES (200) MP3 files of 3 minutes is measured by the program's own
// loudness unit on the real sound library, while a player plays short tracks one after the
// other to SDL's disk driver (paced in real time, recorded). The same playing runs first
// without a scan, for LOUDNESS_WINDOW_S (30) seconds each.
//
// Prints:
//   scan_files, scan_s                 files measured and the seconds until all were
//   scan_cpu_s_per_file                CPU seconds of the measuring thread per file
//   player_cpu_s_without, player_cpu_s_with
//                                      CPU seconds of every other thread over the window
//   process_cpu_s_with                 the whole process over the same window, scan included
//   tick_late_max_ms_without/_with     the worst lateness of a 100 ms timer on the event loop
//   handover_gap_max_ms_without/_with  the longest silence between two tracks in the recording
// Then, on the eight different files, on this thread:
//   decode_cpu_s_per_file              decoding alone, the floor of any measurement
//   full_cpu_s_per_file                libebur128's integrated loudness and true peak over
//                                      everything, which the measurement must agree with
//   measure_cpu_s_per_file             the program's measurement (MeasureFile)
//   lufs_max_diff, truepeak_max_diff_db  the largest difference between the two
//   stream_full_cpu_ms_per_min         libebur128's integrated loudness over a 10-minute
//                                      history, fed a decoded minute
//   stream_sampled_cpu_ms_per_min      the stream's meter (TStreamLoudness) fed the same
//
// The 3-minute files are made by ffmpeg from eight different noises and copied to the count
// asked for: measuring a copy costs what measuring the original does.
#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "loudness/loudness.h"
#include "loudness/measure.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/pcmanalysis.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <ebur128.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

namespace {
constexpr int kDistinct = 8;
constexpr double kTrackSeconds = 2;

int Env(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// Seconds on a CPU of this process's threads, by name, from their schedstat (nanoseconds).
std::map<std::string, double> ThreadsCpu() {
    std::map<std::string, double> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm"), stat(task.path() / "schedstat");
        std::string name;
        double ns = 0;
        if (std::getline(comm, name) && stat >> ns) out[name] += ns / 1e9;
    }
    return out;
}

double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The measurement against libebur128 over everything, on the distinct files, and the stream's
// meter against libebur128 on a minute of the first.
void Compare(soundlib::ISoundLib& lib, const std::string& music, int distinct) {
    double decodeCpu = 0, fullCpu = 0, measureCpu = 0, lufsDiff = 0, peakDiff = 0;
    std::vector<std::int16_t> minute;
    for (int i = 0; i < distinct; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "F%04d.MP3", i);
        const std::string path = music + name;
        double t = ThreadCpu();
        lib.DecodeFile(path.c_str(), 44100, [&](const std::int16_t* frames, std::size_t count) {
            if (i == 0 && minute.size() < 2u * 44100 * 60) minute.insert(minute.end(), frames, frames + 2 * count);
            return true;
        });
        decodeCpu += ThreadCpu() - t;
        t = ThreadCpu();
        ebur128_state* st = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
        lib.DecodeFile(path.c_str(), 44100, [&](const std::int16_t* frames, std::size_t count) {
            return ebur128_add_frames_short(st, frames, count) == EBUR128_SUCCESS;
        });
        double lufs = 0, peak = 0;
        ebur128_loudness_global(st, &lufs);
        for (unsigned c = 0; c < 2; ++c) {
            double p = 0;
            ebur128_true_peak(st, c, &p);
            peak = std::max(peak, p);
        }
        ebur128_destroy(&st);
        fullCpu += ThreadCpu() - t;
        t = ThreadCpu();
        const std::atomic<bool> stop{false};
        const auto level = MeasureFile(lib, QByteArray::fromStdString(path), stop);
        measureCpu += ThreadCpu() - t;
        if (!level || !level->Measured) {
            std::fprintf(stderr, "%s: not measured\n", name);
            continue;
        }
        lufsDiff = std::max(lufsDiff, std::abs(level->Lufs - lufs));
        peakDiff = std::max(peakDiff, std::abs(level->TruePeakDb - 20 * std::log10(peak)));
    }
    std::printf("decode_cpu_s_per_file=%.3f\n", decodeCpu / distinct);
    std::printf("full_cpu_s_per_file=%.3f\n", fullCpu / distinct);
    std::printf("measure_cpu_s_per_file=%.3f\n", measureCpu / distinct);
    std::printf("lufs_max_diff=%.4f\n", lufsDiff);
    std::printf("truepeak_max_diff_db=%.4f\n", peakDiff);

    const std::size_t frames = minute.size() / 2;
    double t = ThreadCpu();
    ebur128_state* st = ebur128_init(2, 44100, EBUR128_MODE_I);
    ebur128_set_max_history(st, 10 * 60 * 1000);
    for (std::size_t at = 0; at < frames; at += 1024) ebur128_add_frames_short(st, minute.data() + 2 * at, std::min<std::size_t>(1024, frames - at));
    double lufs = 0;
    ebur128_loudness_global(st, &lufs);
    ebur128_destroy(&st);
    const double fullMs = (ThreadCpu() - t) * 1000;
    t = ThreadCpu();
    TStreamLoudness meter;
    for (std::size_t at = 0; at < frames; at += 1024) meter.Feed(minute.data() + 2 * at, std::min<std::size_t>(1024, frames - at), 44100);
    (void)meter.Lufs();
    const double sampledMs = (ThreadCpu() - t) * 1000;
    const double minutes = double(frames) / 44100 / 60;
    std::printf("stream_full_cpu_ms_per_min=%.1f\n", fullMs / minutes);
    std::printf("stream_sampled_cpu_ms_per_min=%.1f\n", sampledMs / minutes);
}

double Sum(const std::map<std::string, double>& cpu, bool loudness) {
    double s = 0;
    for (const auto& [name, seconds] : cpu)
        if ((name == "loudness") == loudness) s += seconds;
    return s;
}

struct Window {
    double playerCpu = 0, loudnessCpu = 0, tickLateMaxMs = 0, gapMaxMs = 0;
};

// Plays the short tracks one after the other for `seconds`, as the controller does: the next
// one is loaded and started from the player's stop event.
// `each` is called at every tick of the timer.
Window Play(TZorvanBass& player, const std::vector<QString>& tracks, const std::string& heardPath, int seconds,
            const std::function<void()>& each = {}) {
    std::error_code ec;
    const std::size_t startFrame = std::filesystem::file_size(heardPath, ec) / 8;
    std::size_t next = 0;
    bool running = true;
    player.OnStop = [&](TZorvanBass* p) {
        if (!running || p->IsPlaying()) return;
        p->Load(tracks[next++ % tracks.size()]);
        p->SetVolume(100);
        p->Play();
    };
    Window w;
    QElapsedTimer since;
    qint64 last = 0;
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = since.elapsed();
        w.tickLateMaxMs = std::max(w.tickLateMaxMs, double(now - last - 100));
        last = now;
        if (each) each();
    });
    const auto before = ThreadsCpu();
    player.Load(tracks[next++]);
    player.SetVolume(100);
    player.Play();
    since.start();
    tick.start();
    QTimer::singleShot(seconds * 1000, [&] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    running = false;
    tick.stop();
    player.Stop();
    const auto after = ThreadsCpu();
    w.playerCpu = Sum(after, false) - Sum(before, false);
    w.loudnessCpu = Sum(after, true) - Sum(before, true);

    // The longest run of silent 10 ms pieces between two sounding ones: the window's start
    // and its tail after the last stop are no hand-overs.
    const audiotest::Heard heard = audiotest::ReadHeard(heardPath);
    const std::size_t hop = 441;
    std::size_t run = 0, longest = 0;
    bool sounded = false;
    for (std::size_t f = startFrame; f + hop <= heard.Frames(); f += hop) {
        if (audiotest::Rms(heard.left, f, hop) < 0.01) {
            ++run;
            continue;
        }
        if (sounded) longest = std::max(longest, run);
        sounded = true;
        run = 0;
    }
    w.gapMaxMs = double(longest) * 10;
    return w;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = Env("LOUDNESS_FILES", 200);
    const int windowS = Env("LOUDNESS_WINDOW_S", 30);
    audiotest::TempDir dir;
    const std::string music = dir.File("MUSICAS/");
    std::filesystem::create_directories(music);
    std::fprintf(stderr, "# making %d files of 3 minutes\n", files);
    QStringList names;
    for (const std::string& name : audiotest::MakeNoiseMp3s(music, files, kDistinct)) names << QString::fromStdString(name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "could not make the MP3 files with ffmpeg\n");
        return 1;
    }
    std::vector<QString> tracks;
    for (int i = 0; i < 3; ++i) {
        audiotest::Tone tone;
        tone.frequency = 300 + 100 * i;
        tone.amplitude = 0.3;
        tone.seconds = kTrackSeconds;
        const std::string path = dir.File(std::string("T") + char('0' + i) + ".WAV");
        audiotest::WriteToneWav(path, tone);
        tracks.push_back(QString::fromStdString(path));
    }

    const std::string heard = dir.File("heard.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
    soundlib::RealSoundLib lib;
    TZorvanBass player(lib, nullptr);
    player.InitDevice(1, nullptr);

    const Window without = Play(player, tracks, heard, windowS);

    TLoudness loudness(lib, QString::fromStdString(dir.File("NIVEIS.INI")), QString::fromStdString(music));
    QElapsedTimer scan;
    scan.start();
    const double loudnessBefore = Sum(ThreadsCpu(), true);
    loudness.Queue(names, true);
    double scanS = 0;
    const auto done = [&] {
        if (scanS == 0 && loudness.Idle()) scanS = double(scan.elapsed()) / 1000;
    };
    const Window with = Play(player, tracks, heard, windowS, done);
    while (!loudness.Idle()) QThread::msleep(50);
    done();
    const double scanCpu = Sum(ThreadsCpu(), true) - loudnessBefore;

    std::printf("scan_files=%d\n", loudness.MeasuredCount());
    std::printf("scan_s=%.1f\n", scanS);
    std::printf("scan_cpu_s_per_file=%.3f\n", files > 0 ? scanCpu / files : 0.0);
    std::printf("player_cpu_s_without=%.2f\n", without.playerCpu);
    std::printf("player_cpu_s_with=%.2f\n", with.playerCpu);
    std::printf("process_cpu_s_with=%.2f\n", with.playerCpu + with.loudnessCpu);
    std::printf("window_s=%d\n", windowS);
    std::printf("tick_late_max_ms_without=%.0f\n", without.tickLateMaxMs);
    std::printf("tick_late_max_ms_with=%.0f\n", with.tickLateMaxMs);
    std::printf("handover_gap_max_ms_without=%.0f\n", without.gapMaxMs);
    std::printf("handover_gap_max_ms_with=%.0f\n", with.gapMaxMs);
    Compare(lib, music, std::min(kDistinct, files));
    return loudness.MeasuredCount() == files ? 0 : 1;
}
