#include "ui/widgets/verticalbar.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

TVerticalBar::TVerticalBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TVerticalBar::SetPosition(int position) {
    position = std::clamp(position, 0, 100);
    if (position == position_) return;
    position_ = position;
    update();
}

void TVerticalBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const int inner = height() - 2;
    const int filled = inner * position_ / 100;
    if (filled <= 0) return;
    // The gradient spans the whole bar, so a level always shows the same colour.
    QLinearGradient g(0, height() - 1, 0, 1);
    g.setColorAt(0, QColor(0, 0, 128));
    g.setColorAt(1, QColor(0, 255, 255));
    p.fillRect(QRect(1, height() - 1 - filled, width() - 2, filled), g);
}
