// The sound output that goes away and comes back. The sound library notices it and brings
// the output back by itself; the window only says so, in the history and the status line.
// The daily run goes on meanwhile: the players keep their channels, which stand still
// until an output is there again.
#include "app/usom.h"

#include "audio/uzorvanbass.h"
#include "ui_usom.h"

void Tfrm_sonarisv1AAC::Verifica_Saida() {
    const QString unavailable = QStringLiteral("Saída de Áudio Indisponível - Aguardando Dispositivo...");
    // Both players play on the same device, so the stream player's output speaks for both.
    const bool lost = WebPlayer->OutputLost();
    if (lost && !outputLost_) Salva_Historico(QStringLiteral("SAÍDA DE ÁUDIO PERDIDA"));
    if (lost && ui->Label10->text() != unavailable) {
        // The run goes on writing its status meanwhile: the latest is what the line shows once
        // the output is back; until then the line says why nothing is heard.
        statusBeforeLoss_ = ui->Label10->text();
        ui->Label10->setText(unavailable);
    }
    if (!lost && outputLost_) {
        Salva_Historico(QStringLiteral("SAÍDA DE ÁUDIO RESTABELECIDA: ") + WebPlayer->OutputName());
        ui->Label10->setText(statusBeforeLoss_);
    }
    outputLost_ = lost;
}

int Tfrm_sonarisv1AAC::PlayerDevice(TZorvanBass* player, bool named) {
    return named ? player->DeviceOrDefault(PlayerState.DeviceIndex) : int(lib_.GetDefaultDevice());
}
