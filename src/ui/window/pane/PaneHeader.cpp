#include "ui/window/pane/PaneHeader.h"

#include "core/app/Settings.h"
#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneParts.h"
#include "ui/window/pane/PlacesMenu.h"
#include "ui/window/pane/SortMenus.h"

#include <QAction>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

ActiveIndicator::ActiveIndicator(QWidget *parent) : QWidget(parent) {
    setFixedSize(21, 13);
    setCursor(Qt::PointingHandCursor);
    setToolTip(L("Fenster aktivieren"));
    setAccessibleName(toolTip());
}

void ActiveIndicator::setOn(bool on) {
    if (on == m_on) return;
    m_on = on;
    setToolTip(L(on ? K("Aktives Fenster") : K("Fenster aktivieren")));
    setAccessibleName(toolTip());
    update();
}

void ActiveIndicator::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(4, 0, 13, 13);
    if (m_on) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgbF(0.2f, 0.78f, 0.35f));
        p.drawEllipse(circle);
    } else {
        QColor ring = palette().color(QPalette::WindowText);
        ring.setAlphaF(0.5f * 0.55f);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(circle.adjusted(0.75, 0.75, -0.75, -0.75));
    }
}

void ActiveIndicator::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

QColor PaneHeader::secondaryColor(const QWidget *w) {
    // Readable on the plain header and on both ends of the active pane's tint.
    const QPalette &pal = w->palette();
    const QColor window = pal.color(QPalette::Window);
    const AppTheme theme = EnvironmentValues::appTheme(w);
    auto tinted = [&](QColor c) {
        c.setAlphaF(0.22f);
        return AppTheme::over(c, window);
    };
    return AppTheme::secondaryText(pal.color(QPalette::WindowText),
                                   {window, tinted(theme.a), tinted(theme.b)});
}

