#include "app/sonarisapplication.h"

#include "app/usom.h"
#include "system/messageboxes.h"

#include <exception>

bool DeliverReportingErrors(const std::function<bool()>& deliver) {
    try {
        return deliver();
    } catch (const std::exception& e) {
        MessageBoxes().Error(QString::fromLocal8Bit(e.what()), ApplicationTitle());
    } catch (...) {
        MessageBoxes().Error(QStringLiteral("Erro inesperado"), ApplicationTitle());
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
