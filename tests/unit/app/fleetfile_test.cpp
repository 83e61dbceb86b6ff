// FROTA.INI as the window takes it at its first activation: a value that cannot be used is
// named once in the history, and the shop plays on without the fleet.
#include "windowfixture.h"

#include "ui_usom.h"

TEST_F(WindowFixture, AFleetFileThatCannotBeUsedIsNamedInTheHistoryAndTheShopRunsWithoutIt) {
    WriteBytes(folder.File("FROTA.INI"), "SERVIDOR=mqtt://frota.exemplo.com.br\r\nLOJA=214\r\nUSUARIO=loja\r\nSENHA=segredo\r\n");
    Tfrm_sonarisv1AAC& w = Create();
    w.FormActivate();
    QStringList history;
    for (const QString& line : w.ui->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts)) history << line.mid(11);
    EXPECT_EQ(history, QStringList({"** INICIADO O SISTEMA **", "FROTA.INI: configuração inválida - SENHA"}));
    EXPECT_EQ(w.EstadoFrota().Now, "desativado");
}
