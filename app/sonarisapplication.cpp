#include "app/sonarisapplication.h"

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
