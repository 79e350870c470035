#include "ui/window/TabBar.h"

#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolTip>

namespace {

QColor withAlpha(QColor c, double opacity) {
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

} // namespace

// TabBar

TabBar::TabBar(TabGroup *group, QWidget *parent) : QWidget(parent), m_group(group) {
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(padding, 0, padding, 0);
    m_row->setSpacing(spacing);
    m_plus = new IconButton(QStringLiteral("plus"), false, 12, this);
    m_plus->setHelpKey(K("Neuer Tab (⌘T)"));
    connect(m_plus, &QAbstractButton::clicked, this, [this] {
        if (m_group) m_group->newTab();
    });
    if (m_group) {
        connect(m_group, &TabGroup::tabsChanged, this, &TabBar::rebuild);
        connect(m_group, &TabGroup::indexChanged, this, [this] {
            // The selected title is semibold, so widths change too.
            for (TabButton *b : std::as_const(m_buttons)) {
                b->updateGeometry();
                b->update();
            }
        });
    }
    rebuild();
}

QList<TabButton *> TabBar::buttons() const {
    QList<TabButton *> out;
    if (!m_group) return out;
    for (PaneModel *tab : m_group->tabs())
        if (TabButton *b = m_buttons.value(tab)) out << b;
    return out;
}

void TabBar::rebuild() {
    const QList<PaneModel *> tabs = m_group ? m_group->tabs() : QList<PaneModel *>();
    // Buttons of closed tabs go; the others stay, with their hover state.
    for (auto it = m_buttons.begin(); it != m_buttons.end();) {
        if (!tabs.contains(it.key())) {
            it.value()->deleteLater();
            it.value()->hide();
            it = m_buttons.erase(it);
        } else {
            ++it;
        }
    }
    while (m_row->count() > 0)
        delete m_row->takeAt(0); // the layout item only; the widgets stay
    for (int i = 0; i < tabs.size(); ++i) {
        TabButton *b = m_buttons.value(tabs[i]);
        if (!b) {
            b = new TabButton(m_group, tabs[i], i, this);
            m_buttons.insert(tabs[i], b);
        }
        b->setIndex(i);
        m_row->addWidget(b, 0, Qt::AlignVCenter);
        b->show();
    }
    m_row->addWidget(m_plus, 0, Qt::AlignVCenter);
    m_row->addStretch(1);
}

void TabBar::paintEvent(QPaintEvent *) {
    // The bar's material: the window colour, a little see-through.
    QPainter p(this);
    p.fillRect(rect(), withAlpha(palette().color(QPalette::Window), 0.92));
}

// TabButton

TabButton::TabButton(TabGroup *group, PaneModel *tab, int index, QWidget *parent)
    : QWidget(parent), m_group(group), m_tab(tab), m_index(index), m_showTimer(new QTimer(this)) {
    setFixedHeight(buttonHeight);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setAcceptDrops(true);
    m_showTimer->setSingleShot(true);
    connect(m_showTimer, &QTimer::timeout, this, [this] {
        // The group may show another tab now, and this button stays: the bar is not part of a tab.
        if (m_dropTargeted && m_group && !isSelected()) m_group->select(m_index);
    });
    if (m_tab)
        connect(m_tab, &PaneModel::crumbsChanged, this, [this] {
            updateGeometry();
            update();
        });
}

void TabButton::setIndex(int index) {
    if (index == m_index) return;
    m_index = index;
    update();
}

bool TabButton::isSelected() const {
    return m_group && m_group->index() == m_index;
}

bool TabButton::hasCloseButton() const {
    return m_group && m_group->tabs().size() >= 2;
}

QString TabButton::title() const {
    if (!m_tab || m_tab->crumbs().isEmpty()) return {};
    return m_tab->crumbs().last().second;
}

QFont TabButton::titleFont() const {
    QFont f = font();
    f.setPixelSize(qMax(1, qRound(EnvironmentValues::ui(this).small() + 0.5)));
    f.setWeight(isSelected() ? QFont::DemiBold : QFont::Normal);
    return f;
}

QSize TabButton::sizeHint() const {
    const int symbol = qRound(EnvironmentValues::ui(this).small());
    const QFontMetrics fm(titleFont());
    int w = padding + symbol + spacing + qMin(titleWidth, fm.horizontalAdvance(title()));
    if (hasCloseButton()) w += spacing + closeSide;
    return QSize(w + padding, buttonHeight);
}

QRect TabButton::titleRect() const {
    const int symbol = qRound(EnvironmentValues::ui(this).small());
    const QFontMetrics fm(titleFont());
    const int x = padding + symbol + spacing;
    return QRect(x, 0, qMin(titleWidth, fm.horizontalAdvance(title())), height());
}

QRect TabButton::closeRect() const {
    if (!hasCloseButton()) return {};
    return QRect(titleRect().right() + 1 + spacing, (height() - closeSide) / 2, closeSide, closeSide);
}

void TabButton::paintEvent(QPaintEvent *) {
    const AppTheme theme = EnvironmentValues::appTheme(this);
    const UIScale ui = EnvironmentValues::ui(this);
    const bool selected = isSelected();
    const QColor primary = palette().color(QPalette::WindowText);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF r = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(r, 6, 6);
    if (selected)
        p.fillPath(shape, theme.gradient(r, 0.28));
    else if (m_hover || m_dropTargeted)
        p.fillPath(shape, withAlpha(primary, 0.08));
    if (selected || m_dropTargeted) {
        p.setPen(QPen(QBrush(theme.gradient(r, 0.7)), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    }

    const int symbol = qRound(ui.small());
    const QColor symbolColor =
        selected ? theme.readable(AppTheme::schemeOf(palette()), 3.0) : withAlpha(primary, 0.5);
    const QPixmap folder =
        Symbols::pixmap(QStringLiteral("folder"), symbol, symbolColor, devicePixelRatioF());
    if (!folder.isNull()) p.drawPixmap(QPointF(padding, (height() - symbol) / 2.0), folder);

    const QRect tr = titleRect();
    p.setFont(titleFont());
    p.setPen(primary);
    const QString text = QFontMetrics(titleFont()).elidedText(title(), Qt::ElideRight, titleWidth);
    p.drawText(tr, Qt::AlignVCenter | Qt::AlignHCenter | Qt::TextSingleLine, text);

    if (hasCloseButton()) {
        const double opacity = (m_hover || selected) ? 0.8 : 0.0;
        if (opacity > 0) {
            const QPixmap x = Symbols::pixmap(QStringLiteral("xmark"), 8, primary, devicePixelRatioF());
            const QRect cr = closeRect();
            p.setOpacity(opacity);
            if (!x.isNull()) p.drawPixmap(QPointF(cr.center().x() - 3.5, cr.center().y() - 3.5), x);
            p.setOpacity(1);
        }
    }
}

void TabButton::enterEvent(QEnterEvent *) {
    m_hover = true;
    update();
}

void TabButton::leaveEvent(QEvent *) {
    m_hover = false;
    update();
}

void TabButton::mousePressEvent(QMouseEvent *e) {
    m_pressedClose = e->button() == Qt::LeftButton && closeRect().contains(e->position().toPoint());
    e->accept();
}

void TabButton::mouseReleaseEvent(QMouseEvent *e) {
    const bool wasClose = m_pressedClose;
    m_pressedClose = false;
    if (e->button() != Qt::LeftButton || !rect().contains(e->position().toPoint()) || !m_group) return;
    // The group may delete this button while closing; nothing here runs after the call.
    if (wasClose && closeRect().contains(e->position().toPoint()))
        m_group->close(m_index);
    else
        m_group->select(m_index);
}

bool TabButton::event(QEvent *e) {
    if (e->type() == QEvent::ToolTip) {
        // Looked up when shown, so the tip follows the current language.
        const auto *help = static_cast<QHelpEvent *>(e);
        if (closeRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), L("Tab schließen (⌘W)"), this, closeRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

int &TabButton::showDelayMs() {
    static int ms = 700;
    return ms;
}

FolderDropTarget TabButton::dropTarget() {
    FolderDropTarget t;
    if (!m_tab) return t;
    // The tab's own folder, shown or not.
    t.destination = m_tab->currentPath();
    QPointer<TabButton> self(this);
    t.targeted = [self](bool on) {
        if (self) self->setDropTargeted(on);
    };
    t.perform = [tab = m_tab, into = t.destination](const QMimeData *data, bool copy) {
        return tab && tab->handleDrop(data, into, copy);
    };
    return t;
}

void TabButton::setDropTargeted(bool on) {
    if (!on)
        m_showTimer->stop();
    else if (!m_dropTargeted && !isSelected())
        m_showTimer->start(showDelayMs());
    if (on == m_dropTargeted) return;
    m_dropTargeted = on;
    update();
}

void TabButton::dragEnterEvent(QDragEnterEvent *event) {
    dragMoveEvent(event);
}

void TabButton::dragMoveEvent(QDragMoveEvent *event) {
    if (!m_tab) {
        event->ignore();
        return;
    }
    if (!dropTarget().dragMove(event)) setDropTargeted(false);
}

void TabButton::dragLeaveEvent(QDragLeaveEvent *) {
    setDropTargeted(false);
    dropTarget().dragLeave();
}

void TabButton::dropEvent(QDropEvent *event) {
    if (!m_tab) {
        event->ignore();
        return;
    }
    if (!dropTarget().drop(event)) return;
    if (auto *bar = qobject_cast<TabBar *>(parentWidget())) emit bar->dropped();
}
