// A bar open until two in the morning: Friday's window from 22:00 to 02:00 on the fake clock,
// ticked as the daily run ticks. Across midnight nothing happens; the close, the account line
// and the reading of Saturday's own window come at the night's stop.
#include "ui_usom.h"
#include "controllerfixture.h"

#include "system/codepage1252.h"

#include <algorithm>

namespace {
int Attempts(const FakeSoundLib& lib) { return lib.CountCalls("BASS_AAC_StreamCreateURL"); }
const QDate kFriday(2026, 12, 11);
const QDate kSaturday(2026, 12, 12);
}  // namespace

class NightWindowTest : public ControllerFixture {
protected:
    void SetUp() override {}  // each test sets the clock and the week, then creates the window

    // Every day 08:00 to 18:00 but Friday (line 6) and Saturday (line 7).
    void StartAt(const QDateTime& now, const QString& friday, const QString& saturday = "|08:00:00|18:00:00|0|0") {
        clock.Set(now);
        QStringList week(7, "|08:00:00|18:00:00|0|0");
        week[5] = friday;
        week[6] = saturday;
        WriteFile("CFG.ACI", week);
        Create();
        w = window.get();
    }
    // Daily-run ticks every `stepMs` (at most) until the clock reads `until`; steps longer than
    // the tick keep whole nights short and stay within what the day's account books.
    void TickUntil(const QDateTime& until, qint64 stepMs = 500) {
        while (clock.Now() < until) {
            clock.Advance(std::min(stepMs, clock.Now().msecsTo(until)));
            TickGeral();
        }
    }
    // Activation just before the window opens at `open`; the stream plays from the 26th tick.
    void ActivateBefore(const QDateTime& open) {
        clock.Set(open.addSecs(-10));
        w->Button1Click();
        TickUntil(open.addSecs(13));
        ASSERT_EQ(PlayerState.WebError, 0);
    }
    // A date's history file, without the times.
    QStringList DayFile(const QDate& date) const {
        QStringList messages;
        for (const QString& line : ReadLines1252(w->HistoryDayFile(date))) messages << line.mid(11);
        return messages;
    }
    int Closes(const QDate& date) const { return int(DayFile(date).filter("Encerrando Conexão PROGRAMADA").size()); }
};

TEST_F(NightWindowTest, ANightPlaysAcrossMidnightAndClosesAtItsStopThenSaturdayHasItsOwnWindow) {
    StartAt(QDateTime(kFriday, QTime(12, 0)), "|22:00:00|02:00:00|0|0");
    EXPECT_EQ(w->ui->Label13->text(), "22:00:00");
    EXPECT_EQ(w->ui->Label15->text(), "02:00:00 (+1)");
    ActivateBefore(QDateTime(kFriday, QTime(22, 0)));

    TickUntil(QDateTime(kSaturday, QTime(0, 0, 0, 500)), 30000);
    TickUntil(QDateTime(kSaturday, QTime(2, 0)), 30000);
    EXPECT_EQ(DayFile(kFriday), QStringList({"Carregando Sonaris", "Sonaris"}));
    EXPECT_TRUE(DayFile(kSaturday).isEmpty()) << DayFile(kSaturday).join(" | ").toStdString();
    EXPECT_EQ(Attempts(lib), 1);
    EXPECT_FALSE(WebChannel()->sliding);
    EXPECT_EQ(w->ui->Label15->text(), "02:00:00 (+1)");

    TickUntil(QDateTime(kSaturday, QTime(2, 0, 0, 500)));
    // The whole night in the account, silent only until the stream was heard at 22:00:13.
    EXPECT_EQ(DayFile(kSaturday), QStringList({"Encerrando Conexão PROGRAMADA: 02:00:00",
                                               "RESUMO DO DIA - Streaming: 03:59:47  Músicas Locais: 00:00:00  "
                                               "Silêncio: 00:00:13  Quedas: 0"}));
    EXPECT_TRUE(WebChannel()->sliding);
    EXPECT_EQ(w->ui->Label13->text(), "08:00:00");
    EXPECT_EQ(w->ui->Label15->text(), "18:00:00");
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();

    // As after any close, the next window's first attempt comes 121 ticks after it opens.
    TickUntil(QDateTime(kSaturday, QTime(8, 0)), 30000);
    TickUntil(QDateTime(kSaturday, QTime(8, 0, 59, 500)));
    EXPECT_EQ(Attempts(lib), 1);
    TickUntil(QDateTime(kSaturday, QTime(8, 1)));
    EXPECT_EQ(Attempts(lib), 2);
    TickUntil(QDateTime(kSaturday, QTime(18, 0, 0, 500)), 30000);
    EXPECT_EQ(Closes(kSaturday), 2);
}

TEST_F(NightWindowTest, SaturdaysWindowOpeningInsideTheNightPlaysOnWithoutACloseBetween) {
    StartAt(QDateTime(kFriday, QTime(12, 0)), "|22:00:00|02:00:00|0|0", "|01:00:00|10:00:00|0|0");
    EXPECT_EQ(w->ui->Label15->text(), "10:00:00 (+1)");
    ActivateBefore(QDateTime(kFriday, QTime(22, 0)));
    TickUntil(QDateTime(kSaturday, QTime(10, 0)), 30000);
    EXPECT_EQ(Closes(kSaturday), 0);
    EXPECT_FALSE(WebChannel()->sliding);
    EXPECT_EQ(Attempts(lib), 1);
    TickUntil(QDateTime(kSaturday, QTime(10, 0, 0, 500)));
    EXPECT_EQ(Closes(kSaturday), 1);
    EXPECT_TRUE(WebChannel()->sliding);
}

