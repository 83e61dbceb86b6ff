#include "app/windowlook.h"

#include "app/hiddenwindow.h"
#include "app/sonarisicon.h"
#include "app/usom.h"
#include "system/jpegimage.h"
#include "ui_usom.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

namespace {
QFont PixelFont(int pixels, bool bold, const QString& family = QString()) {
    QFont f;
    if (!family.isEmpty()) f.setFamilies({family});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Colours through the palette (not style sheets), so that the handlers that recolour a
// label at run time only have to change its palette.
void Paint(QWidget* w, const QColor& text, const QColor& background = QColor()) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        p.setColor(QPalette::Window, background);
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

}  // namespace

void SetUpWindow(Tfrm_sonarisv1AAC& w) {
    Ui::Tfrm_sonarisv1AAC* ui = w.ui;
    // A dialog-style frame: title bar and close box, no resizing.
    w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    w.setFixedSize(672, 405);
    w.setWindowIcon(SonarisIcon());
    ReleasePixelsWhileHidden(w);
    w.setFont(PixelFont(11, false));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w.move(area.center() - QPoint(w.width() / 2, w.height() / 2));
    }

    // The music list: one column across the grid, white cells under a silver header row.
    ui->Stringgrid3->ApplyMusicListLook();

    // Only the tabs take the page control's bold font and hand cursor; the pages keep theirs.
    ui->PageControl1->tabBar()->setFont(PixelFont(13, true));
    ui->PageControl1->tabBar()->setCursor(Qt::PointingHandCursor);

    const QColor silver(192, 192, 192), yellow(255, 255, 0), white(255, 255, 255);
    Paint(ui->Panel2, silver, QColor(0, 0, 55));
    ui->Label10->setFont(PixelFont(16, false));
    Paint(ui->Label29, white, QColor(255, 0, 0));
    ui->Label29->setFont(PixelFont(11, true));
    ui->Label2->setFont(PixelFont(19, true));
    Paint(ui->Label2, white, QColor(128, 128, 128));
    for (QLabel* l : {ui->Label12, ui->Label14}) Paint(l, yellow);
    for (QLabel* l : {ui->Label13, ui->Label15, ui->Label21}) Paint(l, white);
    QPalette cream = ui->ComboBox1->palette();
    cream.setColor(QPalette::Base, QColor(250, 253, 227));
    cream.setColor(QPalette::Button, QColor(250, 253, 227));
    cream.setColor(QPalette::ButtonText, Qt::black);
    cream.setColor(QPalette::Text, Qt::black);
    ui->ComboBox1->setPalette(cream);
    ui->ComboBox6->setPalette(QApplication::palette());
    ui->SpeedButton1->setIcon(w.style()->standardIcon(QStyle::SP_BrowserReload));
    ui->meter1->SetOrientation(Qt::Horizontal);
    ui->MMLED1->SetColor(QColor(0, 45, 0));
    ui->MMLED2->SetColor(QColor(0, 45, 0));

    for (QLabel* l : {ui->Label5, ui->Label6}) l->setFont(PixelFont(13, false, QStringLiteral("Arial Black")));
    ui->VrClock1->setFont(PixelFont(19, true));
    ui->BitBtn8->setIcon(w.style()->standardIcon(QStyle::SP_DialogCloseButton));
    ui->Button1->setIcon(w.style()->standardIcon(QStyle::SP_MediaPlay));
    ui->Panel1->setFont(PixelFont(13, true));
    Paint(ui->Panel1, white, Qt::black);

    ui->BitBtn13->setIcon(w.style()->standardIcon(QStyle::SP_BrowserReload));
    ui->BitBtn14->setIcon(w.style()->standardIcon(QStyle::SP_MediaPlay));
    ui->BitBtn15->setIcon(w.style()->standardIcon(QStyle::SP_MediaStop));

    ui->VrLabel3->setFont(PixelFont(16, false, QStringLiteral("Arial")));
}

