#pragma once
// The schedule editor driven through its own widgets, offscreen: the tabs, the two pickers,
// the buttons, found by their designer names.
#include "schedule/ucfg.h"
#include "system/codepage1252.h"
#include "tests/support/testsupport.h"

#include <QAbstractButton>
#include <QTabBar>
#include <QTimeEdit>
#include <gtest/gtest.h>

inline const QDate kSunday(2026, 12, 6);  // kSunday.addDays(n) is weekday n + 1

class EditorTest : public ::testing::Test {
protected:
    template <class W>
    W* Find(const char* name) {
        W* w = editor.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTabBar* Tabs() { return Find<QTabBar>("TabSet1"); }
    QTimeEdit* StartPicker() { return Find<QTimeEdit>("DateTimePicker1"); }
    QTimeEdit* StopPicker() { return Find<QTimeEdit>("DateTimePicker2"); }
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }

    // Opens the editor as the main window does, on the given weekday (1 Sunday .. 7 Saturday).
    void OpenOn(int weekday, QTime time = QTime(10, 0)) {
        clock.Set(QDateTime(kSunday.addDays(weekday - 1), time));
        editor.hide();
        editor.show();
    }
    void Save(int tab, QTime start, QTime stop) {
        Tabs()->setCurrentIndex(tab);
        StartPicker()->setTime(start);
        StopPicker()->setTime(stop);
        Click("BitBtn1");
    }
    QString CfgPath() { return folder.File(QStringLiteral("CFG.ACI")); }
    void WriteLines(const QStringList& lines) { ASSERT_TRUE(WriteLines1252(CfgPath(), lines)); }
    QStringList Lines() { return ReadLines1252(CfgPath()); }
    static QStringList Undefined(int n) { return QStringList(n, QStringLiteral("||||")); }

    TempProgramFolder folder;
    ScopedFakeClock clock;
    RecordingMessageBoxes boxes;
    Tfrm_cfg editor;
};
