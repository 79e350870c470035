#include "ui/window/toolbar/ToolbarAppsStrip.h"

#include "core/app/Settings.h"
#include "core/app/WindowRequests.h"
#include "core/app/ToolbarApps.h"
#include "core/localisation/Lang.h"
#include "ui/app/AppChooser.h"
#include "ui/style/DesktopAppIcon.h"
#include "ui/window/toolbar/ToolbarButtons.h"
#include "ui/window/toolbar/ToolbarHelp.h"

#include <cmath>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kIcon = 20;

QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

bool offersSomething(const QMimeData *data) {
    return data && (data->hasFormat(ToolbarAppsStrip::dragType()) || data->hasUrls());
}

// Nothing dropped here is ever taken from its source: copy (or link), never move.
void acceptWithoutMoving(QDropEvent *event) {
    if (!offersSomething(event->mimeData())) {
        event->ignore();
        return;
    }
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else {
        event->ignore();
        return;
    }
    event->accept();
}

QStringList localPaths(const QMimeData *data) {
    QStringList paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths << url.toLocalFile();
    return paths;
}

} // namespace

QString ToolbarAppsStrip::dragType() {
    return QStringLiteral("application/x-kestrin-toolbar-app");
}

ToolbarAppsStrip::ToolbarAppsStrip(Settings &settings, WindowRequests &requests, ToolbarApps &apps,
                                   QWidget *parent)
    : QWidget(parent), m_settings(&settings), m_requests(&requests), m_apps(&apps) {
    setObjectName(QStringLiteral("appsStrip"));
    setAcceptDrops(true);
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(5, 1, 5, 1);
    // The panels of adding and replacing open over this window.
    QPointer<QWidget> self(this);
    apps.choose = [self](const ToolbarApps::Choice &c, ToolbarApps::Chosen done) {
        chooseApplications(self ? self->window() : nullptr, c.title, c.directory, c.many, std::move(done));
    };
    connect(&settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key != Settings::Key::toolbarApps && key != Settings::Key::toolbarCompact) return;
        // Later: a drop on a button changes the list while that button is still handling it.
        QMetaObject::invokeMethod(this, &ToolbarAppsStrip::rebuild, Qt::QueuedConnection);
    });
    rebuild();
}

void ToolbarAppsStrip::rebuild() {
    if (!m_settings) return;
    const QStringList apps = m_settings->toolbarApps();
    const bool compact = m_settings->toolbarCompact();
    m_row->setSpacing(compact ? 2 : 6);
    if (m_built && apps == m_shownApps && compact == m_shownCompact) return;
    m_built = true;
    m_shownApps = apps;
    m_shownCompact = compact;
    for (QWidget *w : std::as_const(m_items)) {
        m_row->removeWidget(w);
        w->hide();
        w->deleteLater();
    }
    m_items.clear();
    int at = 0;
    for (const QString &path : apps.mid(0, ToolbarApps::maxToolbarApps)) {
        auto *b = new ToolbarAppButton(*m_requests, *m_apps, path, !compact, this);
        m_row->insertWidget(at++, b);
        m_items << b;
    }
    if (apps.size() > ToolbarApps::maxToolbarApps) {
        auto *more = new ToolbarMenuButton(QStringLiteral("chevron.right.2"), this);
        more->setObjectName(QStringLiteral("appsOverflow"));
        more->setFixedSize(24, 26);
        auto *menu = new QMenu(more);
        QPointer<ToolbarApps> launcher = m_apps;
        for (const QString &path : apps.mid(ToolbarApps::maxToolbarApps)) {
            QAction *a = menu->addAction(QIcon(toolbarAppIcon(path, 16)), literal(toolbarAppName(path)));
            a->setObjectName(path);
            connect(a, &QAction::triggered, this, [launcher, path] {
                if (launcher) launcher->launchToolbarApp(path);
            });
        }
        more->setMenu(menu);
        toolbarHelp(more, m_requests, K("Weitere Apps"), 7);
        m_row->insertWidget(at++, more);
        m_items << more;
    }
    updateGeometry();
}

