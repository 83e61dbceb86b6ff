// A spot over a local track on the real sound library and the real clock, as a listener hears
// it (SDL's disk driver): on its second, the music 15 dB down under it and running, the spot at
// the local tracks' loudness, the music back up after it. The two are told apart by their
// tones: the music at 440 Hz, the spot at 1 kHz.
#include "spots/spots.h"

#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "loudness/gainrule.h"
#include "loudness/loudness.h"
#include "loudness/measure.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/pcmanalysis.h"
#include "tests/support/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>

namespace {
constexpr double kMusicHz = 440;
constexpr double kSpotHz = 1000;
constexpr double kSpotSeconds = 3;

// The RMS of the component at `hz` (Goertzel), over `count` frames from `from`.
double ToneRms(const std::vector<float>& x, std::size_t from, std::size_t count, double hz, int rate) {
    const double c = 2 * std::cos(2 * M_PI * hz / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + count && i < x.size(); ++i) {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / double(count) / std::sqrt(2.0);
}

double Db(double ratio) { return 20 * std::log10(ratio); }
}  // namespace

TEST(SpotsHeard, OnItsSecondOverTheMusicLowered15DbAtTheLocalTracksLoudnessThenTheMusicBack) {
    audiotest::TempDir sound;
    audiotest::UseDiskOutput(sound.File("heard.raw"));
    TempProgramFolder folder;
    RecordingMessageBoxes boxes;
    TZorvanBass::ResetProgramWideState();
    QDir().mkpath(folder.File("MUSICAS"));
    QDir().mkpath(folder.File("SPOTS"));
    audiotest::Tone music;
    music.frequency = kMusicHz;
    music.amplitude = 0.25;
    music.seconds = 14;
    audiotest::WriteToneWav(folder.File("MUSICAS/MUSICA.WAV").toStdString(), music);
    audiotest::Tone spot;  // far below the target: it must be raised
    spot.frequency = kSpotHz;
    spot.amplitude = 0.05;
    spot.seconds = kSpotSeconds;
    audiotest::WriteToneWav(folder.File("SPOTS/AVISO.WAV").toStdString(), spot);

    auto lib = std::make_unique<soundlib::RealSoundLib>();
    QStringList history;
    qint64 musicStartedMs = 0;
    QDateTime due;
    {
        TLoudness loudness(*lib, folder.File("NIVEIS.INI"), folder.File("MUSICAS/"));
        TZorvanBass player(*lib, nullptr);
        player.InitDevice(1, nullptr);
        player.Load(folder.File("MUSICAS/MUSICA.WAV"));
        ASSERT_TRUE(player.Loaded);
        player.Play();
        musicStartedMs = QDateTime::currentMSecsSinceEpoch();

        due = QDateTime::currentDateTime().addSecs(4);
        due.setTime(QTime(due.time().hour(), due.time().minute(), due.time().second()));
        WriteBytes(folder.File("SPOTS.INI"), due.toString(QStringLiteral("HH:mm:ss")).toLatin1() + ";1234567;AVISO.WAV\r\n");
        PlayWindow window;
        window.First = window.Last = due.date();
        window.Open = due.addSecs(-3600);
        window.Close = due.addSecs(3600);

        TSpots::Hooks hooks;
        hooks.History = [&](const QString& line) { history << line; };
        hooks.Duck = [&](double db, int ms) { player.Duck(db, ms); };
        hooks.Volume = [] { return 100; };
        TSpots spots(*lib, folder.Path(), 1, &loudness, hooks);
        // The daily run's ticks; the spot's start is the spots' own timer's.
        while (QDateTime::currentDateTime() < due.addSecs(qint64(kSpotSeconds) + 3)) {
            spots.Tick(window, true);
            PumpEvents(500);
        }
        player.Stop();
    }
    lib.reset();
    EXPECT_EQ(history, QStringList{QStringLiteral("SPOT - AVISO.WAV")});

    const audiotest::Heard heard = audiotest::ReadHeard(sound.File("heard.raw"));
    const std::size_t musicStart = audiotest::FirstSound(heard.left, 0.01f);
    ASSERT_LT(musicStart, heard.Frames()) << "nothing was heard";
    // The spot's first 10 ms block with its tone, on the output's own time line.
    const std::size_t block = heard.At(0.05);
    std::size_t spotStart = heard.Frames();
    for (std::size_t at = musicStart; at + block < heard.Frames(); at += heard.At(0.01))
        if (ToneRms(heard.left, at, block, kSpotHz, heard.rate) > 0.02) {
            spotStart = at + block / 2;
            break;
        }
    ASSERT_LT(spotStart, heard.Frames()) << "the spot was not heard";
    const double expected = double(due.toMSecsSinceEpoch() - musicStartedMs) / 1000.0;
    const double heardAt = double(spotStart - musicStart) / heard.rate;
    EXPECT_NEAR(heardAt, expected, 0.5);

    const std::size_t probe = heard.At(0.5);
    const double before = ToneRms(heard.left, spotStart - heard.At(1.5), probe, kMusicHz, heard.rate);
    const double under = ToneRms(heard.left, spotStart + heard.At(1.0), probe, kMusicHz, heard.rate);
    const double after = ToneRms(heard.left, spotStart + heard.At(kSpotSeconds + 1.5), probe, kMusicHz, heard.rate);
    EXPECT_NEAR(Db(under / before), -15.0, 1.0);  // lowered, and still running
    EXPECT_NEAR(Db(after / before), 0.0, 1.0);    // back within 1.5 s of the spot's end

    // The spot as heard, alone, measured like a track: at the target the local tracks are
    // brought to (no stream measured here: the default).
    std::vector<float> spotHeard;
    for (std::size_t i = spotStart + heard.At(0.5); i < spotStart + heard.At(kSpotSeconds - 0.5); ++i) {
        spotHeard.push_back(heard.left[i]);
        spotHeard.push_back(heard.right[i]);
    }
    audiotest::WriteWav16(sound.File("spot.wav"), spotHeard, 2, heard.rate);
    audiotest::UseDummyOutput();
    soundlib::RealSoundLib measuring;
    std::atomic<bool> stop{false};
    const auto level = MeasureFile(measuring, QByteArray::fromStdString(sound.File("spot.wav")), stop);
    ASSERT_TRUE(level && level->Measured);
    EXPECT_NEAR(level->Lufs, kDefaultTargetLufs, 1.5);
}
