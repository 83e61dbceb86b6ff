#include "ui/widgets/ledgauge.h"

#include <QPainter>

#include <algorithm>

namespace {
constexpr int kLedStep = 4;  // one LED and its gap, in pixels along the gauge
const QColor kUnlit(192, 192, 192);
}  // namespace

TLedGauge::TLedGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLedGauge::SetPosition(int position) {
    position = std::clamp(position, 0, 100);
    if (position == position_) return;
    position_ = position;
    update();
}

void TLedGauge::SetOrientation(Qt::Orientation orientation) {
    if (orientation == orientation_) return;
    orientation_ = orientation;
    updateGeometry();
    update();
}

QColor TLedGauge::BandColor(int percent) {
    if (percent <= kFirstBandEnd) return {254, 248, 233};
    if (percent <= kSecondBandEnd) return {253, 242, 208};
    return Qt::red;
}

QSize TLedGauge::sizeHint() const {
    return orientation_ == Qt::Horizontal ? QSize(154, 18) : QSize(17, 127);
}

void TLedGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const bool vertical = orientation_ == Qt::Vertical;
    const int length = (vertical ? height() : width()) - 2;
    const int thickness = (vertical ? width() : height()) - 4;
    const int leds = std::max(1, length / kLedStep);
    const int lit = (position_ * leds + 50) / 100;
    for (int i = 0; i < leds; ++i) {
        const int percent = (i + 1) * 100 / leds;
        const QColor c = i < lit ? BandColor(percent) : kUnlit;
        const int along = 1 + i * kLedStep;
        if (vertical)
            p.fillRect(2, height() - along - (kLedStep - 1), thickness, kLedStep - 1, c);
        else
            p.fillRect(along, 2, kLedStep - 1, thickness, c);
    }
}
