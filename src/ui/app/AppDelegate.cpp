#include "ui/app/AppDelegate.h"

#include "ui/style/MenuLocalizer.h"
#include "ui/style/ScreenFit.h"

#include <QApplication>
#include <QDateTime>
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

bool AppDelegate::keptOnScreen(const QWidget *window) {
    if (!window || !window->isWindow() || isMainWindow(window)) return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet || type == Qt::Tool;
}

void AppDelegate::fitSoon(QWidget *window) {
    // Once the events at hand are through: a window is resized and moved in several steps.
    if (m_fitting.contains(window)) return;
    m_fitting.insert(window);
    QPointer<QWidget> w(window);
    QTimer::singleShot(0, this, [this, w, window] {
        m_fitting.remove(window);
        if (w && w->isVisible()) ScreenFit::fit(w);
    });
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize) || !watched->isWidgetType())
        return false;
    auto *window = static_cast<QWidget *>(watched);
    // Every other window of ours stays on its screen: fitted when shown, when the window manager places
    // it, and whenever the program changes its size (a settings page taller than the last one).
    if (keptOnScreen(window)) {
        if (type == QEvent::Show) {
            if (!m_shownAt.contains(window))
                connect(window, &QObject::destroyed, this, [this, window] { m_shownAt.remove(window); });
            m_shownAt.insert(window, QDateTime::currentMSecsSinceEpoch());
            fitSoon(window);
        } else if (window->isVisible()) {
            // The user may move a window partly off the screen; the window manager's placing is early.
            const bool placing =
                QDateTime::currentMSecsSinceEpoch() - m_shownAt.value(window) < timings().placingMs;
            if (!event->spontaneous() ? type == QEvent::Resize : placing) fitSoon(window);
        }
        return false;
    }
    if (type != QEvent::Show || !isMainWindow(window) || m_settled.contains(window)) return false;
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
