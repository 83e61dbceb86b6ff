#include "schedule/ucfg.h"

#include "ui_ucfg.h"

#include "system/clock.h"
#include "system/codepage1252.h"
#include "system/formats.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QWindow>

namespace {

void ShowMessage(const QString& text) { MessageBoxes().Message(text, ApplicationTitle()); }

}  // namespace

Tfrm_cfg::Tfrm_cfg(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ui(new Ui::Tfrm_cfg) {
    ui->setupUi(this);
    setFixedSize(407, 196);

    for (const char* day : {"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"})
        ui->TabSet1->addTab(QString::fromUtf8(day));
    ui->TabSet1->setShape(QTabBar::RoundedSouth);
    ui->TabSet1->setExpanding(false);
    ui->TabSet1->setDrawBase(false);
    // All seven days must fit the window's 407 pixels without scroll arrows.
    QFont small = ui->TabSet1->font();
    for (qreal size = small.pointSizeF(); size > 6 && ui->TabSet1->sizeHint().width() > width(); size -= 0.5) {
        small.setPointSizeF(size - 0.5);
        ui->TabSet1->setFont(small);
    }

    const QIcon refresh = style()->standardIcon(QStyle::SP_BrowserReload);
    ui->SpeedButton4->setIcon(refresh);
    ui->SpeedButton10->setIcon(refresh);
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));

    connect(ui->TabSet1, &QTabBar::currentChanged, this, [this] { TabSet1Click(); });
    connect(ui->SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(ui->SpeedButton10, &QToolButton::clicked, this, [this] { SpeedButton10Click(); });
    connect(ui->BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(ui->BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &Tfrm_cfg::FocusWindowChanged);
}

Tfrm_cfg::~Tfrm_cfg() { delete ui; }

int Tfrm_cfg::SelectedDay() const { return qBound(0, ui->TabSet1->currentIndex(), 6); }

void Tfrm_cfg::FormShow() {
    {
        // The day is shown once, below, from the records just loaded.
        const QSignalBlocker quiet(ui->TabSet1);
        ui->TabSet1->setCurrentIndex(WeekdayNumber(Today()) - 1);
    }
    const QString folder = ProgramFolder();
    if (CfgFileExists(folder)) {
        bool ok = false;
        const QStringList lines = ReadLines1252(CfgFilePath(folder), &ok);
        // A file that exists but cannot be read leaves the records as they are rather than
        // presenting every day as undefined.
        if (ok) ParseSchedule(lines, Days);
    }
    TabSet1Click();
}

void Tfrm_cfg::TabSet1Click() {
    const DaySchedule& day = Days[SelectedDay()];
    bool startOk = false;
    bool stopOk = false;
    QTime start = ParseTime(day.Start, &startOk);
    QTime stop = ParseTime(day.Stop, &stopOk);
    if (!startOk || !stopOk) start = stop = QTime(0, 0);
    ui->DateTimePicker1->setTime(start);
    ui->DateTimePicker2->setTime(stop);
}

void Tfrm_cfg::SpeedButton4Click() { ui->DateTimePicker1->setTime(TimeOfDay()); }

void Tfrm_cfg::SpeedButton10Click() { ui->DateTimePicker2->setTime(TimeOfDay()); }

void Tfrm_cfg::BitBtn1Click() {
    const int index = SelectedDay();
    // Compared as the pickers hold them, milliseconds included.
    const QTime start = ui->DateTimePicker1->time();
    const QTime stop = ui->DateTimePicker2->time();
    const DayTimes check = CheckDayTimes(start, stop);
    if (check == DayTimes::Undefined) {
        ShowMessage(QStringLiteral("Acioamento para ") + WeekdayName(index + 1) + QStringLiteral(" Não definido"));
        return;
    }
    if (check == DayTimes::Equal) {
        ShowMessage(QStringLiteral("Agendamento para Acioamento Inválido - Verifique"));
        return;
    }
    // A night is more often a slip of the hand: the operator says which.
    if (check == DayTimes::Night &&
        !ConfirmBox(QStringLiteral("O horário de desligar é no dia seguinte, após a meia-noite - Confirma?")))
        return;
    WeekSchedule next = Days;
    next[index] = SavedDay(start, stop);
    const QString path = CfgFilePath(ProgramFolder());
    if (!WriteSchedule(path, next)) {
        // The records keep what the file still holds, so nothing unsaved passes for saved.
        ShowMessage(QStringLiteral("Não foi possível gravar o arquivo ") + path +
                    QStringLiteral(" - A programação de acionamento NÃO foi salva - Verifique"));
        return;
    }
    Days = next;
    if (OnSaved) OnSaved();
}

void Tfrm_cfg::BitBtn2Click() { close(); }

void Tfrm_cfg::FormDeactivate() { close(); }

void Tfrm_cfg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Spontaneous show events come from the window system (a restore), not from show().
    if (event->spontaneous()) return;
    CenterOnScreen();
    FormShow();
}

void Tfrm_cfg::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) activeInProgram_ = false;
}

void Tfrm_cfg::CenterOnScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    QRect r = geometry();
    r.moveCenter(s->availableGeometry().center());
    move(r.topLeft());
}

void Tfrm_cfg::FocusWindowChanged(QWindow* window) {
    if (!window) return;  // the whole program lost the focus to another application
    if (window == windowHandle()) {
        activeInProgram_ = isVisible();
        return;
    }
    // Menus and tool tips open over a window without taking its place.
    if (window->type() == Qt::Popup || window->type() == Qt::ToolTip) return;
    if (activeInProgram_ && isVisible()) {
        activeInProgram_ = false;
        FormDeactivate();
    }
}
