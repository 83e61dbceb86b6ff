// The history log: the "Histórico" memo and its copy on disk, one file per day in HistoryDir,
// kept by THistoryLog (lines the disk refuses wait there for the next write that succeeds).
#include "app/usom.h"

#include "system/clock.h"
#include "system/funcoes.h"
#include "ui_usom.h"

QString Tfrm_sonarisv1AAC::HistoryDayFile(const QDate& date) const {
    return PlayerState.HistoryDir + QString::number(date.year()) + PadLeftZeros(QString::number(date.month()), 2) +
           PadLeftZeros(QString::number(date.day()), 2) + QStringLiteral(".PCS");
}

void Tfrm_sonarisv1AAC::Salva_Historico(const QString& message) {
    for (const QString& line : history_.Add(*ui->Memo1, Today(), TimeOfDay(), message))
        if (Fleet) Fleet->HistoryLine(line, Today());
}
