// The day's account in the history: the daily run looks at the players at each tick, and the
// scheduled close, the deactivation and the next window's reading write what was heard since
// the last such line. The program's end writes nothing: its ways out keep their history as it always was.
#include "app/usom.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"

namespace {
// Heard is what reaches the listener: a player that plays at a volume above 0 on an output
// that is there. A stream held at 0 behind a local track is not heard, nor anything while the
// sound output is lost.
bool Heard(TZorvanBass* player) {
    return player && player->IsPlaying() && player->GetVolume() > 0 && !player->OutputLost();
}

TDayAccount::Heard HeardNow(TZorvanBass* web, TZorvanBass* local) { return {Heard(web), Heard(local)}; }
}  // namespace

void Tfrm_sonarisv1AAC::Inicia_Conta() { DayAccount.Start(NowDateTime(), HeardNow(WebPlayer, LocalPlayer)); }

void Tfrm_sonarisv1AAC::Conta_Dia() {
    DayAccount.Look(NowDateTime(), PlayerState.Window.Open, PlayerState.Window.Close, HeardNow(WebPlayer, LocalPlayer));
}

void Tfrm_sonarisv1AAC::Conta_Queda() {
    lastDrop_ = NowDateTime();
    if (IsActive()) DayAccount.CountDrop();
}

void Tfrm_sonarisv1AAC::Escreve_Resumo() {
    Conta_Dia();
    Salva_Historico(DayAccount.TakeLine());
}
