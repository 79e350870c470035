#include "ui/style/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>

namespace {

// A scroll bar never has the focus and is what a scroll area hands its wheel to: it always scrolls.
bool guarded(QObject *o) {
    return qobject_cast<QComboBox *>(o) || qobject_cast<QAbstractSpinBox *>(o) ||
           (qobject_cast<QAbstractSlider *>(o) && !qobject_cast<QScrollBar *>(o));
}

class Guard : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override {
        const QEvent::Type t = event->type();
        if ((t != QEvent::Polish && t != QEvent::Wheel) || !guarded(watched)) return false;
        auto *w = static_cast<QWidget *>(watched);
        if (t == QEvent::Polish) {
            // The wheel alone never hands them the focus.
            if ((w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus) w->setFocusPolicy(Qt::StrongFocus);
            return false;
        }
        if (w->hasFocus()) return false;
        // Left for the one around it, so the page scrolls on.
        event->ignore();
        return true;
    }
};

} // namespace

namespace WheelGuard {

void install() {
    static Guard *guard = nullptr;
    if (guard || !qApp) return;
    guard = new Guard(qApp);
    qApp->installEventFilter(guard);
}

} // namespace WheelGuard
