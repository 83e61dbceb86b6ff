#pragma once
// TLedLamp: a small round LED. Unlit it shows its own dark colour (the layouts give
// RGB(0,45,0)); lit it glows bright green.
#include <QColor>
#include <QWidget>

class TLedLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool lit READ Lit WRITE SetLit)
    Q_PROPERTY(QColor color READ Color WRITE SetColor)
    Q_PROPERTY(QColor litColor READ LitColor WRITE SetLitColor)
public:
    explicit TLedLamp(QWidget* parent = nullptr);

    void SetLit(bool lit);
    bool Lit() const { return lit_; }
    // The unlit colour.
    void SetColor(QColor color);
    QColor Color() const { return color_; }
    void SetLitColor(QColor color);
    QColor LitColor() const { return litColor_; }

    // The names uic calls for properties set in a layout.
    void setLit(bool lit) { SetLit(lit); }
    void setColor(QColor color) { SetColor(color); }
    void setLitColor(QColor color) { SetLitColor(color); }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool lit_ = false;
    QColor color_{0, 45, 0};
    QColor litColor_{0, 255, 0};
};
