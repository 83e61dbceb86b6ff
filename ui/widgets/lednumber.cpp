#include "ui/widgets/lednumber.h"

#include <QPainter>

#include <algorithm>

namespace {
// Segments a..g of each digit, as bits 0..6.
constexpr unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
const QColor kOn(0, 255, 0);
const QColor kOff(0, 48, 0);
}  // namespace

TLedNumber::TLedNumber(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLedNumber::SetValue(int value) {
    value = std::clamp(value, kMinimum, kMaximum);
    if (value == value_) return;
    value_ = value;
    update();
}

void TLedNumber::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QString text = QString::number(value_).rightJustified(kDigits, QLatin1Char(' '));
    const double cellWidth = (width() - 4) / double(kDigits);
    for (int i = 0; i < kDigits; ++i) {
        const QChar c = text.at(i);
        const QRectF cell(2 + i * cellWidth, 2, cellWidth, height() - 4);
        PaintDigit(p, cell, c.isDigit() ? c.digitValue() : 0, !c.isDigit());
    }
}

void TLedNumber::PaintDigit(QPainter& p, const QRectF& cell, int digit, bool blank) {
    const double m = std::max(1.0, cell.width() * 0.12);
    const QRectF r = cell.adjusted(m, m, -m, -m);
    const double t = std::max(1.0, std::min(r.width(), r.height()) * 0.16);
    const double midY = r.top() + r.height() / 2;
    const QRectF segs[7] = {
        {r.left() + t, r.top(), r.width() - 2 * t, t},                    // a
        {r.right() - t, r.top() + t, t, midY - r.top() - 1.5 * t},        // b
        {r.right() - t, midY + t / 2, t, r.bottom() - midY - 1.5 * t},    // c
        {r.left() + t, r.bottom() - t, r.width() - 2 * t, t},             // d
        {r.left(), midY + t / 2, t, r.bottom() - midY - 1.5 * t},         // e
        {r.left(), r.top() + t, t, midY - r.top() - 1.5 * t},             // f
        {r.left() + t, midY - t / 2, r.width() - 2 * t, t},               // g
    };
    const unsigned char on = blank ? 0 : kSegments[digit];
    for (int s = 0; s < 7; ++s) p.fillRect(segs[s], (on >> s) & 1 ? kOn : kOff);
}
