#include "app/hiddenwindow.h"

#include <QBackingStore>
#include <QEvent>
#include <QWidget>

namespace {

class PixelsReleaser : public QObject {
public:
    explicit PixelsReleaser(QWidget& window) : QObject(&window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The hide event comes once the window is unmapped and no longer visible; a window only
        // minimised stays visible and keeps its pixels for the taskbar's preview.
        if (watched == &window_ && event->type() == QEvent::Hide && !window_.isVisible()) {
            if (QBackingStore* store = window_.backingStore()) store->resize(QSize());
        }
        return false;
    }

private:
    QWidget& window_;
};

}  // namespace

void ReleasePixelsWhileHidden(QWidget& window) { window.installEventFilter(new PixelsReleaser(window)); }
