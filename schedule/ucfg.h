#pragma once
// Tfrm_cfg (unit ucfg), "Acionamento Automático": the editor of the weekly schedule CFG.ACI.
// Created once at program start with empty records, then only shown (not modal) and hidden.
// Every showing reloads the records from the file; only "Salvar" writes it. The window hides
// itself as soon as another window of the program becomes active, its own message boxes
// included, so unsaved picker values never linger behind the main window.
#include "schedule/cfgfile.h"

#include <QWidget>

#include <array>
#include <functional>

class QWindow;
namespace Ui {
class Tfrm_cfg;
}

class Tfrm_cfg : public QWidget {
    Q_OBJECT
public:
    explicit Tfrm_cfg(QWidget* parent = nullptr);
    ~Tfrm_cfg() override;

    // Selects today's tab, reloads the records from CFG.ACI when it exists, shows the day.
    void FormShow();
    // Shows the selected day in the two pickers (both 00:00:00 when either text is no time).
    void TabSet1Click();
    void SpeedButton4Click();   // start picker := the current time of day
    void SpeedButton10Click();  // stop picker := the current time of day
    // Validates the two pickers and saves the selected day with the whole file.
    void BitBtn1Click();
    void BitBtn2Click();  // "Sair"
    void FormDeactivate();

    // Index 0 Sunday .. 6 Saturday.
    std::array<DaySchedule, 7> Days;
    // A day saved to CFG.ACI (the office's settings then no longer hold for it).
    std::function<void()> OnSaved;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int SelectedDay() const;
    void CenterOnScreen();
    void FocusWindowChanged(QWindow* window);

    Ui::Tfrm_cfg* ui;
    // The editor was the program's active window last: the next other window of the program
    // that becomes active deactivates it. Leaving for another application does not.
    bool activeInProgram_ = false;
};
