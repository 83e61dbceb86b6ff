#pragma once
// What a window that spends the day hidden in the notification area need not hold meanwhile.
class QWidget;

// While `window` is hidden (not merely minimised), its backing store, the window's pixels, as
// large as the window and shared with the X server, is given back; the first paint after the
// window is shown again draws all of it anew, as after a resize.
void ReleasePixelsWhileHidden(QWidget& window);
