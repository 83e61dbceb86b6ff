// When the spots play, on a fake clock with direct ticks: the spots and the daily run's window
// as the controller hands it over, the spot player on the scripted sound library.
#include "spots/spots.h"

#include "audio/uzorvanbass.h"
#include "schedule/playwindow.h"
#include "tests/support/fakesoundlib.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QDate kFriday(2026, 12, 11);

class SpotScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        TZorvanBass::ResetProgramWideState();
        QDir().mkpath(folder.File(kSpotsFolder));
    }
    void TearDown() override {
        spots.reset();
        TZorvanBass::ResetProgramWideState();
    }

    // Every day `start` to `stop`.
    void Week(const QString& start, const QString& stop) {
        week = WeekLines{true, QStringList(7, QStringLiteral("|%1|%2|0|0").arg(start, stop))};
    }
    void Spots(const QByteArray& ini, const QStringList& files) {
        WriteBytes(folder.File(kSpotsIni), ini);
        for (const QString& file : files) WriteBytes(folder.File(kSpotsFolder + QLatin1Char('/') + file), "spot");
    }
    void Start(const QDateTime& at) {
        clock.Set(at);
        TSpots::Hooks hooks;
        hooks.History = [this](const QString& line) { history << clock.Now().time().toString(QStringLiteral("HH:mm:ss")) + " " + line; };
        hooks.Duck = [this](double db, int ms) { ducks << QStringLiteral("%1 %2").arg(db).arg(ms); };
        hooks.Volume = [] { return 80; };
        hooks.HistoryOf = [this](const QDate& date) { return date == clock.Now().date() ? earlierRun : QStringList(); };
        spots = std::make_unique<TSpots>(lib, folder.Path(), 1, nullptr, hooks);
    }
    // The daily run's tick as the controller makes it: the window in force, then the spots.
    void TickAt(const QDateTime& at) {
        clock.Set(at);
        if (!window.InForce(at)) window = WindowAt(week, at);
        spots->Tick(window, activated);
    }
    // A tick every `stepSeconds` up to `until`; a spot plays for 20 s.
    void RunUntil(const QDateTime& until, int stepSeconds = 10) {
        for (QDateTime at = clock.Now().addSecs(stepSeconds); at <= until; at = at.addSecs(stepSeconds)) {
            TickAt(at);
            TZorvanBass& player = spots->Player()->Player();
            if (player.IsPlaying() && playingSince_.isValid() && playingSince_.secsTo(at) >= 20) {
                lib.EndChannel(player.Channel);
                player.Poll();
                playingSince_ = QDateTime();
                TickAt(at);
            } else if (player.IsPlaying() && !playingSince_.isValid()) {
                playingSince_ = at;
            }
        }
    }

    TempProgramFolder folder;
    ScopedFakeClock clock;
    FakeSoundLib lib;
    RecordingMessageBoxes boxes;
    WeekLines week;
    PlayWindow window;
    bool activated = true;
    std::unique_ptr<TSpots> spots;
    QStringList history, ducks;
    QStringList earlierRun;  // today's history as a run before this one left it

private:
    QDateTime playingSince_;
};

TEST_F(SpotScheduleTest, EveryHalfHourOnTheClockOnlyInsideANightWindowAcrossMidnight) {
    Week(QStringLiteral("22:00:00"), QStringLiteral("02:00:00"));
    Spots("*/30;1234567;HORA.MP3\r\n", {QStringLiteral("HORA.MP3")});
    Start(QDateTime(kFriday, QTime(21, 0, 5)));
    RunUntil(QDateTime(kFriday.addDays(1), QTime(3, 0, 5)));

    QStringList expected;
    for (const char* at : {"22:00:05", "22:30:05", "23:00:05", "23:30:05", "00:00:05", "00:30:05", "01:00:05", "01:30:05", "02:00:05"})
        expected << QString::fromLatin1(at) + QStringLiteral(" SPOT - HORA.MP3");
    EXPECT_EQ(history, expected);  // nothing at 21:30 nor from 02:30: outside, nothing is due
    EXPECT_EQ(lib.CountCalls("BASS_ChannelPlay"), 9);
    EXPECT_EQ(ducks.size(), 18);
    EXPECT_EQ(ducks.value(0), QStringLiteral("-15 300"));
    EXPECT_EQ(ducks.value(1), QStringLiteral("0 1000"));

    history.clear();
    spots->WriteSummary();
    EXPECT_EQ(history, QStringList{QStringLiteral("03:00:05 RESUMO DE SPOTS - Tocados: 9  Não tocados: 0")});
    history.clear();
    spots->WriteSummary();  // no spot since: no line
    EXPECT_TRUE(history.isEmpty());
}

