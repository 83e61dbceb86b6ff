#pragma once
// TDigitalClock: a label showing the current time of the program's clock, refreshed once a
// second just after the second changes, in the program's time format.
#include <QLabel>
#include <QTimer>

class TDigitalClock : public QLabel {
    Q_OBJECT
public:
    explicit TDigitalClock(QWidget* parent = nullptr);

    // Shows the time now and schedules the next refresh for the start of the next second.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
};
