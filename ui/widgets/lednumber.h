#pragma once
// TLedNumber: an LED number display of five digits (seven-segment), range 0..65536.
#include <QColor>
#include <QWidget>

class TLedNumber : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int value READ Value WRITE SetValue)
public:
    explicit TLedNumber(QWidget* parent = nullptr);

    static constexpr int kDigits = 5;
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 65536;

    // Clamped to the range.
    void SetValue(int value);
    int Value() const { return value_; }

    // The name uic calls for the property set in a layout.
    void setValue(int value) { SetValue(value); }

    QSize sizeHint() const override { return {80, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintDigit(class QPainter& p, const QRectF& cell, int digit, bool blank);
    int value_ = 0;
};
