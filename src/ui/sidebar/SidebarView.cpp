#include "ui/sidebar/SidebarView.h"

#include "core/app/ItemCommands.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/TrashCommands.h"
#include "core/localisation/Lang.h"
#include "core/model/DragState.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/FocusFrame.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <cmath>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

// A mount point whose name is not UTF-8: no folder view can be given its path (its shown text is another
// one), so say why instead.
// Folders go by their names on disk, whatever the language; only the Trash's name is ours to translate.
QString shownName(const SidebarItem &item) {
    return item.nameIsKey ? L(item.name) : item.name;
}

bool refusedUnrepresentable(const SidebarParts &parts, const SidebarItem &item) {
    if (item.pathBytes.isEmpty()) return false;
    parts.toasts.show(FileLoader::describeUnrepresentable({item.name}), true);
    return true;
}

} // namespace

SidebarRow::SidebarRow(const SidebarParts &parts, const SidebarItem &item, QWidget *parent)
    : QWidget(parent), m_parts(parts), m_item(item) {
    setObjectName(item.path);
    setAcceptDrops(true);
    setMouseTracking(true);
    setAccessibleName(shownName(item));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Reached by the keyboard only; a click opens the place and leaves the keys with the panes.
    setFocusPolicy(Qt::TabFocus);
    if (item.ejectable) {
        m_eject = new IconButton(QStringLiteral("eject.fill"), false, 10, this);
        m_eject->setObjectName(QStringLiteral("eject"));
        // The stored name, untranslated: it is the volume's own.
        m_eject->setHelpKey(LF("„%@“ auswerfen", item.name));
        m_eject->setFocusPolicy(Qt::NoFocus);
        connect(m_eject, &QAbstractButton::clicked, this,
                [this] { m_parts.items.eject(m_item.path, m_item.name, m_item.pathBytes); });
    }
    setFixedHeight(int(EnvironmentValues::ui(this).row()));
    EnvironmentValues::follow(this, [this] {
        setFixedHeight(int(EnvironmentValues::ui(this).row()));
        update();
    });
}

QSize SidebarRow::sizeHint() const {
    return QSize(194, int(EnvironmentValues::ui(this).row()));
}

bool SidebarRow::isCurrent() const {
    return m_parts.sides.activePane()->currentPath() == m_item.path;
}

bool SidebarRow::isTrash() const {
    return m_item.path == FileLoader::mainTrash();
}

void SidebarRow::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const UIScale ui = EnvironmentValues::ui(this);
    const AppTheme theme = EnvironmentValues::appTheme(this);
    const QColor primary = palette().color(QPalette::WindowText);
    const QRectF r = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    QPainterPath shape;
    shape.addRoundedRect(r, 6, 6);
    const bool current = isCurrent();
    if (current)
        p.fillPath(shape, theme.gradient(r, 0.3));
    else if (m_targeted)
        p.fillPath(shape, withAlpha(primary, 0.16));
    else if (m_hover)
        p.fillPath(shape, withAlpha(primary, 0.07));
    if (m_targeted) p.strokePath(shape, QPen(QBrush(theme.gradient(r, 1.0)), 1.5));

    // Icon, name, then the free space at the right edge before the eject button.
    const int left = 8;
    const QColor iconColor = theme.readable(AppTheme::schemeOf(palette()), 3);
    const int iconSize = int(std::lround(ui.font));
    const QRect iconBox(left, 0, 20, height());
    const QPixmap icon = Symbols::icon(m_item.symbol).pixmap(iconSize, iconSize);
    if (!icon.isNull()) {
        QPixmap tinted = icon;
        QPainter tp(&tinted);
        tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tp.fillRect(tinted.rect(), iconColor);
        tp.end();
        const QSize shown = tinted.deviceIndependentSize().toSize();
        p.drawPixmap(iconBox.x() + (iconBox.width() - shown.width()) / 2, (height() - shown.height()) / 2,
                     tinted);
    }
    int right = width() - 8;
    if (m_eject) {
        m_eject->setGeometry(right - 18, (height() - 18) / 2, 18, 18);
        right -= 18 + 4;
    }
    if (!m_item.detail.isEmpty()) {
        QFont f = font();
        f.setPixelSize(qMax(1, int(std::lround(ui.small() - 1))));
        p.setFont(f);
        const int w = QFontMetrics(f).horizontalAdvance(m_item.detail);
        p.setPen(withAlpha(primary, 0.55));
        p.drawText(QRect(right - w, 0, w, height()), Qt::AlignVCenter | Qt::AlignRight, m_item.detail);
        right -= w + 4;
    }
    QFont f = font();
    f.setPixelSize(qMax(1, int(std::lround(ui.font))));
    p.setFont(f);
    p.setPen(primary);
    const int x = iconBox.right() + 1 + 8;
    const QString name = QFontMetrics(f).elidedText(shownName(m_item), Qt::ElideRight, qMax(0, right - x));
    p.drawText(QRect(x, 0, qMax(0, right - x), height()), Qt::AlignVCenter | Qt::AlignLeft, name);
    FocusFrame::paint(this, p);
}

