#pragma once
// The controller's integration tests on the real sound library tick the main window's timers
// themselves, at their own intervals of real time, with the fake clock following; the players'
// end-of-playback polls run as built. The window's own timers are held back meanwhile, so
// nothing ticks twice.
#include "app/usom.h"
#include "ui_usom.h"
#include "system/clock.h"
#include "ui/thdtimer.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>

namespace ctltest {

// The window's history, without the times, in order.
inline QStringList HistoryOf(const Tfrm_sonarisv1AAC& w) {
    QStringList messages;
    for (const QString& l : w.ui->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts)) messages << l.mid(l.indexOf(" - ") + 3);
    return messages;
}

// The window 08:00 to 18:00 on every day of the week, as F11 writes it, and the music folder.
inline void EveryDayEightToSix(const TempProgramFolder& folder) {
    QByteArray cfg;
    for (int i = 0; i < 7; ++i) cfg += "|08:00:00|18:00:00|0|0\r\n";
    WriteBytes(folder.File("CFG.ACI"), cfg);
    QDir().mkpath(folder.File("MUSICAS"));
}

inline void Figure(const std::string& name, double value) {
    std::cout << "[figure] " << name << "=" << value << std::endl;
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

class WindowTicks : public QObject {
public:
    explicit WindowTicks(FakeClock& clock) : clock_(clock) { since_.start(); }
    ~WindowTicks() override { Detach(); }

    void Attach(Tfrm_sonarisv1AAC* w) {
        w_ = w;
        QCoreApplication::instance()->installEventFilter(this);
        since_.restart();
        clockAt_ = nextMeter_ = nextSempre_ = nextGeral_ = 0;
    }
    void Detach() {
        if (!w_) return;
        QCoreApplication::instance()->removeEventFilter(this);
        w_ = nullptr;
    }

    // Real time passes for `ms`; each timer of the window ticks at its interval (a handler that
    // took long brings no burst of ticks), the clock follows, and `each` runs after every step.
    void Run(qint64 ms, const std::function<void()>& each = {}) {
        const qint64 end = since_.elapsed() + ms;
        while (since_.elapsed() < end) {
            const qint64 now = Step();
            if (now >= nextMeter_) {
                nextMeter_ = now + 100;
                w_->timer_meterTimer();
                if (w_->timer_aumentarvolume->isActive()) w_->timer_aumentarvolumeTimer();
                if (w_->timer_DiminuirVolume->isActive()) w_->timer_DiminuirVolumeTimer();
            }
            if (now >= nextSempre_) {
                nextSempre_ = now + 300;
                w_->Timer_sempreTimer();
            }
            if (now >= nextGeral_ && w_->IsActive()) {
                nextGeral_ = now + 500;
                w_->Timer_GeralTimer();
            }
            if (each) each();
        }
    }
    template <typename Condition>
    bool RunUntil(qint64 maxMs, Condition condition, const std::function<void()>& each = {}) {
        for (qint64 t = 0; t < maxMs; t += 100) {
            if (condition()) return true;
            Run(100, each);
        }
        return condition();
    }
    // Real time runs and the players' polls with it, the window's timers held, until the
    // attempt's completion: the next daily-run tick would ask for the next attempt at once and
    // leave no failure's code to look at.
    bool WaitForTheAttempt() {
        for (const qint64 end = since_.elapsed() + 40000; w_->AttemptRunning() && since_.elapsed() < end;) Step();
        return !w_->AttemptRunning();
    }
    // The daily run's ticks up to the next attempt come at once: the minute between attempts is
    // not what these tests are about.
    void StartTheNextAttempt(const std::function<int()>& attemptsSoFar) {
        const int before = attemptsSoFar();
        for (int i = 0; i < 200 && attemptsSoFar() == before; ++i) w_->Timer_GeralTimer();
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (!w_) return false;
        if (e->type() == QEvent::Timer && (o == w_->Timer_Geral || o == w_->timer_DiminuirVolume || o == w_->timer_aumentarvolume))
            return true;
        if (e->type() == QEvent::MetaCall && (o == w_->Timer_sempre || o == w_->timer_meter || o == w_->Timer_abertura)) return true;
        return false;
    }

private:
    qint64 Step() {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
        const qint64 now = since_.elapsed();
        clock_.Advance(now - clockAt_);
        clockAt_ = now;
        return now;
    }

    FakeClock& clock_;
    Tfrm_sonarisv1AAC* w_ = nullptr;
    QElapsedTimer since_;
    qint64 clockAt_ = 0, nextMeter_ = 0, nextSempre_ = 0, nextGeral_ = 0;
};

}  // namespace ctltest