TEST_F(SpotScheduleTest, ASpotWhoseOutputIsLostAtItsTimeIsMissedAfter60SecondsAndNeverPlayedLate) {
    Week(QStringLiteral("08:00:00"), QStringLiteral("18:00:00"));
    Spots("10:00:00;1234567;OFERTA.MP3\r\n10:05:00;1234567;FECHA.MP3\r\n", {QStringLiteral("OFERTA.MP3"), QStringLiteral("FECHA.MP3")});
    Start(QDateTime(kFriday, QTime(9, 59, 0)));
    RunUntil(QDateTime(kFriday, QTime(9, 59, 50)));
    lib.LoseOutput(1);
    RunUntil(QDateTime(kFriday, QTime(10, 1, 0)));
    EXPECT_TRUE(history.isEmpty());  // still within its minute
    RunUntil(QDateTime(kFriday, QTime(10, 1, 10)));
    EXPECT_EQ(history, QStringList{QStringLiteral("10:01:10 SPOT NÃO TOCADO - OFERTA.MP3 - saída de áudio perdida")});
    RunUntil(QDateTime(kFriday, QTime(10, 4, 0)));
    EXPECT_TRUE(ducks.isEmpty());  // the music was never lowered for it

    // Lost at the next one's time too, but back within its minute: it plays then.
    RunUntil(QDateTime(kFriday, QTime(10, 5, 20)));
    lib.RestoreOutput(1, "Fake output");
    RunUntil(QDateTime(kFriday, QTime(10, 5, 30)));
    EXPECT_EQ(history.value(1), QStringLiteral("10:05:30 SPOT - FECHA.MP3"));
    EXPECT_EQ(history.size(), 2);
}

TEST_F(SpotScheduleTest, AProgramStartedLateRecordsTheSpotsItMissedButNotThoseAnEarlierRunHandled) {
    Week(QStringLiteral("08:00:00"), QStringLiteral("18:00:00"));
    Spots("*/30;1234567;HORA.MP3\r\n", {QStringLiteral("HORA.MP3")});
    earlierRun = QStringList{QStringLiteral("08:00:00 - SPOT - HORA.MP3"), QStringLiteral("08:30:00 - SPOT - HORA.MP3"),
                             QStringLiteral("08:41:07 - SAÍDA DE ÁUDIO PERDIDA")};
    Start(QDateTime(kFriday, QTime(10, 10, 0)));
    RunUntil(QDateTime(kFriday, QTime(10, 31, 0)));
    EXPECT_EQ(history, (QStringList{QStringLiteral("10:10:10 SPOT NÃO TOCADO - HORA.MP3 - atrasado"),
                                    QStringLiteral("10:10:10 SPOT NÃO TOCADO - HORA.MP3 - atrasado"),
                                    QStringLiteral("10:10:10 SPOT NÃO TOCADO - HORA.MP3 - atrasado"),  // 09:00, 09:30, 10:00
                                    QStringLiteral("10:30:00 SPOT - HORA.MP3")}));
}

