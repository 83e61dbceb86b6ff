#include "app/day.h"

#include <algorithm>
#include <array>

namespace {
using S = DayState;
using E = DayEvent;

// How a day moves. Read a row as "from FROM to TO when EVENT". The derivation behind Set
// (TDailyRun::Olha_Dia) puts the run first, the output second, the window third, then which
// player is heard; so switching off reaches every state, and a lost output every active one.
constexpr std::array kTransitions{
    // Switched on: outside the window, inside it waiting for the first attempt, over a local
    // track the operator started by hand, or onto an output that is already gone.
    DayTransition{S::Desativado, S::ForaDoHorario, E::Ativacao},
    DayTransition{S::Desativado, S::Silencio, E::Ativacao},
    DayTransition{S::Desativado, S::Local, E::Ativacao},
    DayTransition{S::Desativado, S::SaidaPerdida, E::Ativacao},
    // Switched off, from anywhere.
    DayTransition{S::ForaDoHorario, S::Desativado, E::Desativacao},
    DayTransition{S::Conectando, S::Desativado, E::Desativacao},
    DayTransition{S::Stream, S::Desativado, E::Desativacao},
    DayTransition{S::Local, S::Desativado, E::Desativacao},
    DayTransition{S::Silencio, S::Desativado, E::Desativacao},
    DayTransition{S::SaidaPerdida, S::Desativado, E::Desativacao},
    // The window opens (silence until the first attempt, or a track already playing) and gives
    // way (its close follows at the same tick).
    DayTransition{S::ForaDoHorario, S::Silencio, E::Tick},
    DayTransition{S::ForaDoHorario, S::Local, E::Tick},
    DayTransition{S::Silencio, S::ForaDoHorario, E::Tick},
    DayTransition{S::Conectando, S::ForaDoHorario, E::Tick},
    DayTransition{S::Stream, S::ForaDoHorario, E::Tick},
    DayTransition{S::Local, S::ForaDoHorario, E::Tick},
    // An attempt: started in silence, it ends on the stream or, failed, in silence until the
    // local track that follows it starts; the window may give way meanwhile.
    DayTransition{S::Silencio, S::Conectando, E::Tentativa},
    DayTransition{S::Conectando, S::Stream, E::TentativaFim},
    DayTransition{S::Conectando, S::Silencio, E::TentativaFim},
    DayTransition{S::Conectando, S::ForaDoHorario, E::TentativaFim},
    // The stream lost or given up: silence, until the local track that follows it starts.
    DayTransition{S::Stream, S::Silencio, E::StreamPerdido},
    // A local track starts (the fall-back, or the operator's Play), and one ends: the stream
    // back on air behind it, an attempt still running, or nothing left to play.
    DayTransition{S::Silencio, S::Local, E::FaixaLocal},
    DayTransition{S::Conectando, S::Local, E::FaixaLocal},
    DayTransition{S::Stream, S::Local, E::FaixaLocal},
    DayTransition{S::Local, S::Stream, E::FimDaFaixa},
    DayTransition{S::Local, S::Conectando, E::FimDaFaixa},
    DayTransition{S::Local, S::Silencio, E::FimDaFaixa},
    // The output lost and back.
    DayTransition{S::ForaDoHorario, S::SaidaPerdida, E::Saida},
    DayTransition{S::Conectando, S::SaidaPerdida, E::Saida},
    DayTransition{S::Stream, S::SaidaPerdida, E::Saida},
    DayTransition{S::Local, S::SaidaPerdida, E::Saida},
    DayTransition{S::Silencio, S::SaidaPerdida, E::Saida},
    DayTransition{S::SaidaPerdida, S::ForaDoHorario, E::Saida},
    DayTransition{S::SaidaPerdida, S::Conectando, E::Saida},
    DayTransition{S::SaidaPerdida, S::Stream, E::Saida},
    DayTransition{S::SaidaPerdida, S::Local, E::Saida},
    DayTransition{S::SaidaPerdida, S::Silencio, E::Saida},
    // The scheduled close: what still sounded after the stop fades; the day is outside.
    DayTransition{S::Stream, S::ForaDoHorario, E::Fechamento},
    DayTransition{S::Local, S::ForaDoHorario, E::Fechamento},
    DayTransition{S::Silencio, S::ForaDoHorario, E::Fechamento},
};
}  // namespace

std::span<const DayTransition> TDay::Transitions() { return kTransitions; }

bool TDay::Allowed(DayState from, DayState to, DayEvent by) {
    return std::any_of(kTransitions.begin(), kTransitions.end(),
                       [&](const DayTransition& t) { return t.from == from && t.to == to && t.by == by; });
}

bool TDay::Set(DayState next, DayEvent why, const QDateTime& at) {
    if (next == now_) return false;
    if (!Allowed(now_, next, why)) ++unknown_;
    const DayState from = now_;
    now_ = next;
    since_ = at;
    emit Changed(from, next, why);
    return true;
}

QString TDay::FleetName(DayState state) {
    switch (state) {
    case DayState::Desativado: return QStringLiteral("desativado");
    case DayState::ForaDoHorario: return QStringLiteral("fora_do_horario");
    case DayState::Conectando: return QStringLiteral("conectando");
    case DayState::Stream: return QStringLiteral("stream");
    case DayState::Local: return QStringLiteral("local");
    case DayState::Silencio: return QStringLiteral("silencio");
    case DayState::SaidaPerdida: return QStringLiteral("saida_perdida");
    }
    return QString();
}
