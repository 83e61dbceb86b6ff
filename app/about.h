#pragma once
// Tform_about (unit about): the About box. Borderless, always on top, 512 x 278, centred on
// the screen; the product name, the version and a picture; OK (the default button) closes it.
#include <QDialog>

QT_BEGIN_NAMESPACE
namespace Ui {
class Tform_about;
}
QT_END_NAMESPACE

class Tform_about : public QDialog {
    Q_OBJECT
public:
    explicit Tform_about(QWidget* parent = nullptr);
    ~Tform_about() override;

    Ui::Tform_about* ui = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
