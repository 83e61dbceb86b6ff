// A station that carries nothing but mains hum, loud enough not to count as dead air, measures
// near -55 LUFS. Local music is not brought down to that, and the figure saved in NIVEIS.INI
// does not set the music's level once it is more than a week old.
#include "loudness/gainrule.h"
#include "loudness/levelsfile.h"
#include "loudness/loudness.h"
#include "loudness/measure.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {
constexpr int kRate = 44100;

// One second of 50 Hz hum with its first harmonics, at about -50 dBFS: whole cycles, so that
// it repeats without a seam.
std::vector<std::int16_t> HumSecond() {
    std::vector<std::int16_t> out(2 * kRate);
    for (int i = 0; i < kRate; ++i) {
        const double t = double(i) / kRate, w = 2 * 3.14159265358979323846 * 50;
        const double v = 0.0025 * std::sin(w * t) + 0.0008 * std::sin(2 * w * t) + 0.0004 * std::sin(3 * w * t);
        out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(std::lround(v * 32767));
    }
    return out;
}

void FeedMinutes(const soundlib::ISoundLib::DecodedTap& tap, const std::vector<std::int16_t>& second, int minutes) {
    for (int s = 0; s < minutes * 60; ++s)
        for (int at = 0; at < kRate; at += 1024) tap(second.data() + 2 * at, std::min(1024, kRate - at), kRate);
}
}  // namespace

TEST(LoudnessTarget, TenMinutesOfHumLeaveTheTargetWithinProgrammesAndASavedFigureExpiresAfterAWeek) {
    ScopedFakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
    TempProgramFolder folder;
    const QString music = folder.File("MUSICAS/");
    ASSERT_TRUE(QDir().mkpath(music));
    WriteBytes(music + "ALTA.MP3", QByteArray("not decoded: its level is known"));
    const QFileInfo track(music + "ALTA.MP3");
    const QString levels = folder.File(kLevelsIni);
    // A loud track, and a figure saved 18 days ago.
    WriteBytes(levels, QStringLiteral("/TRANSMISSAO=-12.00;20/11/2026\r\nALTA.MP3=%1;%2;-9.00;-0.50\r\n")
                           .arg(track.size())
                           .arg(track.lastModified().toSecsSinceEpoch())
                           .toLatin1());
    const std::vector<std::int16_t> hum = HumSecond();
    {
        TStreamLoudness meter;
        FeedMinutes([&](const std::int16_t* f, std::size_t n, int rate) { meter.Feed(f, n, rate); }, hum, 1);
        ASSERT_TRUE(meter.Lufs());
        EXPECT_NEAR(*meter.Lufs(), -55, 2) << "the hum is what a station at fault carries";
    }

    FakeSoundLib lib;
    {
        TLoudness loudness(lib, levels, music);
        EXPECT_DOUBLE_EQ(loudness.TargetLufs(), kDefaultTargetLufs) << "a figure 18 days old is not used";
        EXPECT_DOUBLE_EQ(loudness.GainFor(QStringLiteral("ALTA.MP3")), -9.0);

        FeedMinutes(loudness.StreamTap(), hum, 10);
        EXPECT_DOUBLE_EQ(loudness.TargetLufs(), kQuietestTargetLufs);
        const double gain = loudness.GainFor(QStringLiteral("ALTA.MP3"));
        EXPECT_GT(gain, -24.0) << "the music is not cut by the whole depth";
        EXPECT_DOUBLE_EQ(gain, kQuietestTargetLufs + 9.0);
    }
    EXPECT_TRUE(ReadBytes(levels).startsWith("/TRANSMISSAO=-30.00;08/12/2026\r\n")) << ReadBytes(levels).toStdString();

    // Without the stream: the figure sets the music's level for a week, then it is forgotten.
    clock.Set(QDateTime(QDate(2026, 12, 15), QTime(9, 0)));
    {
        TLoudness loudness(lib, levels, music);
        EXPECT_DOUBLE_EQ(loudness.TargetLufs(), kQuietestTargetLufs);
    }
    clock.Set(QDateTime(QDate(2026, 12, 16), QTime(9, 0)));
    {
        TLoudness loudness(lib, levels, music);
        EXPECT_DOUBLE_EQ(loudness.TargetLufs(), kDefaultTargetLufs);
        EXPECT_DOUBLE_EQ(loudness.GainFor(QStringLiteral("ALTA.MP3")), -9.0);
    }
    EXPECT_FALSE(ReadLevelsIni(levels).Stream) << "the expired figure is gone from the file";
}
