#pragma once
// The application object of the program. An exception that leaves an event handler (a timer
// tick, a click, a player's stop event) must not end the program: it is shown in the standard
// error box and the program goes on with the next event.
#include <QApplication>

#include <exception>
#include <functional>

class Tfrm_sonarisv1AAC;

class SonarisApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception in the standard error box.
void ShowStandardErrorBox(const std::exception_ptr& error);

// Runs one delivery; an exception it throws is shown in the standard error box and counts as
// an event nobody handled (false).
bool DeliverReportingErrors(const std::function<bool()>& deliver);

// The program ends when its main window closes, and only then: while the main window waits in
// the notification area, closing a message box or the schedule editor closes the last visible
// window, which must not end the player.
void EndWithMainWindow(Tfrm_sonarisv1AAC& mainWindow);
