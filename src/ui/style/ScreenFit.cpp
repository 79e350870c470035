#include "ui/style/ScreenFit.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ScreenFit {

QRect visible() {
    if (QWidget *active = QApplication::activeWindow())
        if (QScreen *s = active->screen()) return s->availableGeometry();
    if (QScreen *s = QGuiApplication::primaryScreen()) return s->availableGeometry();
    return QRect(0, 0, 1280, 720);
}

int width(int preferred, int margin, const QRect &vis) {
    return std::min(preferred, std::max(vis.width() - margin, minWidth));
}

int height(int preferred, int margin, const QRect &vis) {
    return std::min(preferred, std::max(vis.height() - margin, minHeight));
}

int width(int preferred, int margin) {
    return width(preferred, margin, visible());
}

int height(int preferred, int margin) {
    return height(preferred, margin, visible());
}

QRect fitted(const QRect &f, const QRect &v) {
    const int w = std::min(f.width(), v.width());
    const int h = std::min(f.height(), v.height());
    // QRect::right() is one short of x + width, so compute the far edges by hand.
    const int x = std::min(std::max(f.x(), v.x()), v.x() + v.width() - w);
    const int y = std::min(std::max(f.y(), v.y()), v.y() + v.height() - h);
    return QRect(x, y, w, h);
}

void fit(QWidget *window) {
    if (!window || window->isFullScreen() || window->isMaximized()) return;
    QScreen *screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect frame = window->frameGeometry();
    const QRect target = fitted(frame, screen->availableGeometry());
    if (target == frame) return;
    // The frame includes the decorations; setGeometry takes the client area.
    const QRect client = window->geometry();
    const QMargins deco(client.x() - frame.x(), client.y() - frame.y(),
                        frame.x() + frame.width() - client.x() - client.width(),
                        frame.y() + frame.height() - client.y() - client.height());
    window->setGeometry(target.marginsRemoved(deco));
}

} // namespace ScreenFit
