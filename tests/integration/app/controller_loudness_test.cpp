// One loudness for the shop, heard through the whole controller on the real sound library: a
// station at -16 LUFS and a folder of tracks at -27, -23, -14 and -6 LUFS. The station drops
// (local music follows), the tracks follow each other, the station comes back and is heard
// when the track ends: every kind of hand-over. What was played is recorded by SDL's disk
// driver and measured as a listener would: the short-term loudness (3 s) on each side of each
// hand-over. The same day with NIVELAR=0 shows the jumps that the levelling removes.
#include "ui_usom.h"

#include "app/playerstate.h"
#include "app/streamattempt.h"
#include "app/usom.h"
#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "loudness/loudness.h"
#include "tests/integration/app/station.h"
#include "tests/integration/app/windowticks.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/pcmanalysis.h"
#include "tests/support/testsupport.h"
#include "ui/thdtimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>

using ctltest::Figure;

namespace {
constexpr int kRate = 44100;
constexpr double kStationLufs = -16;
constexpr double kTrackSeconds = 6;
constexpr std::size_t kHop = kRate / 100;  // positions in steps of 10 ms

// Music-like material: three bands of noise and a chord of three tones, each under its own
// envelope that repeats every half second, so that any 3 s of it is as loud as the whole.
// `drive` squashes it the way a brick-walled master is. Stereo, interleaved.
std::vector<float> Music(double seconds, unsigned seed, double drive) {
    const std::size_t frames = std::size_t(seconds * kRate);
    std::vector<float> x(frames * 2);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0, 1);
    float low[2] = {0, 0}, mid[2] = {0, 0}, midLow[2] = {0, 0};
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = double(f) / kRate;
        const double beat = std::fmod(t, 0.5);
        const double kick = std::exp(-beat * 12), hat = std::exp(-std::fmod(t, 0.25) * 40);
        for (int c = 0; c < 2; ++c) {
            const float white = noise(random);
            low[c] += 0.02f * (white - low[c]);            // below ~150 Hz
            mid[c] += 0.3f * (white - mid[c]);             // below ~2.5 kHz
            midLow[c] += 0.05f * (mid[c] - midLow[c]);
            const double band = (mid[c] - midLow[c]);     // ~300 Hz to 2.5 kHz
            const double high = white - mid[c];           // above 2.5 kHz
            double chord = 0;
            for (double hz : {220.0, 277.2, 329.6}) chord += std::sin(2 * M_PI * hz * t + c);
            const double v = 3.0 * low[c] * kick + 0.6 * band + 0.25 * high * hat + 0.15 * chord * (0.5 + 0.5 * std::exp(-beat * 4));
            x[f * 2 + std::size_t(c)] = float(v);
        }
    }
    float peak = 0;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    for (float& v : x) v = drive > 0 ? float(std::tanh(drive * v / peak) / std::tanh(drive)) : v / peak;
    return x;
}

// Integrated loudness and true peak (dBTP) of interleaved stereo.
std::pair<double, double> Measure(const std::vector<float>& x) {
    ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(st, x.data(), x.size() / 2);
    double lufs = 0, peak = 0, p = 0;
    ebur128_loudness_global(st, &lufs);
    for (unsigned c = 0; c < 2; ++c) {
        ebur128_true_peak(st, c, &p);
        peak = std::max(peak, p);
    }
    ebur128_destroy(&st);
    return {lufs, 20 * std::log10(peak)};
}

// Writes music at `lufs`; its true peak in dBTP.
double WriteMusic(const std::string& path, double seconds, unsigned seed, double drive, double lufs) {
    std::vector<float> x = Music(seconds, seed, drive);
    const double scale = std::pow(10.0, (lufs - Measure(x).first) / 20);
    for (float& v : x) v = float(v * scale);
    audiotest::WriteWav16(path, x, 2, kRate);
    return Measure(x).second;
}

// Short-term loudness of the 3 s of what was heard that start at `from` (a position in hops).
double ShortTerm(const audiotest::Heard& heard, std::size_t from) {
    return audiotest::ShortTermLufs(heard.left, heard.right, from * kHop, kRate);
}

