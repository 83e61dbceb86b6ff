#pragma once
// The controller on the fake sound library with today's window 08:00 to 18:00 and the clock
// at 10:00. The timers' real-time ticks are held back (an application event filter eats
// them), so a test drives every tick itself by calling the handlers, and a nested event loop
// (processEvents in an attempt, the folder listing) never slips in a tick of its own.
// Include "ui_usom.h" in the test source before this header: the build generates it only
// for the sources that name it.
#include "windowfixture.h"

#include "local/zorvangrid.h"
#include "ui/thdtimer.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

class HoldRealTimeTicks : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer && qobject_cast<QTimer*>(watched)) return true;
        // The threaded timers hand their ticks over as queued calls on themselves.
        if (event->type() == QEvent::MetaCall && qobject_cast<TThreadedTimer*>(watched)) return true;
        return false;
    }
};

class ControllerFixture : public WindowFixture {
protected:
    ControllerFixture() { QCoreApplication::instance()->installEventFilter(&hold_); }
    ~ControllerFixture() override { QCoreApplication::instance()->removeEventFilter(&hold_); }

    void SetUp() override {
        WriteWindow(QTime(8, 0), QTime(18, 0));
        Create();
        w = window.get();
        lib.calls.clear();
    }

    // The same window on every day of the week, so the clock's weekday needs no care.
    void WriteWindow(const QTime& start, const QTime& stop) {
        const QString line = "|" + start.toString("HH:mm:ss") + "|" + stop.toString("HH:mm:ss") + "|0|0";
        WriteFile("CFG.ACI", QStringList(7, line));
    }

    // Shown, and its first activation (if the platform gives one) over before the test goes on.
    void ShowWindow() {
        w->show();
        PumpEvents(20);
        ClearHistory();
    }

    void At(int h, int m, int s = 0) { clock.SetTime(QTime(h, m, s)); }
    // Each tick, and the completion of an attempt it started (the open runs on its own thread).
    void TickGeral(int n = 1) {
        for (int i = 0; i < n; ++i) {
            w->Timer_GeralTimer();
            FinishAttempt();
        }
    }
    void Connect() {
        w->Conecta_Web();
        FinishAttempt();
    }
    void FinishAttempt() {
        for (int i = 0; i < 5000 && w->AttemptRunning(); ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
    }
    void TickMeter(int n = 1) {
        for (int i = 0; i < n; ++i) w->timer_meterTimer();
    }

    // History messages without their times, in order.
    QStringList History() const {
        QStringList messages;
        for (const QString& line : w->ui->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts))
            messages << line.mid(line.indexOf(" - ") + 3);
        return messages;
    }
    void ClearHistory() { w->ui->Memo1->clear(); }

    FakeSoundLib::Channel* WebChannel() { return w->WebPlayer->Loaded ? lib.Find(w->WebPlayer->Channel) : nullptr; }
    FakeSoundLib::Channel* LocalChannel() { return w->LocalPlayer->Loaded ? lib.Find(w->LocalPlayer->Channel) : nullptr; }
    // The buffer fill the monitor reads (download minus decode over the buffer's size).
    void SetFill(int percent) { lib.SetFilePositions(w->WebPlayer->Channel, 0, DWORD(percent) * 1000, 100000); }

    // Files in MUSICAS/, then the refresh of the list.
    void PutMusic(const QStringList& names) {
        for (const QString& name : names) WriteBytes(folder.File("MUSICAS/" + name), "audio");
        w->BitBtn13Click();
    }
    QString Playing() { return QString::fromStdString(lib.Find(w->LocalPlayer->Channel)->source).section('/', -1); }
    // The local track reaches its end, as the 300 ms timer finds it.
    void EndLocalTrack() {
        FakeSoundLib::Channel* c = LocalChannel();
        ASSERT_NE(c, nullptr);
        c->position = c->length;
        w->Timer_sempreTimer();
    }

    // A connection attempt that succeeds: activation inside the window, 26 ticks.
    void ActivateAndConnect() {
        w->Button1Click();
        TickGeral(26);
    }

    using DWORD = FakeSoundLib::DWORD;
    Tfrm_sonarisv1AAC* w = nullptr;

private:
    HoldRealTimeTicks hold_;
};
