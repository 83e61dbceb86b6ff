#include "system/messageboxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {
class RealMessageBoxes : public IMessageBoxes {
public:
    void Message(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
        box.exec();
    }
    bool Confirm(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok;
    }
    void Error(const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
        box.exec();
    }
    void Beep() override { QApplication::beep(); }
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
