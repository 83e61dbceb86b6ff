#pragma once
// Test seams: recorded message boxes, a private program folder with its own HOME and config
// folder, small file helpers, and readable QString failures.
#include "system/clock.h"
#include "system/messageboxes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[';
    for (int i = 0; i < l.size(); ++i) *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
    *os << ']';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }
QT_END_NAMESPACE

// Records every box and answers Confirm from a script (OK when the script is empty).
class RecordingMessageBoxes : public IMessageBoxes {
public:
    struct Box {
        enum Kind { Message, Confirm, Error, Notice } kind;
        QString text;
        QString caption;
    };
    RecordingMessageBoxes() { SetMessageBoxes(this); }
    ~RecordingMessageBoxes() override { SetMessageBoxes(nullptr); }

    void Message(const QString& text, const QString& caption) override;
    bool Confirm(const QString& text, const QString& caption) override;
    void Error(const QString& text, const QString& caption) override;
    // Recorded only: a notice holds nothing, so `whileOpen` does not run inside it.
    void Notice(const QString& kind, const QString& text, const QString& caption) override;
    void Beep() override { ++beeps; }

    QStringList Texts() const;  // every box's text, in order
    void Clear() { boxes.clear(); beeps = 0; }

    std::vector<Box> boxes;
    std::deque<bool> answers;  // answers for the next Confirm calls
    int beeps = 0;
    // Runs inside each box, as a nested event loop would (for example to drive timers).
    std::function<void(const Box&)> whileOpen;
};

// Installs a fake clock for the life of the object.
class ScopedFakeClock : public FakeClock {
public:
    explicit ScopedFakeClock(QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(10, 0))) : FakeClock(start) { SetClock(this); }
    ~ScopedFakeClock() override { SetClock(nullptr); }
};

// A fresh program folder (with trailing '/') installed as the program folder, and a private
// HOME and XDG_CONFIG_HOME, for the life of the object.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    QString Path() const;                  // with trailing '/'
    QString File(const QString& name) const;  // Path() + name
    QString ConfigHome() const;            // the private XDG_CONFIG_HOME, no trailing '/'

private:
    QTemporaryDir dir_;
    QByteArray oldHome_, oldConfig_;
};

// The system's time zone set to `zone` (a tz database name) for the life of the object: the
// C library's local time, and Qt's through it, follow TZ.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();

private:
    QByteArray old_;
};

QByteArray ReadBytes(const QString& path);
void WriteBytes(const QString& path, const QByteArray& bytes);
// Processes pending events for about `ms` milliseconds.
void PumpEvents(int ms);

// The end of a test's part that runs in a child process of its own (the statement of an
// EXPECT_EXIT with the "threadsafe" style): the scenario's failures go to the child's standard
// error, which the parent shows, and its exit code (0 or 1) says whether there were any.
[[noreturn]] void RunInChild(const std::function<void()>& scenario);