void SidebarRow::enterEvent(QEnterEvent *) {
    m_hover = true;
    update();
}

void SidebarRow::leaveEvent(QEvent *) {
    m_hover = false;
    update();
}

void SidebarRow::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    open();
    emit clicked();
}

void SidebarRow::open() {
    if (refusedUnrepresentable(m_parts, m_item)) return;
    m_parts.sides.activePane()->go(m_item.path, true, {});
}

QMenu *SidebarRow::makeMenu(QWidget *parent) {
    auto *menu = new QMenu(parent);
    const SidebarParts parts = m_parts;
    const SidebarItem item = m_item;
    QAction *tab =
        menu->addAction(Symbols::icon(QStringLiteral("plus.square.on.square")), L("In neuem Tab öffnen"));
    tab->setObjectName(QStringLiteral("newTab"));
    connect(tab, &QAction::triggered, menu, [parts, item] {
        if (!refusedUnrepresentable(parts, item)) parts.sides.tabs(parts.sides.active())->newTab(item.path);
    });
    if (item.ejectable) {
        QAction *eject = menu->addAction(Symbols::icon(QStringLiteral("eject")), L("Auswerfen"));
        eject->setObjectName(QStringLiteral("eject"));
        connect(eject, &QAction::triggered, menu,
                [parts, item] { parts.items.eject(item.path, item.name, item.pathBytes); });
    }
    if (item.removable) {
        QAction *remove =
            menu->addAction(Symbols::icon(QStringLiteral("star.slash")), L("Aus Favoriten entfernen"));
        remove->setObjectName(QStringLiteral("removeFavorite"));
        connect(remove, &QAction::triggered, menu, [parts, item] { parts.model.toggleFavorite(item.path); });
    }
    return menu;
}

void SidebarRow::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = makeMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

bool SidebarRow::drop(const QMimeData *data, bool copy) {
    if (!FolderDropTarget::accepts(data)) return false;
    if (isTrash()) {
        // Into the trash as the trash operation does it (with its record for putting back), never a plain
        // move into the trash folder.
        const QStringList paths = DragState::shared().dropPaths(data);
        DragState::shared().clear();
        if (paths.isEmpty()) return false;
        m_parts.trash.trashDropped(paths);
        return true;
    }
    return m_parts.sides.activePane()->handleDrop(data, m_item.path, copy);
}

FolderDropTarget SidebarRow::dropTarget() {
    FolderDropTarget t;
    t.destination = m_item.path;
    t.trashes = isTrash();
    QPointer<SidebarRow> self(this);
    t.targeted = [self](bool on) {
        if (!self || self->m_targeted == on) return;
        self->m_targeted = on;
        self->update();
    };
    t.perform = [self](const QMimeData *data, bool copy) { return self && self->drop(data, copy); };
    return t;
}

void SidebarRow::dragEnterEvent(QDragEnterEvent *event) {
    dropTarget().dragMove(event);
}

void SidebarRow::dragMoveEvent(QDragMoveEvent *event) {
    dropTarget().dragMove(event);
}

void SidebarRow::dragLeaveEvent(QDragLeaveEvent *) {
    dropTarget().dragLeave();
}

void SidebarRow::dropEvent(QDropEvent *event) {
    dropTarget().drop(event);
}

