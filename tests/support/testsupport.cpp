#include "tests/support/testsupport.h"

#include "system/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include <unistd.h>

void RecordingMessageBoxes::Message(const QString& text, const QString& caption) {
    boxes.push_back({Box::Message, text, caption});
    if (whileOpen) whileOpen(boxes.back());
}

bool RecordingMessageBoxes::Confirm(const QString& text, const QString& caption) {
    boxes.push_back({Box::Confirm, text, caption});
    if (whileOpen) whileOpen(boxes.back());
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingMessageBoxes::Error(const QString& text, const QString& caption) {
    boxes.push_back({Box::Error, text, caption});
    if (whileOpen) whileOpen(boxes.back());
}

void RecordingMessageBoxes::Notice(const QString&, const QString& text, const QString& caption) {
    boxes.push_back({Box::Notice, text, caption});
}

QStringList RecordingMessageBoxes::Texts() const {
    QStringList out;
    for (const auto& b : boxes) out << b.text;
    return out;
}

TempProgramFolder::TempProgramFolder() {
    oldHome_ = qgetenv("HOME");
    oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    QDir(dir_.path()).mkpath(QStringLiteral("prog"));
    QDir(dir_.path()).mkpath(QStringLiteral("home/.config"));
    qputenv("HOME", (dir_.path() + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", ConfigHome().toLocal8Bit());
    SetProgramFolderOverride(Path());
}

TempProgramFolder::~TempProgramFolder() {
    SetProgramFolderOverride(QString());
    qputenv("HOME", oldHome_);
    if (oldConfig_.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", oldConfig_);
}

QString TempProgramFolder::Path() const { return dir_.path() + QStringLiteral("/prog/"); }
QString TempProgramFolder::File(const QString& name) const { return Path() + name; }
QString TempProgramFolder::ConfigHome() const { return dir_.path() + QStringLiteral("/home/.config"); }

ScopedTimeZone::ScopedTimeZone(const char* zone) : old_(qgetenv("TZ")) {
    qputenv("TZ", zone);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (old_.isNull()) qunsetenv("TZ"); else qputenv("TZ", old_);
    tzset();
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void PumpEvents(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (t.elapsed() < ms);
}

void RunInChild(const std::function<void()>& scenario) {
    // The child forwards no test events: its failures are gathered here and written out.
    ::testing::TestPartResultArray results;
    {
        using Reporter = ::testing::ScopedFakeTestPartResultReporter;
        Reporter gather(Reporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        scenario();
    }
    bool failed = false;
    for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& result = results.GetTestPartResult(i);
        if (!result.failed()) continue;
        failed = true;
        std::fprintf(stderr, "%s:%d: %s\n", result.file_name(), result.line_number(), result.summary());
    }
    std::fflush(stderr);
    ::_exit(failed ? 1 : 0);
}
