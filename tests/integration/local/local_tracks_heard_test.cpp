// Two short local tracks through the whole controller and the real sound library, recorded by
// SDL's disk driver: the first in sorted order plays, its end is found by the player's own
// poll, and the next one follows without the test touching anything.
#include "ui_usom.h"

#include "app/playerstate.h"
#include "app/usom.h"
#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "tests/integration/audio/audiofiles.h"
#include "tests/integration/audio/diskoutput.h"
#include "tests/integration/audio/pcmanalysis.h"
#include "tests/support/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
constexpr double kFirstHz = 400;   // A.WAV
constexpr double kSecondHz = 800;  // b.wav (lower case on disk: it plays by its real name)

void WriteTrack(const QString& path, double hz) {
    audiotest::Tone tone;
    tone.frequency = hz;
    tone.amplitude = 0.3;
    tone.seconds = 1.5;
    audiotest::WriteToneWav(path.toStdString(), tone);
}
}  // namespace

TEST(LocalTracksHeard, TwoFilesPlayOneAfterTheOtherInTheirOrder) {
    audiotest::TempDir sound;
    audiotest::UseDiskOutput(sound.File("heard.raw"));
    TempProgramFolder folder;
    ScopedFakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
    RecordingMessageBoxes boxes;
    PlayerState = TPlayerState{};
    TZorvanBass::ResetProgramWideState();

    QByteArray cfg;
    for (int i = 0; i < 7; ++i) cfg += "|08:00:00|18:00:00|0|0\r\n";
    WriteBytes(folder.File("CFG.ACI"), cfg);
    QDir().mkpath(folder.File("MUSICAS"));
    WriteTrack(folder.File("MUSICAS/A.WAV"), kFirstHz);
    WriteTrack(folder.File("MUSICAS/b.wav"), kSecondHz);

    auto lib = std::make_unique<soundlib::RealSoundLib>();
    {
        Tfrm_sonarisv1AAC w(*lib);
        w.BitBtn13Click();
        // Active inside today's window with no stream: the end of a track starts the next.
        // The first connection attempt is 17.5 s away, long after both tracks.
        w.Button1Click();
        w.BitBtn14Click();
        PumpEvents(4200);
        EXPECT_TRUE(w.ui->Memo1->toPlainText().contains(QStringLiteral("PLAY MÚSICAS LOCAIS  -  Stop Música 1000")));
    }
    lib.reset();

    const audiotest::Heard heard = audiotest::ReadHeard(sound.File("heard.raw"));
    const std::size_t start = audiotest::FirstSound(heard.left);
    ASSERT_LT(start, heard.Frames()) << "nothing was heard";
    const std::size_t probe = heard.rate / 5;  // 200 ms
    EXPECT_NEAR(audiotest::Frequency(heard.left, start + heard.At(0.5), probe, heard.rate), kFirstHz, 15);
    EXPECT_NEAR(audiotest::Frequency(heard.left, start + heard.At(2.2), probe, heard.rate), kSecondHz, 25);
}