struct HandOver {
    std::string kind;  // stream_to_local, local_to_local, local_to_stream
    std::size_t at;    // position in hops when the controller made it
};
}  // namespace

class LoudnessOnRealSound : public ::testing::Test {
protected:
    void SetUp() override {
        station_ = std::make_unique<ctltest::Station>(1000);
        if (!station_->Ok()) GTEST_SKIP() << "no station of our own on 127.0.0.1:9500 (run through in_private_net.sh)";
        const double stationPeak = WriteMusic(sound_.File("station.wav"), 20, 1, 1.5, kStationLufs);
        ASSERT_LT(stationPeak, -1.0);
        station_->KillSource();
        ASSERT_TRUE(station_->StartSource("amovie=" + sound_.File("station.wav") + ":loop=0"));

        audiotest::UseDiskOutput(sound_.File("heard.raw"));
        PlayerState = TPlayerState{};
        TZorvanBass::ResetProgramWideState();
        ctltest::EveryDayEightToSix(folder_);
        // Sorted by name: the first local track after the list is read is the quietest.
        const struct {
            const char* name;
            double lufs, drive;
        } tracks[] = {{"M1.WAV", -27, 1.5}, {"M2.WAV", -23, 1.5}, {"M3.WAV", -14, 2}, {"M4.WAV", -6, 8}};
        unsigned seed = 10;
        for (const auto& t : tracks) {
            const double peak = WriteMusic(folder_.File(QString("MUSICAS/") + t.name).toStdString(), kTrackSeconds, ++seed, t.drive, t.lufs);
            // The quietest must be raisable all the way without passing -1 dBTP; the loudest is as hot as masters get.
            if (t.lufs == -27) {
                ASSERT_LT(peak + (kStationLufs - t.lufs), -1.0);
            }
            if (t.lufs == -6) {
                ASSERT_LE(peak, 0.0);
            }
        }
    }
    void Start(bool level) {
        if (!level) WriteBytes(folder_.File("ESTACAO.INI"), "NIVELAR=0\r\n");
        lib_ = std::make_unique<soundlib::RealSoundLib>();
        w = std::make_unique<Tfrm_sonarisv1AAC>(*lib_);
        ASSERT_EQ(w->Loudness != nullptr, level);
        w->BitBtn13Click();
        // The folder is measured before the day starts; the station measures itself as it plays.
        if (level) {
            ASSERT_TRUE(audiotest::WaitUntil(20000, [&] { return w->Loudness->Idle(); }));
        }
        ticks_.Attach(w.get());
    }
    void TearDown() override {
        ticks_.Detach();
        w.reset();
        for (int i = 0; i < 2500 && TStreamAttempt::OpensOut() > 0; ++i) QThread::msleep(10);
        lib_.reset();
    }

    // Real time passes with the window's timers ticking; the hand-overs are noted where the
    // recording stands when the controller makes them.
    void Run(qint64 ms) { ticks_.Run(ms, [&] { NoteHandOvers(); }); }
    void NoteHandOvers() {
        const int lines = w->ui->Memo1->document()->blockCount();
        if (lines == linesSeen_) return;
        linesSeen_ = lines;
        const QStringList history = History();
        for (; historySeen_ < history.size(); ++historySeen_) {
            const QString& h = history[historySeen_];
            if (h.startsWith("PLAY MÚSICAS LOCAIS"))
                handOvers_.push_back({localStarts_++ == 0 ? "stream_to_local" : "local_to_local", WindowNow()});
            else if (h == "Sonaris - No AR")
                handOvers_.push_back({"local_to_stream", WindowNow()});
        }
    }
    template <typename Condition>
    bool RunUntil(qint64 maxMs, Condition condition) {
        return ticks_.RunUntil(maxMs, condition, [&] { NoteHandOvers(); });
    }
    void TickToTheNextAttempt() {
        ticks_.StartTheNextAttempt([&] { return int(History().count("Carregando Sonaris")); });
        ticks_.WaitForTheAttempt();
    }
    QStringList History() const { return ctltest::HistoryOf(*w); }
    std::size_t WindowNow() const {
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(sound_.File("heard.raw"), ec);
        return ec ? 0 : std::size_t(bytes / 8 / kHop);
    }

