#include "system/regional.h"

#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "system/regionalread.h"

#include <QRegularExpression>

namespace {

const QString kTimeText = QStringLiteral("00:00:00");
const QString kDateText = QStringLiteral("01/01/2003");
const QString kCorrectionFailed = QStringLiteral("Não foi possível efetuar a correção - Verifique");

void Show(const QString& text) { MessageBoxes().Message(text, ApplicationTitle()); }

// The time format without its seconds, the way the short time format of the system reads.
QString ShortTimeFormat(const QString& longFormat) {
    QString f = longFormat;
    f.remove(QRegularExpression(QStringLiteral("[^hHmsaApP']*s+")));
    return f.trimmed().isEmpty() ? longFormat : f;
}

}  // namespace

bool CheckRegionalFormats() {
    bool result = true;
    if (FileExistsRaw(ProgramFolder() + QStringLiteral("DATA.INI"))) return result;

    const QString timeFormat = UserTimeFormat();
    const QString dateFormat = UserShortDateFormat();

    std::optional<QTime> time = ReadTimeWithFormat(kTimeText, timeFormat);
    if (!time) {
        Show(QStringLiteral("Formato de Hora Inválido:") + ShortTimeFormat(timeFormat));
        result = false;
        time = QTime(0, 0);
    }
    std::optional<QDate> date = ReadDateWithFormat(kDateText, dateFormat);
    if (!date) {
        Show(QStringLiteral("Formato de Data Inválido:") + dateFormat);
        result = false;
        date = QDate(1899, 12, 30);  // the zero date, so the question below is asked
    }

    if (time->toString(timeFormat) != kTimeText) {
        if (ConfirmBox(QStringLiteral("O Formato de HORA Padrão do Windows está em modo incompatível com o sistema Vendrasil"
                                      "\r\rDESEJA QUE O SOFTWARE ACERTE O FORMATO PADRÃO PARA HH:mm:ss ??"))) {
            if (!SetUserTimeFormat(QStringLiteral("HH:mm:ss"))) Show(kCorrectionFailed);
        }
        result = false;
    }
    if (date->toString(dateFormat) != kDateText) {
        if (ConfirmBox(QStringLiteral("O Formato de DATA Padrão do Windows está em modo incompatível com o sistema Vendrasil"
                                      "\r\rDESEJA QUE O SOFTWARE ACERTE O FORMATO PADRÃO PARA dd/MM/aaaa ??"))) {
            if (!SetUserShortDateFormat(QStringLiteral("dd/MM/yyyy"))) Show(kCorrectionFailed);
        }
        result = false;
    }
    return result;
}
