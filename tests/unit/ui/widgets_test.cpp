// The small widgets: ranges, the gauge's colour bands, what each draws, that a repeated
// value does not repaint (they sit on 100 ms ticks), and the clock's one wake a second.
#include "tests/support/testsupport.h"
#include "ui/widgets/digitalclock.h"
#include "ui/widgets/ledgauge.h"
#include "ui/widgets/ledlamp.h"
#include "ui/widgets/lednumber.h"
#include "ui/widgets/verticalbar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

QImage Picture(QWidget& w) { return w.grab().toImage(); }
QColor Pixel(QWidget& w, int x, int y) { return Picture(w).pixelColor(x, y); }

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace

TEST(LedGauge, ClampsToItsRangeAndBandsChangeAt45And75) {
    TLedGauge gauge;
    gauge.SetPosition(-5);
    EXPECT_EQ(gauge.Position(), 0);
    gauge.SetPosition(250);  // a right-channel level of 50000 / 200
    EXPECT_EQ(gauge.Position(), 100);
    EXPECT_EQ(TLedGauge::BandColor(45), QColor(254, 248, 233));
    EXPECT_EQ(TLedGauge::BandColor(46), QColor(253, 242, 208));
    EXPECT_EQ(TLedGauge::BandColor(75), QColor(253, 242, 208));
    EXPECT_EQ(TLedGauge::BandColor(76), QColor(Qt::red));
}

TEST(LedGauge, VerticalGaugeLightsFromTheBottomWithSilverAbove) {
    TLedGauge gauge;
    gauge.SetOrientation(Qt::Vertical);
    gauge.resize(17, 127);
    gauge.SetPosition(50);
    EXPECT_EQ(Pixel(gauge, 8, 124), QColor(254, 248, 233));  // the lowest LED, first band
    EXPECT_EQ(Pixel(gauge, 8, 4), QColor(192, 192, 192));     // the highest, unlit
    gauge.SetPosition(100);
    EXPECT_EQ(Pixel(gauge, 8, 4), QColor(Qt::red));
}

TEST(LedGauge, HorizontalGaugeLightsFromTheLeft) {
    TLedGauge gauge;
    gauge.resize(154, 18);
    gauge.SetPosition(80);
    EXPECT_EQ(Pixel(gauge, 2, 9), QColor(254, 248, 233));
    EXPECT_EQ(Pixel(gauge, 110, 9), QColor(253, 242, 208));
    EXPECT_EQ(Pixel(gauge, 118, 9), QColor(Qt::red));
    EXPECT_EQ(Pixel(gauge, 150, 9), QColor(192, 192, 192));
}

TEST(Widgets, ARepeatedValueDoesNotRepaint) {
    TLedGauge gauge;
    gauge.resize(154, 18);
    gauge.show();
    Settle();
    PaintCounter counter(&gauge);
    gauge.SetPosition(40);
    Settle();
    const int afterChange = counter.paints;
    EXPECT_GE(afterChange, 1);
    gauge.SetPosition(40);
    gauge.SetPosition(-3);  // clamped to 0: a change
    gauge.SetPosition(0);
    Settle();
    EXPECT_EQ(counter.paints, afterChange + 1);

    TLedLamp lamp;
    lamp.show();
    Settle();
    PaintCounter lampCounter(&lamp);
    lamp.SetLit(false);
    Settle();
    EXPECT_EQ(lampCounter.paints, 0);
}

TEST(LedLamp, LitIsBrightGreenAndUnlitItsOwnColour) {
    TLedLamp lamp;
    lamp.resize(15, 15);
    lamp.SetColor(QColor(0, 45, 0));
    const QColor unlit = Pixel(lamp, 10, 10);
    EXPECT_LT(unlit.green(), 120);
    lamp.SetLit(true);
    EXPECT_TRUE(lamp.Lit());
    const QColor lit = Pixel(lamp, 10, 10);
    EXPECT_GT(lit.green(), 200);
    EXPECT_LT(lit.red(), 120);
}

TEST(VerticalBar, FillsFromTheBottomNavyToCyanOnBlack) {
    TVerticalBar bar;
    bar.resize(20, 98);
    EXPECT_EQ(Pixel(bar, 10, 90), QColor(Qt::black));
    bar.SetPosition(100);
    const QColor bottom = Pixel(bar, 10, 96);
    const QColor top = Pixel(bar, 10, 1);
    EXPECT_GT(bottom.blue(), 100);
    EXPECT_LT(bottom.green(), 20);
    EXPECT_GT(top.green(), 230);
    EXPECT_GT(top.blue(), 230);
    bar.SetPosition(50);
    EXPECT_EQ(Pixel(bar, 10, 20), QColor(Qt::black));
    bar.SetPosition(140);
    EXPECT_EQ(bar.Position(), 100);
}

TEST(LedNumber, KeepsFiveDigitsOfItsRange) {
    TLedNumber number;
    number.SetValue(65536);
    EXPECT_EQ(number.Value(), 65536);
    number.SetValue(70000);
    EXPECT_EQ(number.Value(), 65536);
    number.SetValue(-1);
    EXPECT_EQ(number.Value(), 0);
    number.resize(80, 28);
    number.SetValue(8);
    // Only the last digit shows segments; the leading blanks stay dark.
    const QImage picture = Picture(number);
    bool litInFirstCell = false;
    for (int x = 2; x < 16; ++x)
        for (int y = 2; y < 26; ++y)
            if (picture.pixelColor(x, y).green() > 200) litInFirstCell = true;
    EXPECT_FALSE(litInFirstCell);
}

TEST(DigitalClock, ShowsTheProgramClockAndWakesOnceAtTheNextSecond) {
    ScopedFakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7, 400)));
    TDigitalClock label;
    EXPECT_EQ(label.text(), QStringLiteral("09:05:07"));
    label.show();
    auto* timer = label.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_TRUE(timer->isActive());
    EXPECT_GT(timer->interval(), 595);
    EXPECT_LE(timer->interval(), 610);  // the rest of this second, not a full one

    clock.Advance(600);
    label.Refresh();
    EXPECT_EQ(label.text(), QStringLiteral("09:05:08"));
    label.hide();
    EXPECT_FALSE(timer->isActive());  // no wakes while hidden
}