namespace {

IconButton *iconButton(const char *symbol, const QString &help, QWidget *parent) {
    auto *b = new IconButton(QString::fromUtf8(symbol), false, 12, parent);
    b->setHelpKey(help);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

QAction *PaneHeader::command(const char *id) const {
    return m_commands ? m_commands->action(QString::fromUtf8(id)) : nullptr;
}

// A header button is the face of its command in the registry, run on this side.
void PaneHeader::bindOnThisSide(QAbstractButton *button, const char *id) {
    if (m_commands)
        m_commands->bindButton(button, command(id), [this] {
            if (m_sides && m_model) m_sides->setActive(m_model->side());
        });
}

PaneHeader::PaneHeader(PaneModel *model, const PaneParts &parts, QWidget *parent)
    : QWidget(parent), m_model(model), m_sides(&parts.sides), m_settings(&parts.settings),
      m_commands(&parts.commands) {
    setAccessibleName(L("Kopfzeile des Fensters"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 4, 8, 4);
    column->setSpacing(1);
    auto *row = new QHBoxLayout;
    row->setSpacing(2);
    column->addLayout(row);

    m_indicator = new ActiveIndicator(this);
    connect(m_indicator, &ActiveIndicator::clicked, this, [this] {
        if (m_sides && m_model) m_sides->setActive(m_model->side());
    });
    row->addWidget(m_indicator);

    // While the sidebar is hidden its places are one menu away.
    m_places = new PlacesMenu(model, parts.items, parts.volumes, this);
    row->addWidget(m_places);

    m_home = iconButton("house", QString::fromUtf8(K("Benutzerordner")), this);
    connect(m_home, &QAbstractButton::clicked, this, [this] {
        if (m_model) m_model->go(QDir::homePath(), true);
    });
    row->addWidget(m_home);

    m_up = iconButton("arrow.up", QString::fromUtf8(K("Übergeordneter Ordner (⌘↑)")), this);
    connect(m_up, &QAbstractButton::clicked, this, [this] {
        if (m_model) m_model->goUp();
    });
    row->addWidget(m_up);

    addCommandButtons(row, parts);
    addStatus(column);
    watch();
    refresh();
}

void PaneHeader::addCommandButtons(QHBoxLayout *row, const PaneParts &parts) {
    m_crumbs = new Breadcrumbs(m_model, parts.clipboard, this);
    // A drop onto a crumb is a drop onto this pane.
    connect(m_crumbs, &Breadcrumbs::dropped, this, [this] {
        if (m_sides && m_model) FolderDropTarget::activatePane(this, *m_sides, m_model->side());
    });
    row->addWidget(m_crumbs, 1);

    m_putBack = new BarButton(m_commands->titleKey(command(Cmd::putBack)), false, this);
    bindOnThisSide(m_putBack, Cmd::putBack);
    row->addWidget(m_putBack);

    m_emptyTrash = new BarButton(m_commands->titleKey(command(Cmd::emptyTrash)), false, this);
    bindOnThisSide(m_emptyTrash, Cmd::emptyTrash);
    if (QAction *empty = command(Cmd::emptyTrash))
        connect(empty, &QAction::changed, this, &PaneHeader::refresh);
    row->addWidget(m_emptyTrash);

    m_newTab = iconButton("plus", {}, this);
    bindOnThisSide(m_newTab, Cmd::newTab);
    row->addWidget(m_newTab);

    m_goTo = iconButton("arrow.right.to.line", {}, this);
    bindOnThisSide(m_goTo, Cmd::goToFolder);
    row->addWidget(m_goTo);

    m_sort = new SortMenu(m_model, this);
    row->addWidget(m_sort);
}

void PaneHeader::addStatus(QLayout *column) {
    m_status = new ElidedLabel({}, this, Qt::ElideRight);
    m_status->setContentsMargins(8, 0, 0, 0);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(m_status);
    // The status line's size and colour follow the window's scale, theme and light or dark.
    EnvironmentValues::follow(this, [this] {
        QFont f = m_status->font();
        f.setPixelSize(qMax(1, qRound(EnvironmentValues::ui(this).small())));
        m_status->setFont(f);
        QPalette pal = m_status->palette();
        pal.setColor(QPalette::WindowText, secondaryColor(this));
        m_status->setPalette(pal);
    });
}

void PaneHeader::watch() {
    if (m_model) connect(m_model, &PaneModel::changed, this, &PaneHeader::refresh);
    connect(m_sides, &Sides::activeChanged, this, &PaneHeader::refresh);
    connect(m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::showSidebar) refresh();
    });
    if (m_model) connect(m_sides->tabs(m_model->side()), &TabGroup::tabsChanged, this, &PaneHeader::refresh);
}

bool PaneHeader::isActive() const {
    return m_sides && m_model && m_sides->active() == m_model->side();
}

bool PaneHeader::inTrash() const {
    return m_model && FileLoader::norm(m_model->currentPath()) == FileLoader::mainTrash();
}

QString PaneHeader::statusText(const PaneModel &model) {
    QString text = model.footerText();
    if (!model.freeSpace().isEmpty()) text += QStringLiteral(" · ") + model.freeSpace();
    return text;
}

void PaneHeader::refresh() {
    if (!m_model) return;
    m_indicator->setOn(isActive());
    m_places->setVisible(m_settings && !m_settings->showSidebar());
    m_up->setEnabled(m_model->canGoUp());
    const bool trash = inTrash();
    m_putBack->setVisible(trash);
    m_emptyTrash->setVisible(trash);
    // The menu bar's rules, for this side: something chosen here to put back, something to empty.
    QAction *empty = command(Cmd::emptyTrash);
    m_putBack->setEnabled(trash && !m_model->selection().isEmpty());
    m_emptyTrash->setEnabled(trash && empty && empty->isEnabled());
    m_status->setText(statusText(*m_model));
    fitRow();
    update();
}

void PaneHeader::fitRow() {
    if (!m_model) return;
    const qsizetype tabs = m_sides ? m_sides->tabs(m_model->side())->tabs().size() : 1;
    const QList<QWidget *> givingWay{m_goTo, m_newTab, m_sort, m_home, m_up};
    QList<QWidget *> shown = givingWay;
    if (tabs > 1) shown.removeOne(m_newTab);
    auto *row = static_cast<QHBoxLayout *>(layout()->itemAt(0)->layout());
    const QMargins margins = layout()->contentsMargins();
    int need = margins.left() + margins.right() - row->spacing();
    for (int i = 0; i < row->count(); ++i) {
        QWidget *w = row->itemAt(i)->widget();
        if (!w || (givingWay.contains(w) ? !shown.contains(w) : w->isHidden())) continue;
        // The trail asks for the current folder's whole name.
        need += (w == m_crumbs ? m_crumbs->wholeNameWidth() : w->sizeHint().width()) + row->spacing();
    }
    for (QWidget *w : givingWay) {
        if (need <= width()) break;
        if (shown.removeOne(w)) need -= w->sizeHint().width() + row->spacing();
    }
    // Only what changes, so the layout request this makes finds everything settled.
    for (QWidget *w : givingWay)
        if (w->isHidden() == shown.contains(w)) w->setVisible(shown.contains(w));
}

bool PaneHeader::event(QEvent *event) {
    // A new trail or text size asks the header for another width.
    if (event->type() == QEvent::LayoutRequest) fitRow();
    return QWidget::event(event);
}

void PaneHeader::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fitRow();
}

void PaneHeader::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (isActive()) p.fillRect(rect(), EnvironmentValues::appTheme(this).gradient(rect(), 0.22));
}