bool ToolbarAppsStrip::handleDrop(const QMimeData *data, const QString &target) {
    ToolbarApps *apps = m_apps;
    if (!apps || !data) return false;
    const QStringList list = apps->apps();
    const qsizetype targetIndex =
        target.isEmpty() || !list.contains(target) ? list.size() : list.indexOf(target);
    if (data->hasFormat(dragType())) {
        // One of our own buttons: it only changes its place.
        apps->moveToolbarApp(QString::fromUtf8(data->data(dragType())), int(targetIndex));
        return true;
    }
    const QStringList paths = localPaths(data);
    if (paths.isEmpty()) return false;
    // Entries only: they are meant for the strip, wherever they land. One that is no application (a link,
    // a script named like an entry) is refused here, not when its button is clicked.
    const bool entries = std::all_of(paths.cbegin(), paths.cend(),
                                     [](const QString &p) { return p.endsWith(QLatin1String(".desktop")); });
    if (entries) return apps->addToolbarApps(paths, int(targetIndex)) > 0;
    // Documents (and whatever comes with them) open with the button's application.
    if (!target.isEmpty()) {
        apps->openFiles(paths, target);
        return true;
    }
    return apps->addToolbarApps(paths) > 0;
}

void ToolbarAppsStrip::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(0.07f);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 7, 7);
    p.fillPath(shape, fill);
}

void ToolbarAppsStrip::dragEnterEvent(QDragEnterEvent *event) {
    acceptWithoutMoving(event);
}

void ToolbarAppsStrip::dragMoveEvent(QDragMoveEvent *event) {
    acceptWithoutMoving(event);
}

void ToolbarAppsStrip::dropEvent(QDropEvent *event) {
    acceptWithoutMoving(event);
    if (event->isAccepted() && !handleDrop(event->mimeData(), {})) event->ignore();
}

ToolbarAppButton::ToolbarAppButton(WindowRequests &requests, ToolbarApps &apps, const QString &path,
                                   bool showName, ToolbarAppsStrip *strip)
    : QToolButton(strip), m_apps(&apps), m_strip(strip), m_path(path) {
    setObjectName(QStringLiteral("app:") + path);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setAcceptDrops(true);
    setIcon(QIcon(toolbarAppIcon(path, 2 * kIcon)));
    setIconSize(QSize(kIcon, kIcon));
    const QString name = toolbarAppName(path);
    setAccessibleName(name);
    if (showName) {
        setText(literal(name));
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        QFont f = font();
        f.setPixelSize(11);
        setFont(f);
        setContentsMargins(4, 0, 4, 0);
    } else {
        setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    setMinimumSize(28, 26);
    toolbarHelp(this, &requests,
                LF("%@: startet die App oder öffnet die markierten Dateien damit. Dateien lassen sich darauf "
                   "ziehen.",
                   name),
                7);
    connect(this, &QToolButton::clicked, this, [this] {
        if (m_apps) m_apps->launchToolbarApp(m_path);
    });
}

void ToolbarAppButton::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        m_pressAt = event->position().toPoint();
        m_pressed = true;
    }
    QToolButton::mousePressEvent(event);
}

void ToolbarAppButton::mouseMoveEvent(QMouseEvent *event) {
    if (!m_pressed || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - m_pressAt).manhattanLength() < QApplication::startDragDistance()) {
        QToolButton::mouseMoveEvent(event);
        return;
    }
    m_pressed = false;
    setDown(false);
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_path)});
    data->setData(ToolbarAppsStrip::dragType(), m_path.toUtf8());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(toolbarAppIcon(m_path, kIcon));
    // Copy and link only: whoever takes the drop must leave the entry where it is.
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

void ToolbarAppButton::zoomTo(double scale) {
    if (!m_zoomAnimation) {
        m_zoomAnimation = new QVariantAnimation(this);
        m_zoomAnimation->setDuration(100);
        m_zoomAnimation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_zoomAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
            m_zoom = v.toDouble();
            const int side = int(std::lround(kIcon * m_zoom));
            setIconSize(QSize(side, side));
        });
    }
    m_zoomAnimation->stop();
    m_zoomAnimation->setStartValue(m_zoom);
    m_zoomAnimation->setEndValue(scale);
    m_zoomAnimation->start();
}

void ToolbarAppButton::enterEvent(QEnterEvent *event) {
    zoomTo(1.12); // a little larger under the pointer
    QToolButton::enterEvent(event);
}

void ToolbarAppButton::leaveEvent(QEvent *event) {
    zoomTo(1.0);
    QToolButton::leaveEvent(event);
}

void ToolbarAppButton::dragEnterEvent(QDragEnterEvent *event) {
    acceptWithoutMoving(event);
}

void ToolbarAppButton::dragMoveEvent(QDragMoveEvent *event) {
    acceptWithoutMoving(event);
}

void ToolbarAppButton::dropEvent(QDropEvent *event) {
    acceptWithoutMoving(event);
    if (event->isAccepted() && (!m_strip || !m_strip->handleDrop(event->mimeData(), m_path))) event->ignore();
}
