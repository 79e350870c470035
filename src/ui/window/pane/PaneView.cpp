#include "ui/window/pane/PaneView.h"

#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/panecontent/ListView.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/TabBar.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PathBar.h"

#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QFrame>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The 4-point strip on top: the theme gradient on the active pane, clear on the other.
class AccentStrip : public QWidget {
public:
    AccentStrip(std::function<bool()> active, QWidget *parent)
        : QWidget(parent), m_active(std::move(active)) {
        setFixedHeight(4);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (!m_active()) return;
        QPainter p(this);
        p.fillRect(rect(), EnvironmentValues::appTheme(this).gradient(rect()));
    }

private:
    std::function<bool()> m_active;
};

// The dashed border while files hover over the pane; it never takes clicks or drops.
class DropHighlight : public QWidget {
public:
    explicit DropHighlight(QWidget *parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        const QRectF r = QRectF(rect()).adjusted(3, 3, -3, -3);
        QPen pen(QBrush(EnvironmentValues::appTheme(this).gradient(r)), 2);
        pen.setDashPattern({8.0 / 2, 5.0 / 2}); // in pen widths
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setMiterLimit(10);
        p.setPen(pen);
        p.drawRect(r.adjusted(1, 1, -1, -1)); // stroked inside the rectangle
    }
};

QFrame *divider(QWidget *parent) {
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

PaneView::PaneView(PaneModel *model, const PaneParts &parts, QWidget *parent)
    : PaneView(model ? parts.sides.tabs(model->side()) : nullptr, model, parts, parent) {
    m_follows = false;
}

PaneView::PaneView(TabGroup *group, const PaneParts &parts, QWidget *parent)
    : PaneView(group, group ? group->current() : nullptr, parts, parent) {}

PaneView::PaneView(TabGroup *group, PaneModel *model, const PaneParts &parts, QWidget *parent)
    : QWidget(parent), m_group(group), m_parts(parts) {
    setAcceptDrops(true);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    m_strip = new AccentStrip([this] { return isActive(); }, this);
    stack->addWidget(m_strip);

    m_tabBox = new QWidget(this);
    auto *tabLayout = new QVBoxLayout(m_tabBox);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    stack->addWidget(m_tabBox);

    m_highlight = new DropHighlight(this);

    connect(&m_parts.sides, &Sides::activeChanged, m_strip, qOverload<>(&QWidget::update));
    if (m_group) {
        connect(m_group, &TabGroup::tabsChanged, this, &PaneView::followGroup);
        connect(m_group, &TabGroup::indexChanged, this, &PaneView::followGroup);
    }
    setModel(model);
    updateTabBar();
    qApp->installEventFilter(this);
}

PaneView::~PaneView() {
    qApp->removeEventFilter(this);
}

void PaneView::followGroup() {
    updateTabBar();
    // Built over a group, the pane shows whichever tab is current.
    if (m_follows && m_group && m_model != m_group->current()) setModel(m_group->current());
}

void PaneView::setModel(PaneModel *model) {
    if (m_body) {
        // The old parts may be inside one of their own signals (the header's new-tab button), or a drag
        // may have started in them and still be running (a tab shown while files rest on it): the view
        // the drag came from is still in its mouse handling, so the parts go once the drag is over.
        m_body->hide();
        if (QDrag *drag = m_body->findChild<QDrag *>())
            connect(drag, &QObject::destroyed, m_body, &QObject::deleteLater);
        else
            m_body->deleteLater();
        m_body = nullptr;
    }
    m_model = model;
    setAccessibleName(model && model->side() == Side::right ? L("Rechtes Fenster") : L("Linkes Fenster"));
    m_body = new QWidget(this);
    auto *stack = new QVBoxLayout(m_body);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_header = new PaneHeader(model, m_parts, m_body);
    stack->addWidget(m_header);
    stack->addWidget(divider(m_body));

    m_content = new PaneContent(model, m_parts, m_body);
    m_content->setBackgroundRole(QPalette::Base);
    m_content->setAutoFillBackground(true);
    m_content->list()->view()->paneDrop = [this] { return dropTarget(); };
    stack->addWidget(m_content, 1);
    stack->addWidget(divider(m_body));

    m_pathBar = new PathBar(model, m_parts.clipboard, m_body);
    stack->addWidget(m_pathBar);
    static_cast<QVBoxLayout *>(layout())->addWidget(m_body, 1);
    m_strip->update();
    m_highlight->raise();
}

bool PaneView::isActive() const {
    return m_model && m_parts.sides.active() == m_model->side();
}

void PaneView::updateTabBar() {
    // The bar follows the group's tabs by itself; the pane only shows it from two tabs on.
    const bool show = m_group && m_group->tabs().size() > 1;
    if (show && !m_tabBar) {
        auto *layout = static_cast<QVBoxLayout *>(m_tabBox->layout());
        auto *bar = new TabBar(m_group, m_tabBox);
        // A drop onto a tab is a drop onto this pane.
        connect(bar, &TabBar::dropped, this, [this] {
            if (m_model) FolderDropTarget::activatePane(this, m_parts.sides, m_model->side());
        });
        m_tabBar = bar;
        layout->addWidget(m_tabBar);
        layout->addWidget(divider(m_tabBox));
    }
    m_tabBox->setVisible(show);
}

QString PaneView::dropDestination() const {
    if (!m_model) return {};
    return m_model->viewMode() == ViewMode::columns ? m_model->targetFolder() : m_model->currentPath();
}

FolderDropTarget PaneView::dropTarget() {
    FolderDropTarget t;
    t.destination = dropDestination();
    QPointer<PaneView> self(this);
    t.targeted = [self](bool on) {
        if (self) self->setDropTargeted(on);
    };
    t.perform = [self](const QMimeData *data, bool copyHeld) {
        // The destination again, as it stands at the moment of the drop.
        if (!self || !self->m_model) return false;
        return self->m_model->handleDrop(data, self->dropDestination(), copyHeld);
    };
    return t;
}

void PaneView::setDropTargeted(bool on) {
    if (on == m_dropTargeted) return;
    m_dropTargeted = on;
    m_highlight->setGeometry(rect());
    m_highlight->setVisible(on);
    if (on) m_highlight->raise();
}

void PaneView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_highlight->setGeometry(rect());
}

bool PaneView::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::DragLeave)
        return false;
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w || (w != this && !isAncestorOf(w))) return false;
    if (type == QEvent::DragLeave) {
        // A child that took the drag over from the pane lets it go; the pane's border goes with it.
        if (w != this) setDropTargeted(false);
        return false;
    }
    // Every click anywhere in the pane activates its side; the click itself goes on as usual.
    if (m_model && m_parts.sides.active() != m_model->side()) m_parts.sides.setActive(m_model->side());
    return false;
}

void PaneView::dragEnterEvent(QDragEnterEvent *event) {
    dropTarget().dragMove(event);
}

void PaneView::dragMoveEvent(QDragMoveEvent *event) {
    dropTarget().dragMove(event);
}

void PaneView::dragLeaveEvent(QDragLeaveEvent *) {
    setDropTargeted(false);
}

void PaneView::dropEvent(QDropEvent *event) {
    if (dropTarget().drop(event) && m_model)
        FolderDropTarget::activatePane(this, m_parts.sides, m_model->side());
}
