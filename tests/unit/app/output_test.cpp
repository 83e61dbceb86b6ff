// The sound output goes away while the stream plays and comes back as another device: one
// history line each way, the status line while it is away, the earlier status given back.
#include "ui_usom.h"
#include "controllerfixture.h"

TEST_F(ControllerFixture, LostOutputIsToldOnceAndItsReturnGivesTheStatusBack) {
    ActivateAndConnect();
    ASSERT_NE(WebChannel(), nullptr);
    w->ui->Label10->setText("Conexão Estabilizada...");
    ClearHistory();

    lib.LoseOutput(1);
    w->Timer_sempreTimer();
    w->Timer_sempreTimer();
    EXPECT_EQ(History(), QStringList{"SAÍDA DE ÁUDIO PERDIDA"});
    EXPECT_EQ(w->ui->Label10->text(), "Saída de Áudio Indisponível - Aguardando Dispositivo...");
    EXPECT_EQ(WebChannel()->active, soundlib::BASS_ACTIVE_PLAYING);  // the run goes on: the channel waits

    lib.RestoreOutput(1, "Alto-falantes USB");
    w->Timer_sempreTimer();
    w->Timer_sempreTimer();
    EXPECT_EQ(History(), (QStringList{"SAÍDA DE ÁUDIO PERDIDA", "SAÍDA DE ÁUDIO RESTABELECIDA: Alto-falantes USB"}));
    EXPECT_EQ(w->ui->Label10->text(), "Conexão Estabilizada...");
    EXPECT_EQ(WebChannel()->active, soundlib::BASS_ACTIVE_PLAYING);
}
