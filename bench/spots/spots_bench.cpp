// spots: how late the spots start when the machine is busy. A compressed day: SPOTS_COUNT (200)
// spots of 0.4 s, one a second, in SPOTS.INI, played by the program's own spots unit on the real
// sound library (SDL's disk driver, paced in real time, into /dev/null) over a stream from a
// real icecast2 (pink noise as AAC, the station of the tray benchmark's kind), lowered under
// each, while the loudness unit measures a folder of SPOTS_SCAN_FILES (200) MP3 files of
// 3 minutes. The daily run's 500 ms tick hands the spots the window, as the controller does.
//
// Prints:
//   spots, spots_played, spots_missed   due, started, given up
//   spot_late_median_ms, spot_late_worst_ms
//                                       from a spot's second to its start (its "SPOT - " line,
//                                       written once the library plays it)
//   scan_files_measured                 measured meanwhile
#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "loudness/loudness.h"
#include "spots/spots.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/icecastserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {
constexpr int kDistinct = 4;
constexpr int kLeadSeconds = 8;

int Env(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = Env("SPOTS_COUNT", 200);
    const int files = Env("SPOTS_SCAN_FILES", 200);
    audiotest::TempDir dir;
    const std::string folder = dir.File("") + "/";
    const std::string music = folder + "MUSICAS/";
    std::filesystem::create_directories(music);
    std::filesystem::create_directories(folder + "SPOTS");

    std::fprintf(stderr, "# making %d files of 3 minutes\n", files);
    QStringList names;
    for (const std::string& name : audiotest::MakeNoiseMp3s(music, files, kDistinct)) names << QString::fromStdString(name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "could not make the MP3 files with ffmpeg\n");
        return 1;
    }
    for (int i = 0; i < 2; ++i) {
        audiotest::Tone tone;
        tone.frequency = 800 + 400 * i;
        tone.amplitude = 0.2;
        tone.seconds = 0.4;
        audiotest::WriteToneWav(folder + "SPOTS/S" + std::to_string(i) + ".WAV", tone);
    }

    audiotest::IcecastServer station;
    if (!station.Ok()) {
        std::fprintf(stderr, "icecast2 did not start\n");
        return 1;
    }
    auto source = station.StartLavfiSource("/stream", "anoisesrc=c=pink:r=44100:a=0.2");
    if (!source) {
        std::fprintf(stderr, "the station's source did not start\n");
        return 1;
    }

    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    soundlib::RealSoundLib lib;
    TZorvanBass web(lib, nullptr);
    web.InitDevice(1, nullptr);
    web.UseAac = 1;
    lib.BASS_SetConfig(soundlib::BASS_CONFIG_NET_TIMEOUT, 20000);  // as the controller does before each attempt
    web.Load(QString::fromStdString(station.Url()));
    if (!web.Loaded) {
        std::fprintf(stderr, "the stream did not open: code %d\n", lib.BASS_ErrorGetCode());
        return 1;
    }
    web.Play();

    TLoudness loudness(lib, QString::fromStdString(folder + "NIVEIS.INI"), QString::fromStdString(music));
    loudness.Queue(names, true);

    // One a second from a few seconds on, named by the second they are due on.
    const QDateTime first = QDateTime::currentDateTime().addSecs(kLeadSeconds);
    const QDateTime start(first.date(), QTime(first.time().hour(), first.time().minute(), first.time().second()));
    std::vector<QDateTime> due;
    {
        std::ofstream ini(folder + "SPOTS.INI", std::ios::binary);
        for (int i = 0; i < count; ++i) {
            due.push_back(start.addSecs(i));
            ini << due.back().toString(QStringLiteral("HH:mm:ss")).toStdString() << ";1234567;S" << (i % 2) << ".WAV\r\n";
        }
    }

    std::vector<double> late;
    int missed = 0;
    TSpots::Hooks hooks;
    hooks.History = [&](const QString& line) {
        if (line.startsWith(QStringLiteral("SPOT - ")) && late.size() < due.size())
            late.push_back(double(due[late.size() + std::size_t(missed)].msecsTo(QDateTime::currentDateTime())));
        else if (line.startsWith(QStringLiteral("SPOT NÃO TOCADO")))
            ++missed;
        else
            std::fprintf(stderr, "# %s\n", line.toUtf8().constData());
    };
    hooks.Duck = [&](double db, int ms) { web.Duck(db, ms); };
    hooks.Volume = [] { return 100; };
    TSpots spots(lib, QString::fromStdString(folder), 1, &loudness, hooks);
    PlayWindow window;
    window.First = window.Last = start.date();
    window.Open = start.addSecs(-3600);
    window.Close = due.back().addSecs(3600);

    QTimer tick;
    tick.setInterval(500);
    QObject::connect(&tick, &QTimer::timeout, [&] { spots.Tick(window, true); });
    tick.start();
    spots.Tick(window, true);
    QTimer::singleShot(int(QDateTime::currentDateTime().msecsTo(due.back().addSecs(3))), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    tick.stop();
    web.Stop();

    std::vector<double> sorted = late;
    std::sort(sorted.begin(), sorted.end());
    std::printf("spots=%d\n", count);
    std::printf("spots_played=%zu\n", late.size());
    std::printf("spots_missed=%d\n", missed);
    std::printf("spot_late_median_ms=%.0f\n", sorted.empty() ? -1.0 : sorted[sorted.size() / 2]);
    std::printf("spot_late_worst_ms=%.0f\n", sorted.empty() ? -1.0 : sorted.back());
    std::printf("scan_files_measured=%d\n", loudness.MeasuredCount());
    return late.size() == std::size_t(count) ? 0 : 1;
}
