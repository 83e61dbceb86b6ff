// The day as one value: a whole day on the fake controller, read back as the moves it made,
// each with the event that caused it. The list below is the map of how a day moves: activation
// before the window, its opening, the first attempt, the stream lost and local music, the
// stream back at the track's end, the output lost and back, the scheduled close, the switch off.
// And a deactivation, which ends the stream without losing it.
#include "ui_usom.h"
#include "controllerfixture.h"

namespace {
QString EventName(DayEvent e) {
    static const char* const names[] = {"Ativacao", "Desativacao",   "Tick",         "Tentativa", "TentativaFim",
                                        "StreamPerdido", "FaixaLocal", "FimDaFaixa", "Saida",     "Fechamento"};
    return names[int(e)];
}
QString Move(DayState from, DayState to, DayEvent by) {
    return TDay::FleetName(from) + " -> " + TDay::FleetName(to) + " (" + EventName(by) + ")";
}
}  // namespace

class DayTest : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        QObject::connect(&w->Run->Day, &TDay::Changed, [this](DayState from, DayState to, DayEvent by) {
            moves << Move(from, to, by);
            if (!TDay::Allowed(from, to, by)) unknown << moves.last();
        });
    }
    void TickUntil(const QTime& t) {
        while (clock.Now().time() < t) {
            clock.Advance(500);
            TickGeral();
        }
    }
    QStringList moves, unknown;
};

TEST_F(DayTest, AWholeDayMovesOnlyAsTheTableSays) {
    PutMusic({"A.MP3", "B.MP3"});
    At(7, 59, 50);
    w->Button1Click();
    TickUntil(QTime(8, 0, 13));  // the window opens at 08:00; the first attempt at its 26th tick
    ASSERT_EQ(w->Run->Day.Now(), DayState::Stream);

    TickUntil(QTime(9, 0));
    lib.EndChannel(w->WebPlayer->Channel);  // the station ends its stream
    w->WebPlayer->Poll();
    TickUntil(QTime(9, 3));  // the stream comes back behind the local track, held
    EXPECT_EQ(w->EstadoFrota().Now, "local");
    EndLocalTrack();

    lib.LoseOutput(1);
    w->Timer_sempreTimer();
    EXPECT_EQ(w->EstadoFrota().Now, "saida_perdida");
    EXPECT_EQ(w->EstadoFrota().Since, clock.Now());
    lib.RestoreOutput(1, "Alto-falantes USB");
    w->Timer_sempreTimer();

    At(17, 59, 59);
    TickGeral();
    clock.Advance(1500);
    TickGeral();  // the scheduled close
    boxes.answers = {true};
    w->Button1Click();

    EXPECT_EQ(moves, QStringList({
                         "desativado -> fora_do_horario (Ativacao)",
                         "fora_do_horario -> silencio (Tick)",
                         "silencio -> conectando (Tentativa)",
                         "conectando -> stream (TentativaFim)",
                         "stream -> silencio (StreamPerdido)",
                         "silencio -> local (FaixaLocal)",
                         "local -> stream (FimDaFaixa)",
                         "stream -> saida_perdida (Saida)",
                         "saida_perdida -> stream (Saida)",
                         "stream -> fora_do_horario (Fechamento)",
                         "fora_do_horario -> desativado (Desativacao)",
                     }));
    EXPECT_TRUE(unknown.isEmpty()) << unknown.join(" | ").toStdString();
    EXPECT_EQ(w->Run->Day.UnknownMoves(), 0);
}

// Switching off fades the stream out; its stop at the fade's end is no drop: the fleet shows no
// "última queda" and no day's line counts one, also when the run is switched on again during
// the fade.
TEST_F(DayTest, ADeactivationsFadeIsNoDropInTheAccountNorForTheFleet) {
    w->Button1Click();
    TickGeral(26);
    ASSERT_EQ(w->Run->Day.Now(), DayState::Stream);
    boxes.answers = {true};
    w->Button1Click();
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    EXPECT_EQ(History().filter("STOP -  Sonaris").size(), 1);
    EXPECT_FALSE(w->EstadoFrota().LastDrop.isValid());

    w->Button1Click();
    TickGeral(26);
    ASSERT_EQ(w->Run->Day.Now(), DayState::Stream);
    boxes.answers = {true};
    w->Button1Click();
    w->Button1Click();  // on again before the fade has ended
    lib.FinishSlide(w->WebPlayer->Channel);
    w->WebPlayer->Poll();
    TickGeral(30);
    boxes.answers = {true};
    w->Button1Click();
    const QStringList lines = History().filter("RESUMO DO DIA");
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines) EXPECT_TRUE(line.endsWith("Quedas: 0")) << line.toStdString();
    EXPECT_FALSE(w->EstadoFrota().LastDrop.isValid());
}