TEST_F(SpotScheduleTest, ASpotWhileDeactivatedIsNeitherPlayedNorMissed) {
    Week(QStringLiteral("08:00:00"), QStringLiteral("18:00:00"));
    Spots("10:00:00;1234567;OFERTA.MP3\r\n10:30:00;1234567;FECHA.MP3\r\n", {QStringLiteral("OFERTA.MP3"), QStringLiteral("FECHA.MP3")});
    Start(QDateTime(kFriday, QTime(9, 50, 0)));
    RunUntil(QDateTime(kFriday, QTime(9, 55, 0)));
    spots->Deactivate(500);  // the daily run stops ticking
    clock.Set(QDateTime(kFriday, QTime(10, 20, 0)));
    RunUntil(QDateTime(kFriday, QTime(10, 31, 0)));  // activated again
    EXPECT_EQ(history, QStringList{QStringLiteral("10:30:00 SPOT - FECHA.MP3")});
}

TEST_F(SpotScheduleTest, AClockMovedForwardPastASpotMissesItAsLate) {
    Week(QStringLiteral("08:00:00"), QStringLiteral("18:00:00"));
    Spots("10:00:00;1234567;OFERTA.MP3\r\n10:03:00;1234567;FECHA.MP3\r\n", {QStringLiteral("OFERTA.MP3"), QStringLiteral("FECHA.MP3")});
    Start(QDateTime(kFriday, QTime(9, 57, 0)));
    RunUntil(QDateTime(kFriday, QTime(9, 57, 30)));
    clock.Set(QDateTime(kFriday, QTime(10, 2, 30)));  // five minutes ahead in one step
    RunUntil(QDateTime(kFriday, QTime(10, 4, 0)));
    EXPECT_EQ(history, (QStringList{QStringLiteral("10:02:40 SPOT NÃO TOCADO - OFERTA.MP3 - atrasado"),
                                    QStringLiteral("10:03:00 SPOT - FECHA.MP3")}));
    history.clear();
    spots->WriteSummary();
    EXPECT_EQ(history, QStringList{QStringLiteral("10:04:00 RESUMO DE SPOTS - Tocados: 1  Não tocados: 1")});
}

TEST_F(SpotScheduleTest, ASpotInTheHourSummerTimeSkipsIsMissedNotPlayedAfterTheGap) {
    ScopedTimeZone lisbon("Europe/Lisbon");  // 29 March 2026: 01:00 becomes 02:00
    const QDate saturday(2026, 3, 28);
    Week(QStringLiteral("22:00:00"), QStringLiteral("04:00:00"));
    Spots("01:30:00;1;NOITE.MP3\r\n02:30:00;1;MADRUGADA.MP3\r\n", {QStringLiteral("NOITE.MP3"), QStringLiteral("MADRUGADA.MP3")});
    Start(QDateTime(saturday, QTime(23, 50)));
    RunUntil(QDateTime(saturday.addDays(1), QTime(2, 40)));
    EXPECT_EQ(history, (QStringList{QStringLiteral("02:00:00 SPOT NÃO TOCADO - NOITE.MP3 - atrasado"),
                                    QStringLiteral("02:30:00 SPOT - MADRUGADA.MP3")}));
}

TEST_F(SpotScheduleTest, SpotsIniChangedWhileRunningIsTakenWithinAMinute) {
    Week(QStringLiteral("08:00:00"), QStringLiteral("18:00:00"));
    Spots("10:00:00;1234567;A.MP3\r\n", {QStringLiteral("A.MP3"), QStringLiteral("B.MP3"), QStringLiteral("C.MP3")});
    Start(QDateTime(kFriday, QTime(9, 55, 0)));
    RunUntil(QDateTime(kFriday, QTime(9, 58, 0)));
    WriteBytes(folder.File(kSpotsIni), "10:00:00;1234567;B.MP3\r\n10:00:00;1234567;C.MP3\r\nxx\r\nABAIXAR_DB=10\r\n");
    RunUntil(QDateTime(kFriday, QTime(10, 1, 0)));
    EXPECT_EQ(history, (QStringList{QStringLiteral("09:59:00 SPOTS.INI: linha inválida - 3"),
                                    QStringLiteral("10:00:00 SPOT - B.MP3"),
                                    QStringLiteral("10:00:20 SPOT - C.MP3")}));  // one after the other
    // The music went down once for both, by the new figure, and came back after the second.
    EXPECT_EQ(ducks, (QStringList{QStringLiteral("-10 300"), QStringLiteral("0 1000")}));
}

}  // namespace
