#pragma once
// TDay: what the shop hears now, as one value, and the one place where it changes.
//
// The controller's parts (daily run, connection, local play) act on events; after each one the
// window derives the state from the facts that event left (activated, today's window, the
// output, which player is heard, an attempt running) and hands it to Set, the only writer. The
// fleet's `agora` and `desde`, the status lamps and the account read it from here. The table of
// allowed transitions below is the map of how a day moves; a transition missing from it is
// still taken (the facts are what they are) but counted, so a test of a whole day can say that
// every move it made was a known one.
#include <QDateTime>
#include <QObject>
#include <QString>

#include <span>

enum class DayState { Desativado, ForaDoHorario, Conectando, Stream, Local, Silencio, SaidaPerdida };

enum class DayEvent {
    Ativacao,         // "Ativar", the office's switch or the start with the session
    Desativacao,      // "Desativar", the way out, the office's switch
    Tick,             // the daily run's tick: a window opens or gives way, the ticks lead to an attempt
    Tentativa,        // an attempt at the stream starts
    TentativaFim,     // an attempt ends, opened or failed
    StreamPerdido,    // the stream ended, stalled or fell silent, or was given up
    FaixaLocal,       // a local track starts
    FimDaFaixa,       // a local track ends (the stream comes back behind it, or another track)
    Saida,            // the sound output went away or came back
    Fechamento,       // the scheduled close
};

struct DayTransition {
    DayState from;
    DayState to;
    DayEvent by;
};

class TDay : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    DayState Now() const { return now_; }
    QDateTime Since() const { return since_; }

    // The one writer of the day's state. Returns whether the state changed.
    bool Set(DayState next, DayEvent why, const QDateTime& at);

    // Moves that the table does not list, since the start.
    int UnknownMoves() const { return unknown_; }

    static std::span<const DayTransition> Transitions();
    static bool Allowed(DayState from, DayState to, DayEvent by);
    // The names the fleet publishes.
    static QString FleetName(DayState state);

signals:
    void Changed(DayState from, DayState to, DayEvent why);

private:
    DayState now_ = DayState::Desativado;
    QDateTime since_;
    int unknown_ = 0;
};
