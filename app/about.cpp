#include "app/about.h"

#include "app/sonarisicon.h"
#include "ui_about.h"

#include <QGuiApplication>
#include <QScreen>

Tform_about::Tform_about(QWidget* parent) : QDialog(parent), ui(new Ui::Tform_about) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(512, 278);
    ui->Image1->setPixmap(SonarisPicture(ui->Image1->width()));
    QFont title = ui->ProductName->font();
    title.setPixelSize(24);
    title.setBold(true);
    ui->ProductName->setFont(title);
    QFont version = ui->Version->font();
    version.setPixelSize(16);
    ui->Version->setFont(version);
    ui->OKButton->setDefault(true);
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

Tform_about::~Tform_about() { delete ui; }

void Tform_about::showEvent(QShowEvent* event) {
    // Centred on the screen, not over the window that opens it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}
