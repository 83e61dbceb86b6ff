// Alt+I: the service report (diagnostics.h) in a box.
#include "app/usom.h"

#include "app/diagnostics.h"

#include "system/messageboxes.h"
#include "ui/thdtimer.h"

#include <QApplication>

bool Tfrm_sonarisv1AAC::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (key != Qt::Key_I) return false;
    // Exactly Alt: no Shift, no Ctrl, no other modifier and no mouse button held.
    if ((modifiers & ~Qt::KeypadModifier) != Qt::AltModifier) return false;
    if (QApplication::mouseButtons() != Qt::NoButton) return false;
    MessageBoxes().Message(DiagnosticsReport(), ApplicationTitle());
    return true;
}

QString Tfrm_sonarisv1AAC::DiagnosticsReport() { return ServiceReport(WebPlayer, LocalPlayer, timer_meter->Enabled()); }