TEST_F(NightWindowTest, AStartAtOneInTheMorningPlaysFridaysNightUntilItsStop) {
    StartAt(QDateTime(kSaturday, QTime(1, 0)), "|22:00:00|02:00:00|0|0", "||||");
    EXPECT_EQ(w->ui->Label13->text(), "22:00:00");
    EXPECT_EQ(w->ui->Label15->text(), "02:00:00 (+1)");
    EXPECT_EQ(w->ui->Label10->text(), "Status");
    w->Button1Click();
    TickUntil(QDateTime(kSaturday, QTime(1, 0, 13)));
    EXPECT_EQ(Attempts(lib), 1);
    EXPECT_EQ(PlayerState.WebError, 0);
    TickUntil(QDateTime(kSaturday, QTime(2, 0, 0, 500)), 30000);
    EXPECT_EQ(Closes(kSaturday), 1);
    EXPECT_EQ(w->ui->Label10->text(), QStringLiteral("ACIONAMENTO PARA HOJE NÃO PROGRAMADO..."));
}

TEST_F(NightWindowTest, DeactivatedAndActivatedAgainAfterMidnightTheNightGoesOn) {
    StartAt(QDateTime(kFriday, QTime(12, 0)), "|22:00:00|02:00:00|0|0");
    ActivateBefore(QDateTime(kFriday, QTime(22, 0)));
    TickUntil(QDateTime(kSaturday, QTime(0, 30)), 30000);
    boxes.answers = {true};
    w->Button1Click();
    EXPECT_EQ(DayFile(kSaturday).value(0), QStringLiteral("DESATIVADO PELO USUÁRIO"));
    EXPECT_TRUE(DayFile(kSaturday).value(1).startsWith("RESUMO DO DIA - Streaming: 02:29:47"));

    clock.Set(QDateTime(kSaturday, QTime(0, 31)));
    w->Button1Click();
    TickUntil(QDateTime(kSaturday, QTime(0, 31, 13)));
    EXPECT_EQ(Attempts(lib), 2);
    EXPECT_EQ(PlayerState.WebError, 0);
    EXPECT_EQ(w->ui->Label15->text(), "02:00:00 (+1)");
    TickUntil(QDateTime(kSaturday, QTime(2, 0, 0, 500)), 30000);
    EXPECT_EQ(Closes(kSaturday), 1);
    EXPECT_TRUE(WebChannel()->sliding);
}

// Lisbon, 2026: Saturday's night runs into the Sunday on which the clocks change at 01:00 UTC.
class SummerTimeNightTest : public NightWindowTest {
protected:
    // Saturday 22:00 to 01:30 on Sunday, activated and playing; then ticks until `until` (UTC).
    void PlayNightUntil(const QDate& saturday, const QDateTime& until) {
        StartAt(QDateTime(saturday, QTime(12, 0)), "|08:00:00|18:00:00|0|0", "|22:00:00|01:30:00|0|0");
        ActivateBefore(QDateTime(saturday, QTime(22, 0)));
        TickUntil(until, 30000);
    }
    static QDateTime Utc(const QDate& date, const QTime& time) {
        return QDateTime::fromMSecsSinceEpoch(QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch());
    }
    ScopedTimeZone lisbon{"Europe/Lisbon"};
};

TEST_F(SummerTimeNightTest, AStopInTheHourTheClocksSkipClosesAtTheirJump) {
    const QDate sunday(2026, 3, 29);
    PlayNightUntil(sunday.addDays(-1), Utc(sunday, QTime(1, 0)));  // 00:59:59.999 was followed by 02:00:00
    EXPECT_EQ(clock.Now().time(), QTime(2, 0));
    EXPECT_EQ(Closes(sunday), 0);
    TickUntil(Utc(sunday, QTime(1, 0, 0, 500)));
    EXPECT_EQ(DayFile(sunday).value(0), "Encerrando Conexão PROGRAMADA: 02:00:00");
    EXPECT_TRUE(DayFile(sunday).value(1).startsWith("RESUMO DO DIA - Streaming: 02:59:47"));  // three real hours
}

TEST_F(SummerTimeNightTest, AStopInTheHourTheClocksRepeatClosesAtItsFirstOccurrence) {
    const QDate sunday(2026, 10, 25);
    PlayNightUntil(sunday.addDays(-1), Utc(sunday, QTime(0, 30)));  // 01:30 summer time
    EXPECT_EQ(Closes(sunday), 0);
    TickUntil(Utc(sunday, QTime(0, 30, 0, 500)));
    EXPECT_EQ(DayFile(sunday).value(0), "Encerrando Conexão PROGRAMADA: 01:30:00");
    EXPECT_TRUE(DayFile(sunday).value(1).startsWith("RESUMO DO DIA - Streaming: 03:29:47"));
    // The hour again, on winter time: the night is over and nothing opens.
    TickUntil(Utc(sunday, QTime(1, 45)), 30000);
    EXPECT_EQ(Closes(sunday), 1);
    EXPECT_EQ(Attempts(lib), 1);
}
