#pragma once
// Every message box of the program goes through MessageBoxes(). The real one shows modal
// QMessageBoxes, whose nested event loop keeps serving the threaded timers, and notices that
// wait for nothing; tests install a recording one that answers from a script.
#include <QString>

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Plain modal box with a single OK button and no icon (the toolkit's ShowMessage, the
    // system message box of the single-instance refusal, the diagnostics report).
    virtual void Message(const QString& text, const QString& caption) = 0;
    // Modal box with OK and Cancel, no icon. True only for OK (Cancel, Esc and the close box
    // give false).
    virtual bool Confirm(const QString& text, const QString& caption) = 0;
    // Modal box with the error icon and OK (the wrong-library box, the standard error box
    // for an unexpected error inside a handler).
    virtual void Error(const QString& text, const QString& caption) = 0;
    // A box that holds nothing: shown without a nested event loop, it returns at once and
    // nobody waits for its answer, so an unattended player goes on behind it. While a notice of
    // the same kind is open, another of that kind is not shown: they would only pile up.
    virtual void Notice(const QString& kind, const QString& text, const QString& caption) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
};

IMessageBoxes& MessageBoxes();
// Installs a seam (not owned); nullptr goes back to the real boxes.
void SetMessageBoxes(IMessageBoxes* boxes);

// Caption of the plain boxes: the application title.
QString ApplicationTitle();
