#include "ui/app/AppDelegate.h"

#include "ui/style/MenuLocalizer.h"
#include "ui/style/ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

AppDelegate::AppDelegate(QObject *parent) : QObject(parent) {
    MenuLocalizer::start();
    if (!qApp) return;
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) activated();
    });
}

AppDelegate::~AppDelegate() {
    if (qApp) qApp->removeEventFilter(this);
}

bool AppDelegate::isMainWindow(const QWidget *window) {
    return window && window->isWindow() && window->windowTitle() == u"Kestrin";
}

AppDelegate::Timings &AppDelegate::timings() {
    static Timings t;
    return t;
}

bool AppDelegate::canFade() {
    const QString platform = QGuiApplication::platformName();
    return platform == u"xcb" || platform == u"offscreen";
}

void AppDelegate::activated() {
    MenuLocalizer::scheduleApply();
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto *window = static_cast<QWidget *>(watched);
    if (!isMainWindow(window) || m_settled.contains(window)) return false;
    m_settled.insert(window);
    connect(window, &QObject::destroyed, this, [this, window] { m_settled.remove(window); });
    // Before it is mapped, with room for decorations the window manager has not reported yet: a window
    // larger than the screen would be placed with its title bar off the screen and could not be moved.
    if (!window->isFullScreen() && !window->isMaximized()) {
        const QRect available = ScreenFit::visible();
        window->resize(ScreenFit::width(window->width(), ScreenFit::defaultWidthMargin, available),
                       ScreenFit::height(window->height(), ScreenFit::defaultHeightMargin, available));
    }
    // Once the window manager has placed it; full-screen and maximised windows keep their frame.
    QPointer<QWidget> shown(window);
    QTimer::singleShot(0, this, [shown] {
        if (shown) ScreenFit::fit(shown);
    });
    // Unseen while its size and toolbar settle, then faded in.
    if (canFade()) {
        window->setWindowOpacity(0.0);
        QTimer::singleShot(timings().settleMs, this, [shown] {
            if (!shown) return;
            auto *fade = new QPropertyAnimation(shown, "windowOpacity", shown);
            fade->setDuration(timings().fadeMs);
            fade->setStartValue(0.0);
            fade->setEndValue(1.0);
            fade->start(QAbstractAnimation::DeleteWhenStopped);
        });
    }
    return false;
}
