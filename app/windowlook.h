#pragma once
// The main window's look as designed (fonts, colours, icons, the music list's grid), the
// customer's logo, the lamps' colours that the daily run changes, and the wiring of its
// menus, buttons and keys to the window's handlers.
class QColor;
class QKeyEvent;
class QLabel;
class QString;
class Tfrm_sonarisv1AAC;

void SetUpWindow(Tfrm_sonarisv1AAC& w);
// LOGO/LOGO.JPG of `folder`, or an outlined empty area whose hint says where to put one.
void LoadLogo(Tfrm_sonarisv1AAC& w, const QString& folder);
void PaintIndicator(QLabel* label, const QColor& colour);
void SetUpMenus(Tfrm_sonarisv1AAC& w);
void ConnectButtons(Tfrm_sonarisv1AAC& w);
// Key preview: F1, F10, F11 and Alt+I are the window's; other characters go to FormKeyPress
// and on to the control. True when the key is used up.
bool PreviewKey(Tfrm_sonarisv1AAC& w, QKeyEvent* event);
