#include "ui/widgets/ledlamp.h"

#include <QPainter>
#include <QRadialGradient>

TLedLamp::TLedLamp(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TLedLamp::SetLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

void TLedLamp::SetColor(QColor color) {
    if (color == color_) return;
    color_ = color;
    if (!lit_) update();
}

void TLedLamp::SetLitColor(QColor color) {
    if (color == litColor_) return;
    litColor_ = color;
    if (lit_) update();
}

void TLedLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMax(2, qMin(width(), height()) - 2);
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    const QColor base = lit_ ? litColor_ : color_;
    // A highlight towards the upper left makes the lamp read as a lens.
    QRadialGradient g(r.left() + r.width() * 0.35, r.top() + r.height() * 0.35, r.width() * 0.7);
    g.setColorAt(0, base.lighter(lit_ ? 160 : 220));
    g.setColorAt(1, base);
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawEllipse(r);
}