SidebarView::SidebarView(SidebarModel &model, Sides &sides, ItemCommands &items, TrashCommands &trash,
                         Toasts &toasts, QWidget *parent)
    : QScrollArea(parent), m_parts{model, sides, items, trash, toasts} {
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(L("Seitenleiste"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Base);
    // The rows take the focus by keys; a click on the column itself leaves the keys where they were.
    setFocusPolicy(Qt::NoFocus);
    m_content = new QWidget(this);
    m_content->setBackgroundRole(QPalette::Base);
    m_content->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    m_stack = new QVBoxLayout(m_content);
    m_stack->setContentsMargins(8, 10, 8, 10);
    m_stack->setSpacing(14);
    setWidget(m_content);
    rebuildRows();
    connect(&model, &SidebarModel::changed, this, &SidebarView::rebuildRows);
    connect(&sides, &Sides::activePaneChanged, this, &SidebarView::watchActivePane);
    watchActivePane();
    EnvironmentValues::follow(this, [this] { rebuildRows(); });
}

void SidebarView::watchActivePane() {
    PaneModel *pane = m_parts.sides.activePane();
    if (pane != m_pane) {
        disconnect(m_paneFolder);
        m_pane = pane;
        m_paneFolder = connect(pane, &PaneModel::currentPathChanged, this, [this] {
            for (SidebarRow *r : rows())
                r->update();
        });
    }
    for (SidebarRow *r : rows())
        r->update();
}

QList<SidebarRow *> SidebarView::rows() const {
    return m_content->findChildren<SidebarRow *>();
}

SidebarRow *SidebarView::row(const QString &path) const {
    for (SidebarRow *r : rows())
        if (r->item().path == path) return r;
    return nullptr;
}

void SidebarView::focusEntry() {
    const QList<SidebarRow *> all = rows();
    if (all.isEmpty()) return;
    SidebarRow *to = all.first();
    for (SidebarRow *r : all)
        if (r->isCurrent()) {
            to = r;
            break;
        }
    to->setFocus(Qt::ShortcutFocusReason);
}

bool SidebarView::eventFilter(QObject *watched, QEvent *event) {
    auto *row = qobject_cast<SidebarRow *>(watched);
    if (!row) return QScrollArea::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) ensureWidgetVisible(row, 0, 8);
    if (event->type() != QEvent::KeyPress) return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    const QList<SidebarRow *> all = rows();
    const qsizetype at = all.indexOf(row);
    qsizetype to = -1;
    switch (key->key()) {
    case Qt::Key_Up:
        to = std::max<qsizetype>(0, at - 1);
        break;
    case Qt::Key_Down:
        to = std::min<qsizetype>(all.size() - 1, at + 1);
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = all.size() - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        row->open();
        return true;
    default:
        return false;
    }
    if (to >= 0 && to < all.size()) all[to]->setFocus(Qt::TabFocusReason);
    return true;
}

void SidebarView::rebuildRows() {
    if (!m_stack) return;
    // A row with the focus is made anew: the focus goes to its successor.
    QString focused;
    for (SidebarRow *r : rows())
        if (r->hasFocus()) focused = r->item().path;
    while (QLayoutItem *item = m_stack->takeAt(0)) {
        delete item->widget(); // rows change only from queued model updates, never inside their own handlers
        delete item;
    }
    const UIScale ui = EnvironmentValues::ui(this);
    const SidebarModel &model = m_parts.model;
    const std::pair<const char *, const QList<SidebarItem> *> sections[] = {
        {K("Geräte"), &model.devices()}, {K("Favoriten"), &model.favorites()}, {K("Orte"), &model.places()}};
    for (const auto &[title, items] : sections) {
        auto *section = new QWidget(m_content);
        auto *column = new QVBoxLayout(section);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        auto *label = new QLabel(L(title), section);
        label->setObjectName(QString::fromUtf8(title));
        QFont f = label->font();
        f.setPixelSize(qMax(1, int(std::lround(ui.small()))));
        f.setWeight(QFont::DemiBold);
        label->setFont(f);
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, withAlpha(palette().color(QPalette::WindowText), 0.55));
        label->setPalette(pal);
        label->setContentsMargins(8, 0, 8, 2);
        column->addWidget(label);
        for (const SidebarItem &item : *items) {
            auto *row = new SidebarRow(m_parts, item, section);
            row->installEventFilter(this);
            connect(row, &SidebarRow::clicked, this, &SidebarView::placeClicked);
            column->addWidget(row);
        }
        m_stack->addWidget(section);
    }
    m_stack->addStretch(1);
    if (focused.isEmpty()) return;
    if (SidebarRow *again = row(focused))
        again->setFocus(Qt::OtherFocusReason);
    else
        focusEntry();
}
