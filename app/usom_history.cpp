// The history log: the "Histórico" memo and its copy on disk, one file per day in HistoryDir.
// The file is rewritten whole at each entry, so it always equals the memo; a file that cannot
// be written costs nothing but that copy, and the next entry tries again with the whole memo.
// The rewrite goes through a temporary file renamed over the day file, so a full disk leaves
// the previous copy whole instead of an emptied day file.
#include "app/usom.h"

#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/funcoes.h"
#include "ui_usom.h"

#include <QFileInfo>
#include <QTextBlock>
#include <QTextDocument>

namespace {
QStringList MemoLines(const QPlainTextEdit* memo) {
    QStringList lines;
    const QTextDocument* doc = memo->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines << block.text();
    return lines;
}
}  // namespace

QString Tfrm_sonarisv1AAC::HistoryDayFile(const QDate& date) const {
    return PlayerState.HistoryDir + QString::number(date.year()) + PadLeftZeros(QString::number(date.month()), 2) +
           PadLeftZeros(QString::number(date.day()), 2) + QStringLiteral(".PCS");
}

void Tfrm_sonarisv1AAC::Salva_Historico(const QString& message) {
    const QString path = HistoryDayFile(Today());
    // No file for today yet: a new day (or a removed file) starts with an empty memo.
    if (!QFileInfo::exists(path)) ui->Memo1->clear();
    const QString line = FormatTime(TimeOfDay()) + QStringLiteral(" - ") + message;
    ui->Memo1->appendPlainText(line);
    WriteLines1252Atomic(path, MemoLines(ui->Memo1));
    if (Fleet) Fleet->HistoryLine(line, Today());
}
