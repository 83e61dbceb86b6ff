// Dead air: the stream's own sound, not only its buffer, decides whether it is worth playing.
// An encoder that fails by sending silence keeps the connection up and the buffer full; the
// shop would hear nothing for hours while the monitor reads "Conexão Estabilizada...".
#include "app/usom.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "ui_usom.h"

namespace {
const QString kSilenceStatus = QStringLiteral("Silêncio na Transmissão - Acionando MÚSICAS LOCAIS...");
const QString kSilenceHistory = QStringLiteral("SILÊNCIO NA TRANSMISSÃO - Sonaris");

qint64 NowMs() { return NowDateTime().toMSecsSinceEpoch(); }
}  // namespace

bool Tfrm_sonarisv1AAC::WatchDeadAir() {
    // A speaker or TV switched off takes the mix away, not the stream's sound.
    if (WebPlayer->OutputLost()) DeadAir.Unheard(NowMs());
    else DeadAir.Feed(NowMs(), WebPlayer->GetDecodedPeak());
    if (DeadAir.GivenUp()) {
        // Fading out: the buffer is still full, and its reading would call the stream stable.
        ui->Label10->setText(kSilenceStatus);
        return true;
    }
    // A stream held silent behind a local track is judged when the track ends.
    if (LocalPlayer->IsPlaying() || PlayerState.WebError != 0 || WebPlayer->IsFading()) return false;
    if (!IsActive() || !PlayerState.InsideToday(NowDateTime()) || !DeadAir.Silent()) return false;

    DeadAir.GiveUp();
    GiveUpStream(kSilenceHistory, true);  // the next ticks show kSilenceStatus while it fades
    return true;
}

bool Tfrm_sonarisv1AAC::GiveUpSilentHeldStream() {
    if (!WebPlayer->IsPlaying() || WebPlayer->IsFading() || !DeadAir.SilentWhileHeld()) return false;
    DeadAir.GiveUp();
    // The held stream is at volume 0: its fade-down starts there, not at the ramp's last value,
    // which would bring it up over the next local track.
    PlayerState.RampVolume = 0;
    GiveUpStream(kSilenceHistory, false);  // the caller plays the next local track
    return true;
}
