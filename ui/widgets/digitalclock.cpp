#include "ui/widgets/digitalclock.h"

#include "system/clock.h"
#include "system/formats.h"

#include <QDateTime>

namespace {
QString ClockText(const QTime& t) { return FormatTime(t); }
}  // namespace

TDigitalClock::TDigitalClock(QWidget* parent) : QLabel(parent), timer_(this) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TDigitalClock::Refresh);
    setText(ClockText(TimeOfDay()));
}

void TDigitalClock::Refresh() {
    const QDateTime now = NowDateTime();
    const QString text = ClockText(now.time());
    if (text != this->text()) setText(text);
    // Wake a few milliseconds after the next second begins, so the text never lags or
    // shows the same second twice.
    const int toNext = 1000 - now.time().msec() + 5;
    if (isVisible()) timer_.start(toNext);
}

void TDigitalClock::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    Refresh();
}

void TDigitalClock::hideEvent(QHideEvent* event) {
    QLabel::hideEvent(event);
    timer_.stop();
}