    // The whole day: the stream heard, dropped, local tracks, the stream back after a track.
    // The largest difference of short-term loudness across a hand-over, in LU.
    double PlayTheDay(const std::string& figures) {
        w->Button1Click();
        TickToTheNextAttempt();
        EXPECT_EQ(PlayerState.WebError, 0) << "the station did not open";
        Run(10000);  // the stream heard long enough to know its loudness

        station_->KillSource();
        EXPECT_TRUE(RunUntil(40000, [&] { return localStarts_ >= 3; })) << History().join(" | ").toStdString();
        // The station comes back while the third track plays; it is heard when a track ends.
        EXPECT_TRUE(station_->StartSource("amovie=" + sound_.File("station.wav") + ":loop=0"));
        TickToTheNextAttempt();
        EXPECT_EQ(PlayerState.WebError, 0) << History().join(" | ").toStdString();
        EXPECT_TRUE(RunUntil(30000, [&] { return History().contains("Sonaris - No AR"); })) << History().join(" | ").toStdString();
        Run(7000);  // the fade-in and 3 s of the stream at its level

        const auto heard = audiotest::ReadHeard(sound_.File("heard.raw"));
        // Just before: the 3 s that end 1.2 s before the hand-over (a given-up stream fades
        // out over the last second). Just after: the 3 s from 0.5 s on, or, for the stream,
        // from the end of its 2.5 s fade-in.
        double worst = 0;
        int measured = 0;
        for (const HandOver& h : handOvers_) {
            const double before = h.at >= 420 ? ShortTerm(heard, h.at - 420) : NAN;
            const double after = ShortTerm(heard, h.at + (h.kind == "local_to_stream" ? 300 : 50));
            if (std::isnan(before) || std::isnan(after)) continue;
            ++measured;
            const std::string name = figures + "_" + h.kind + "_" + std::to_string(measured);
            Figure(name + "_before_lufs", before);
            Figure(name + "_after_lufs", after);
            worst = std::max(worst, std::fabs(after - before));
        }
        Figure(figures + "_largest_jump_lu", worst);
        const auto has = [&](const std::string& kind) {
            return std::any_of(handOvers_.begin(), handOvers_.end(), [&](const HandOver& h) { return h.kind == kind; });
        };
        EXPECT_TRUE(has("stream_to_local") && has("local_to_local") && has("local_to_stream")) << History().join(" | ").toStdString();
        EXPECT_EQ(measured, int(handOvers_.size()));
        return worst;
    }

    TempProgramFolder folder_;
    ScopedFakeClock clock_{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    RecordingMessageBoxes boxes_;
    audiotest::TempDir sound_;
    std::unique_ptr<ctltest::Station> station_;
    std::unique_ptr<soundlib::RealSoundLib> lib_;
    std::unique_ptr<Tfrm_sonarisv1AAC> w;
    ctltest::WindowTicks ticks_{clock_};
    int linesSeen_ = -1;
    qsizetype historySeen_ = 0;
    int localStarts_ = 0;
    std::vector<HandOver> handOvers_;
};

TEST_F(LoudnessOnRealSound, LocalTracksAreHeardAsLoudAsTheStreamAcrossEveryHandOver) {
    Start(true);
    const double worst = PlayTheDay("levelled");
    EXPECT_LE(worst, 1.5);
    // What the day taught is kept for the next start.
    w.reset();
    const QByteArray levels = ReadBytes(folder_.File("NIVEIS.INI"));
    EXPECT_TRUE(levels.startsWith("/TRANSMISSAO=-1")) << levels.toStdString();
    EXPECT_EQ(levels.count("\r\n"), 5) << levels.toStdString();
}

TEST_F(LoudnessOnRealSound, WithoutLevellingTheSameDayJumps) {
    Start(false);
    const double worst = PlayTheDay("own_level");
    EXPECT_GE(worst, 8.0) << "the tracks lie 11 LU under to 10 LU over the station";
}
