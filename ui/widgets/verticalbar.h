#pragma once
// TVerticalBar: a vertical progress bar, 0 to 100, filled from the bottom with a gradient
// from navy to cyan on a black background.
#include <QWidget>

class TVerticalBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int position READ Position WRITE SetPosition)
public:
    explicit TVerticalBar(QWidget* parent = nullptr);

    // Clamped to 0..100.
    void SetPosition(int position);
    int Position() const { return position_; }

    // The name uic calls for the property set in a layout.
    void setPosition(int position) { SetPosition(position); }

    QSize sizeHint() const override { return {20, 98}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int position_ = 0;
};