void LoadLogo(Tfrm_sonarisv1AAC& w, const QString& folder) {
    Ui::Tfrm_sonarisv1AAC* ui = w.ui;
    const QString path = folder + QStringLiteral("LOGO/LOGO.JPG");
    QImage logo;
    if (QFileInfo::exists(path)) logo = LoadJpegFile(path);
    if (!logo.isNull()) {
        ui->Image1->setPixmap(QPixmap::fromImage(logo));
        ui->Image1->setToolTip(QString());
        ui->Image1->setFrameShape(QFrame::NoFrame);
        return;
    }
    // A missing or undecodable logo: an outlined empty area whose hint tells the operator
    // where to put one.
    ui->Image1->clear();
    ui->Image1->setFrameShape(QFrame::Box);
    // The hint's lines are parted by bare carriage returns, as the Windows hints showed them;
    // Qt's tool tips break only at line feeds.
    QString hint = QStringLiteral("LOGO DA EMPRESA\rTAMANHO 50X250 PIXELS\rARQUIVO: ") + folder + QStringLiteral("LOGO/LOGO.JPG");
    ui->Image1->setToolTip(hint.replace(QLatin1Char('\r'), QLatin1Char('\n')));
}


void PaintIndicator(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

void SetUpMenus(Tfrm_sonarisv1AAC& w) {
    Tfrm_sonarisv1AAC* self = &w;
    // The shortcuts are the window's own keys (see eventFilter); the menu only shows them.
    w.PopupMenu2 = new QMenu(&w);
    w.PopupMenu2->addAction(QStringLiteral("Sobre\tF1"));
    QAction* volume = w.PopupMenu2->addAction(QStringLiteral("Controle de Volume\tF10"));
    volume->setObjectName(QStringLiteral("ControledeVolume1"));
    QObject::connect(volume, &QAction::triggered, &w, [self] { self->ControledeVolume1Click(); });
    QAction* schedule = w.PopupMenu2->addAction(QStringLiteral("Configurações de acionamento\tF11"));
    schedule->setObjectName(QStringLiteral("Configuraesdeacionamento1"));
    QObject::connect(schedule, &QAction::triggered, &w, [self] { self->Configuraesdeacionamento1Click(); });

    // The tray icon's menu; the icon shows it only from the first activation on.
    w.PopupMenu3 = new QMenu(&w);
    QAction* off = w.PopupMenu3->addAction(QStringLiteral("Desligar Sonaris"));
    off->setObjectName(QStringLiteral("DesligarSonaris2"));
    QObject::connect(off, &QAction::triggered, &w, [self] { self->DesligarSonaris2Click(); });
}

void ConnectButtons(Tfrm_sonarisv1AAC& w) {
    Tfrm_sonarisv1AAC* self = &w;
    Ui::Tfrm_sonarisv1AAC* ui = w.ui;
    QObject::connect(ui->Button1, &QPushButton::clicked, &w, [self] { self->Button1Click(); });
    QObject::connect(ui->BitBtn8, &QPushButton::clicked, &w, [self] { self->BitBtn8Click(); });
    QObject::connect(ui->BitBtn13, &QPushButton::clicked, &w, [self] { self->BitBtn13Click(); });
    QObject::connect(ui->BitBtn14, &QPushButton::clicked, &w, [self] { self->BitBtn14Click(); });
    QObject::connect(ui->BitBtn15, &QPushButton::clicked, &w, [self] { self->BitBtn15Click(); });
    QObject::connect(ui->SpeedButton1, &QToolButton::clicked, &w, [self] { self->SpeedButton1Click(); });
}

// Key preview: F1, F10, F11 and Alt+I are the window's; other characters go to FormKeyPress
// and on to the control. True when the key is used up.
bool PreviewKey(Tfrm_sonarisv1AAC& w, QKeyEvent* event) {
    if (w.FormKeyDown(event->key(), event->modifiers())) return true;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_F1:  // "Sobre": nothing is bound to it
            return true;
        case Qt::Key_F10:
            w.ControledeVolume1Click();
            return true;
        case Qt::Key_F11:
            w.Configuraesdeacionamento1Click();
            return true;
        default:
            break;
        }
    }
    // Characters typed with Ctrl or Alt are commands, not characters.
    if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && !event->text().isEmpty())
        w.FormKeyPress(event->text().at(0));
    return false;
}
