// A second copy of the built program, started while the first runs, shows the refusal box
// and ends without a window; the first goes on untouched.
//
// Under the offscreen platform the refusal box would wait for an OK that nobody can give, so
// both copies run on a private virtual X display (Xvfb with openbox), where xdotool finds the
// box by its caption and presses Enter on it. The copies run from a private program folder
// with DATA.INI (no regional question), a private HOME, config and runtime folder (the lock).
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
const char kScript[] = R"SH(
set -u
work=$1
cleanup() { kill $first $wm $xvfb 2>/dev/null; wait 2>/dev/null; }
first=; wm=; xvfb=
trap cleanup EXIT
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy LC_ALL=C.UTF-8
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5
"$work/prog/sonaris" >"$work/first.log" 2>&1 &
first=$!
timeout 20 xdotool search --sync --name "Vendrasil Sonaris-V1-DEMONSTRATIVO" >/dev/null || { echo "first=no-window"; exit 0; }
echo "first=up"
start=$(date +%s%N)
"$work/prog/sonaris" >"$work/second.log" 2>&1 &
second=$!
box=$(timeout 20 xdotool search --sync --name "aberto" | head -n1)
[ -n "$box" ] && echo "box=$(xdotool getwindowname "$box")"
[ -n "$box" ] && xdotool windowactivate --sync "$box" >/dev/null 2>&1; sleep 0.3
[ -n "$box" ] && xdotool key --clearmodifiers Return
for i in $(seq 100); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
if kill -0 $second 2>/dev/null; then echo "second=still-running"; kill $second; else wait $second; echo "second=exit$?"; fi
echo "elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))"
kill -0 $first 2>/dev/null && echo "first=still-running"
)SH";

bool Have(const char* tool) { return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(); }
}  // namespace

TEST(SingleInstanceTest, ASecondCopyIsRefusedWithTheBoxAndEndsWhileTheFirstRunsOn) {
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "timeout"})
        if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";

    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString prog = work.path() + "/prog/";
    QDir().mkpath(prog);
    QDir().mkpath(work.path() + "/home/.config");
    QDir().mkpath(work.path() + "/run");
    QFile::setPermissions(work.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::copy(QStringLiteral(SONARIS_EXECUTABLE), prog + "sonaris"));
    WriteBytes(prog + "DATA.INI", "");

    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start("bash", {"-c", QString::fromLatin1(kScript), "bash", work.path()});
    ASSERT_TRUE(script.waitForFinished(90000));
    const QString out = QString::fromUtf8(script.readAll());

    ASSERT_TRUE(out.contains("first=up")) << out.toStdString();
    EXPECT_TRUE(out.contains("box=SONARIS já aberto\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("second=exit0")) << out.toStdString();
    EXPECT_TRUE(out.contains("first=still-running")) << out.toStdString();

    // Only the first copy made the program's folders and wrote its start to the history.
    const QStringList days = QDir(prog + "HISTORICO").entryList({"*.PCS"}, QDir::Files);
    ASSERT_EQ(days.size(), 1);
    const QByteArray history = ReadBytes(prog + "HISTORICO/" + days[0]);
    EXPECT_EQ(history.count("** INICIADO O SISTEMA **"), 1) << history.toStdString();
}
