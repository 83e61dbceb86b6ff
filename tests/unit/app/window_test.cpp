// The window as designed: its texts, the context and tray menus, the keys of the window and
// the bottom label that opens the About box.
#include "windowfixture.h"

#include "app/about.h"
#include "schedule/ucfg.h"
#include "ui/uvolume.h"
#include "ui_about.h"
#include "ui_usom.h"

#include <QApplication>
#include <QBackingStore>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

class WindowTest : public WindowFixture {
protected:
    void ShowActive() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->ui->Memo1->clear();  // the first activation's history line
    }
    void Type(QWidget* target, int key, Qt::KeyboardModifiers mods, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(target, &press);
    }
    QStringList MenuTexts(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions()) out << a->text();
        return out;
    }
};

TEST_F(WindowTest, TheOperatorSeesTheDesignedTexts) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(w.size(), QSize(672, 405));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // not resizable
    QTabWidget* tabs = w.ui->PageControl1;
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Streaming");
    EXPECT_EQ(tabs->tabText(1), "Músicas Locais");
    EXPECT_EQ(tabs->tabText(2), "Histórico");
    EXPECT_EQ(w.ui->VrLabel3->text(), "SONARIS-V1    -   DEMONSTRATIVO");
    EXPECT_EQ(w.ui->Label2->text(), " ATIVADO ");
    EXPECT_EQ(w.ui->Label2->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_EQ(w.ui->Button1->text(), "Ativar");
    EXPECT_EQ(w.ui->Button1->toolTip(), "Ativa a Programação");
    EXPECT_EQ(w.ui->BitBtn8->text(), "Sair");
    EXPECT_EQ(w.ui->SpeedButton1->toolTip(), "Atualizar Estatísticas");
    EXPECT_EQ(w.ui->Label24->text(), "Atualizar Servidores");
    ASSERT_EQ(w.ui->ComboBox6->count(), 1);
    EXPECT_EQ(w.ui->ComboBox6->itemText(0), "Servidores de Streaming");
    ASSERT_EQ(w.ui->ComboBox1->count(), 1);
    EXPECT_EQ(w.ui->ComboBox1->itemText(0), "Gêneros Musicais");
    EXPECT_EQ(w.ui->ProgressBar1->maximum(), 101);
    EXPECT_EQ(w.ui->BitBtn13->toolTip(), "Atualiza Lista");
    EXPECT_FALSE(w.ui->BitBtn14->isEnabled());
    EXPECT_FALSE(w.ui->BitBtn15->isEnabled());
    EXPECT_EQ(w.ui->Panel2->size(), QSize(641, 192));
    EXPECT_EQ(w.ui->Panel2->palette().color(QPalette::Window), QColor(0, 0, 55));
}

TEST_F(WindowTest, ContextMenuAndTrayMenuHoldTheirItems) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(MenuTexts(w.PopupMenu2),
              QStringList({"Sobre\tF1", "Controle de Volume\tF10", "Configurações de acionamento\tF11"}));
    EXPECT_EQ(MenuTexts(w.PopupMenu3), QStringList({"Desligar Sonaris"}));
}

TEST_F(WindowTest, TheLetterCShowsTheStreamAddressOnceAndStillReachesTheControl) {
    Create();
    ShowActive();
    window->ui->PageControl1->setCurrentIndex(2);
    window->ui->Memo1->setFocus();
    Type(window->ui->Memo1, Qt::Key_C, Qt::NoModifier, "c");
    EXPECT_EQ(boxes.Texts(), QStringList({PlayerState.StreamUrl}));
    EXPECT_EQ(window->ui->Memo1->toPlainText(), "c");

    // Typed on a control that does not take the letter, it is still shown once only.
    boxes.Clear();
    window->ui->PageControl1->setCurrentIndex(0);
    window->ui->Button1->setFocus();
    Type(window->ui->Button1, Qt::Key_C, Qt::ShiftModifier, "C");
    EXPECT_EQ(boxes.Texts(), QStringList({PlayerState.StreamUrl}));
}

