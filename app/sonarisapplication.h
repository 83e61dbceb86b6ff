#pragma once
// The application object of the program. An exception that leaves an event handler (a timer
// tick, a click, a player's stop event) must not end the program: it is shown in the standard
// error box and the program goes on with the next event.
#include <QApplication>

#include <functional>

class SonarisApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs one delivery; an exception it throws is shown in the standard error box and counts as
// an event nobody handled (false).
bool DeliverReportingErrors(const std::function<bool()>& deliver);
