#pragma once
// TLedGauge: an LED level gauge, 0 to 100. The lit LEDs take the colour of their band: up to
// 45 % RGB(254,248,233), up to 75 % RGB(253,242,208), above that red; unlit LEDs are silver.
// It fills from the left (horizontal) or from the bottom (vertical).
#include <QColor>
#include <QWidget>

class TLedGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int position READ Position WRITE SetPosition)
    Q_PROPERTY(Qt::Orientation orientation READ Orientation WRITE SetOrientation)
public:
    explicit TLedGauge(QWidget* parent = nullptr);

    // Clamped to 0..100.
    void SetPosition(int position);
    int Position() const { return position_; }
    void SetOrientation(Qt::Orientation orientation);
    Qt::Orientation Orientation() const { return orientation_; }

    // The names uic calls for properties set in a layout.
    void setPosition(int position) { SetPosition(position); }
    void setOrientation(Qt::Orientation orientation) { SetOrientation(orientation); }

    static constexpr int kFirstBandEnd = 45;
    static constexpr int kSecondBandEnd = 75;
    // The colour of a lit LED at `percent` of the range.
    static QColor BandColor(int percent);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int position_ = 0;
    Qt::Orientation orientation_ = Qt::Horizontal;
};