TEST_F(WindowTest, CtrlCAndF1AreNotTheWindowsKeys) {
    Create();
    ShowActive();
    window->ui->Button1->setFocus();
    Type(window->ui->Button1, Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
    Type(window->ui->Button1, Qt::Key_F1, Qt::NoModifier, QString());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, KeysOfAnotherWindowAreNotPreviewed) {
    Create();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    Type(&other, Qt::Key_C, Qt::NoModifier, "c");
    Type(&other, Qt::Key_I, Qt::AltModifier, "i");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, TheBottomLabelOpensTheAboutBoxModally) {
    Tfrm_sonarisv1AAC& w = Create();
    Tform_about about;
    w.SetWindows(&about, nullptr, nullptr);
    ShowActive();
    bool wasOpen = false;
    QTimer::singleShot(0, &about, [&] {
        wasOpen = about.isVisible() && about.isModal();
        QTest::mouseClick(about.ui->OKButton, Qt::LeftButton);
    });
    QTest::mouseClick(w.ui->VrLabel3, Qt::LeftButton);
    EXPECT_TRUE(wasOpen);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(WindowTest, TheAboutBoxIsBorderlessOnTopWithNameVersionAndPicture) {
    Tform_about about;
    EXPECT_EQ(about.size(), QSize(512, 278));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(about.ui->ProductName->text(), "Vendrasil Sonaris");
    EXPECT_EQ(about.ui->Version->text(), "Versão: V1");
    EXPECT_FALSE(about.ui->Image1->pixmap().isNull());
    EXPECT_TRUE(about.ui->OKButton->isDefault());
}

TEST_F(WindowTest, WithoutANotificationAreaMinimisingLeavesAnOrdinaryMinimisedWindow) {
    Tfrm_sonarisv1AAC& w = Create();
    ShowActive();
    w.MinimizeApplication();
    EXPECT_TRUE(w.isMinimized());
    w.RestoreApplication();
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowTest, HiddenInTheTrayTheWindowHoldsNoPixelsAndShownAgainHasThemWhole) {
    Tfrm_sonarisv1AAC& w = Create();
    ShowActive();
    auto drawnWhole = [&w] { return QTest::qWaitFor([&w] { return w.backingStore()->size() == w.size(); }, 5000); };
    ASSERT_TRUE(drawnWhole());
    w.hide();  // what going to the notification area does
    EXPECT_TRUE(w.backingStore()->size().isEmpty());
    w.RestoreApplication();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(drawnWhole());
}

TEST_F(WindowTest, ClosingTheWindowAsksTheCloseHandler) {
    Tfrm_sonarisv1AAC& w = Create();
    ShowActive();
    boxes.answers = {false};
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Confirm);
}

TEST_F(WindowTest, F11OpensTheScheduleEditorWithoutWaitingFromEveryTab) {
    Tfrm_sonarisv1AAC& w = Create();
    Tfrm_cfg editor;
    w.SetWindows(nullptr, nullptr, &editor);
    ShowActive();
    w.ui->PageControl1->setCurrentIndex(2);
    w.ui->Memo1->setFocus();
    Type(w.ui->Memo1, Qt::Key_F11, Qt::ShiftModifier, QString());
    EXPECT_FALSE(editor.isVisible());
    Type(w.ui->Memo1, Qt::Key_F11, Qt::NoModifier, QString());
    EXPECT_TRUE(editor.isVisible());
}

TEST_F(WindowTest, F10ShowsTheSoundDialogModallyThenAppliesTheStationAgain) {
    Tfrm_sonarisv1AAC& w = Create();
    Tform_volume dialog(lib, PlayerState.DeviceIndex, PlayerState.NormalVolume, PlayerState.StreamUrl);
    w.SetWindows(nullptr, &dialog, nullptr);
    ShowActive();
    PlayerState.StreamUrl = "http://elsewhere";
    bool wasModal = false;
    QTimer::singleShot(0, &dialog, [&] {
        wasModal = dialog.isVisible() && dialog.isModal();
        dialog.reject();
    });
    w.ui->Button1->setFocus();
    Type(w.ui->Button1, Qt::Key_F10, Qt::NoModifier, QString());
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(PlayerState.StreamUrl, DefaultStreamBase() + "9500");
}

TEST_F(WindowTest, TheRightMouseButtonAnywhereOpensTheContextMenu) {
    Tfrm_sonarisv1AAC& w = Create();
    ShowActive();
    for (QWidget* target : std::initializer_list<QWidget*>{w.ui->Label10, w.ui->Memo1, w.ui->VrLabel3}) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(target, &event);
        EXPECT_TRUE(w.PopupMenu2->isVisible()) << target->objectName().toStdString();
        w.PopupMenu2->hide();
    }
}

TEST_F(WindowTest, AConfirmedCloseTakesTheOtherWindowsWithIt) {
    Tfrm_sonarisv1AAC& w = Create();
    Tfrm_cfg editor;
    w.SetWindows(nullptr, nullptr, &editor);
    ShowActive();
    editor.show();
    boxes.answers = {true};
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(editor.isVisible());  // closing the main window ends the program
}
