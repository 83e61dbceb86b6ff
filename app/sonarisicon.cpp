#include "app/sonarisicon.h"

#include <QPainter>

namespace {
const char kIconResource[] = ":/icons/sonaris-v1.png";

// Drawn in place of the icon file should the resource ever be missing: a tray icon must
// never be empty, or the notification area shows nothing to click.
QPixmap DrawnIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 0, 55));
    p.setPen(QPen(QColor(0, 200, 255), size / 16.0));
    p.drawEllipse(QRectF(size * 0.05, size * 0.05, size * 0.9, size * 0.9));
    QFont f;
    f.setBold(true);
    f.setPixelSize(size * 6 / 10);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("S"));
    return pixmap;
}
}  // namespace

QPixmap SonarisPicture(int size) {
    QPixmap pixmap(QString::fromLatin1(kIconResource));
    if (pixmap.isNull()) return DrawnIcon(size);
    return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QIcon SonarisIcon() {
    QIcon icon(QString::fromLatin1(kIconResource));
    if (icon.isNull() || icon.availableSizes().isEmpty()) return QIcon(DrawnIcon(64));
    return icon;
}
