#include "system/messageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <map>

namespace {
// The program's texts break lines with a bare carriage return, as the Windows boxes showed
// them; Qt's labels break only at line feeds.
QString ForDisplay(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

class RealMessageBoxes : public IMessageBoxes {
public:
    void Message(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, caption, ForDisplay(text), QMessageBox::Ok);
        box.exec();
    }
    bool Confirm(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, caption, ForDisplay(text), QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok;
    }
    void Error(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::Critical, caption, ForDisplay(text), QMessageBox::Ok);
        box.exec();
    }
    void Notice(const QString& kind, const QString& text, const QString& caption) override {
        QPointer<QMessageBox>& open = notices_[kind];
        if (open) return;
        auto* box = new QMessageBox(QMessageBox::NoIcon, caption, ForDisplay(text), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
        open = box;
    }
    void Beep() override { QApplication::beep(); }

private:
    std::map<QString, QPointer<QMessageBox>> notices_;
};
RealMessageBoxes realBoxes;
IMessageBoxes* current = &realBoxes;
}  // namespace

IMessageBoxes& MessageBoxes() { return *current; }
void SetMessageBoxes(IMessageBoxes* boxes) { current = boxes ? boxes : &realBoxes; }

QString ApplicationTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Vendrasil Sonaris-V1 - DEMONSTRATIVO") : name;
}
