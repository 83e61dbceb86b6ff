#pragma once
// The program's icon (the packaging icon, built into the program): the windows' icon, the
// tray icon and the About box's picture.
#include <QIcon>
#include <QPixmap>

QIcon SonarisIcon();
QPixmap SonarisPicture(int size);
