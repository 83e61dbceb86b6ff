#include "app/sonarisapplication.h"

#include "app/usom.h"
#include "system/messageboxes.h"

#include <exception>

void ShowStandardErrorBox(const std::exception_ptr& error) {
    QString text = QStringLiteral("Erro inesperado");
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    MessageBoxes().Error(text, ApplicationTitle());
}

bool DeliverReportingErrors(const std::function<bool()>& deliver) {
    try {
        return deliver();
    } catch (...) {
        ShowStandardErrorBox(std::current_exception());
    }
    return false;
}

bool SonarisApplication::notify(QObject* receiver, QEvent* event) {
    return DeliverReportingErrors([&] { return QApplication::notify(receiver, event); });
}

void EndWithMainWindow(Tfrm_sonarisv1AAC& mainWindow) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&mainWindow, &Tfrm_sonarisv1AAC::Closed, qApp, [] { QCoreApplication::exit(0); });
}
