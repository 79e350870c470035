#include "ui/window/MainWindow.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/ListedSelection.h"
#include "core/app/ToolbarApps.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/Commands.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/MainMenuBar.h"
#include "ui/help/ManualWindow.h"
#include "ui/help/FeedbackSheet.h"
#include "ui/help/ShortcutsSheet.h"
#include "core/app/Favorites.h"
#include "ui/inspector/FileInfoAppSection.h"
#include "core/app/FileInfoState.h"
#include "ui/inspector/FileInfoForm.h"
#include "ui/inspector/InfoSheet.h"
#include "ui/inspector/InspectorView.h"
#include "ui/sidebar/FavoritesEditorSheet.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/panecontent/QuickLook.h"
#include "ui/help/TerminalHelpSheet.h"
#include "ui/style/AppIcons.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/AppStyle.h"
#include "ui/style/WheelGuard.h"
#include "ui/window/ActionBar.h"
#include "ui/window/PaneArea.h"
#include "ui/app/PaneWiring.h"
#include "ui/tools/ToolSheets.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/SplitHandles.h"
#include "ui/window/ToastView.h"
#include "ui/window/toolbar/ToolbarEditorSheet.h"
#include "ui/window/TransferBanner.h"
#include "ui/window/pane/PaneView.h"
#include "ui/window/pane/PathBar.h"
#include "ui/window/toolbar/MainToolbar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Return in the search field leads to the first hit. The walk may still be under way: then to the first
// of what it finds.
void selectFirstHit(PaneModel *pane) {
    auto select = [pane] {
        const QList<FileItem> &hits = pane->visibleItems();
        if (!hits.isEmpty()) ListedSelection::select(pane, {hits.first().path()}, hits.first().path());
    };
    if (!pane->isSearching()) return select();
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(pane, &PaneModel::isSearchingChanged, pane, [pane, once, select] {
        if (pane->isSearching()) return;
        QObject::disconnect(*once);
        select();
    });
}

QFrame *line(Qt::Orientation o, QWidget *parent) {
    auto *f = new QFrame(parent);
    f->setFrameShape(o == Qt::Vertical ? QFrame::VLine : QFrame::HLine);
    f->setFrameShadow(QFrame::Plain);
    QPalette p = f->palette();
    QColor c = p.color(QPalette::WindowText);
    c.setAlphaF(0.15);
    p.setColor(QPalette::WindowText, c);
    f->setPalette(p);
    return f;
}

// The application's font before any window set its size; back once the last window is gone.
const QFont &systemFont() {
    static const QFont font = QApplication::font();
    return font;
}
int windowsShown = 0;

// Light or dark as the user chose; "follow the system" keeps the platform's own palette.
void applyScheme(std::optional<ColorScheme> scheme) {
    static const QPalette system = QApplication::palette();
    if (!scheme) {
        QApplication::setPalette(system);
        return;
    }
    // One style object for the base palette, kept for the process instead of one per change.
    static QStyle *const fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    QPalette p = fusion ? fusion->standardPalette() : system;
    if (*scheme == ColorScheme::dark) {
        p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
        p.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xea));
        p.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
        p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x29));
        p.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xea));
        p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x38));
        p.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xea));
        p.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x38));
        p.setColor(QPalette::ToolTipText, QColor(0xe8, 0xe8, 0xea));
        p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7a, 0x7a, 0x7f));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7a, 0x7a, 0x7f));
        p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7a, 0x7a, 0x7f));
    }
    QApplication::setPalette(p);
}

} // namespace

MainWindow::MainWindow(AppState *app, QWidget *parent) : QMainWindow(parent), m_app(app) {
    // Found by its title, which is never translated.
    setWindowTitle(QStringLiteral("Kestrin"));
    AppIcons::install();
    setWindowIcon(AppIcons::appIcon());
    // Qt's own menu of the window (a switch that hides the toolbar for good) never opens, by mouse or by
    // the menu key: the toolbar is shown and hidden only as the settings say.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    EnvironmentValues::install(this);
    AppStyle::install();
    WheelGuard::install();
    systemFont();
    ++windowsShown;
    connect(this, &QObject::destroyed, [] {
        if (--windowsShown == 0) QApplication::setFont(systemFont());
    });

    if (!m_app) {
        setCentralWidget(new QWidget(this));
        return;
    }
    m_sheets = new SheetPresenter(m_app->requests(), this);
    // Made before the parts it is handed to, and so gone before them.
    m_commands = new Commands(*m_app, this);
    registerSheets();
    provideFormParts();
    build();
    applyEnvironment();
    connect(&m_app->requests(), &WindowRequests::manualRequested, this,
            [app = m_app.data()] { ManualWindow::open(app->settings(), app->requests()); });
    // The commands' own keys work in this window; Ctrl+W with one tab left and Ctrl+Q close it through
    // closeEvent, which asks first while a job runs.
    m_commands->attach(this);
    m_commands->setSheets(m_sheets);
    // The preview window of Space and Ctrl+Y.
    new QuickLook(m_app->sides(), m_app->requests(), m_app->toasts(), this);
    m_commands->update();
    setMenuBar(new MainMenuBar(*m_commands, m_app->settings(), m_app->requests(), this));
    followState();
}

void MainWindow::registerSheets() {
    FeedbackSheet::registerWith(m_sheets, m_app->requests(), m_app->services().pasteboard, m_app->toasts());
    ShortcutsSheet::registerWith(m_sheets, m_app->settings(), m_app->requests());
    ToolSheets::install(m_sheets, m_app);
    ToolbarEditorSheet::registerWith(m_sheets, m_app->settings(), m_app->requests(), *ToolbarApps::of(m_app));
    InfoSheet::registerWith(m_sheets, m_app->sides(), m_app->items(), m_app->toasts(), m_app->requests(),
                            m_commands->action(Cmd::undo));
    TerminalHelpSheet::registerWith(m_sheets, m_app->settings(), m_app->requests(),
                                    m_app->services().pasteboard);
    FavoritesEditorSheet::registerWith(m_sheets, m_app->favorites());
}

// The sections of the info form that another part provides.
void MainWindow::provideFormParts() {
    // The form's application and access sections come from one widget that loads their facts once;
    // it stays hidden in the form while its two parts sit where the form places them.
    FileInfoForm::setSectionProvider([app = m_app](FileInfoForm *form, FileInfoForm::Slot slot) -> QWidget * {
        auto *section = form->findChild<FileInfoAppSection *>(QString(), Qt::FindDirectChildrenOnly);
        if (!section) {
            section = new FileInfoAppSection(app->toasts(), app->services(), form->state(), form);
            section->setUndoJournal(&app->undoJournal());
            section->hide();
        }
        return slot == FileInfoForm::Slot::openWith ? section->openWithPart() : section->accessPart();
    });
}

void MainWindow::followState() {
    using K = Settings::Key;
    connect(&m_app->settings(), &Settings::changed, this, [this](K key) {
        switch (key) {
        case K::showSidebar:
        case K::showInspector:
        case K::inspectorWidth:
            syncColumns();
            break;
        case K::language:
            // The whole content is rebuilt in the new language; frame and position stay.
            build();
            MenuLocalizer::scheduleApply();
            break;
        default:
            if (Settings::changesLook(key)) applyEnvironment();
            break;
        }
    });
    // The columns follow the active pane's search text.
    connect(&m_app->sides(), &Sides::activePaneChanged, this, &MainWindow::followPanes);
    followPanes();
    connect(&m_app->toasts(), &Toasts::toastChanged, this, &MainWindow::syncOverlays);
}

void MainWindow::followPanes() {
    for (const auto &c : std::as_const(m_paneConnections))
        disconnect(c);
    m_paneConnections = {
        connect(m_app->activePane(), &PaneModel::searchTextChanged, this, &MainWindow::syncColumns)};
    syncColumns();
}

void MainWindow::build() {
    delete m_root;
    m_root = new QWidget(this);
    auto *columns = new QHBoxLayout(m_root);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    buildColumns();

    m_toast = new ToastView(m_root);
    m_toast->hide();
    m_banner = TransferBanner::forJobs(m_app ? &m_app->jobs() : nullptr, m_root);

    setCentralWidget(m_root);
    m_root->installEventFilter(this);
    buildToolbar();

    // Keys start at the panes, not in the search field, so arrows and letters browse.
    m_search->setFocusPolicy(Qt::ClickFocus);
    m_panes->setFocusPolicy(Qt::StrongFocus);
    // The keys of the commands on the files mean the files only here.
    m_panes->setProperty(KeyMonitor::paneProperty, true);
    m_panes->setFocus();

    syncColumns();
    syncOverlays();
}

// The sidebar, the panes over the action bar, and the inspector.
void MainWindow::buildColumns() {
    auto *columns = static_cast<QHBoxLayout *>(m_root->layout());
    auto *sidebar = new SidebarView(m_app->sidebar(), m_app->sides(), m_app->items(), m_app->trash(),
                                    m_app->toasts(), m_root);
    // The place opens in the active pane, which then takes the keys.
    connect(sidebar, &SidebarView::placeClicked, this, [this] { m_panes->setFocus(Qt::MouseFocusReason); });
    m_sidebar = sidebar;
    m_sidebar->setFixedWidth(kSidebarWidth);
    m_sidebarLine = line(Qt::Vertical, m_root);
    columns->addWidget(m_sidebar);
    columns->addWidget(m_sidebarLine);

    auto *middle = new QWidget(m_root);
    auto *stack = new QVBoxLayout(middle);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_panes = new PaneArea(
        m_app->sides(), m_app->settings(),
        [parts = windowPaneParts(*m_app, *m_commands)](TabGroup *side, QWidget *parent) {
            return new PaneView(side, parts, parent);
        },
        middle);
    stack->addWidget(m_panes, 1);
    stack->addWidget(line(Qt::Horizontal, middle));
    m_actionBar = new ActionBar(m_app->settings(), *m_commands, middle);
    stack->addWidget(m_actionBar);
    columns->addWidget(middle, 1);

    m_inspectorHandle =
        new InspectorResizeHandle([this] { return m_app ? m_app->settings().inspectorWidth() : 290.0; },
                                  [this](double v) {
                                      if (m_app) m_app->settings().setInspectorWidth(v);
                                  },
                                  m_root);
    connect(m_inspectorHandle, &ColumnHandle::dragging, this,
            [this](double width) { m_inspector->setFixedWidth(int(std::lround(width))); });
    auto *inspector = new InspectorView(m_app->sides(), m_app->items(), m_app->toasts(), m_root);
    // A rename confirmed or called off in its form: the next key (Ctrl+Z among them) is the files' again.
    connect(inspector, &InspectorView::editEnded, this, [this] {
        focusPart(m_app && m_app->sides().active() == Side::right ? Part::rightPane : Part::leftPane);
    });
    m_inspector = inspector;
    m_inspector->setAccessibleName(L("Info-Leiste"));
    columns->addWidget(m_inspectorHandle);
    columns->addWidget(m_inspector);
}

void MainWindow::buildToolbar() {
    // The toolbar is made anew in the language of now; the old one may be running the language menu's
    // action, so it goes once that has returned.
    if (m_toolbar) {
        removeToolBar(m_toolbar);
        m_toolbar->deleteLater();
    }
    const ToolbarParts parts{m_app->settings(),    m_app->sides(),         m_app->requests(),
                             m_app->favorites(),   m_app->trash(),         m_app->clipboard(),
                             m_app->undoJournal(), *ToolbarApps::of(m_app)};
    m_toolbar = new MainToolbar(parts, *m_commands, m_sheets, this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_search = m_toolbar->searchField();
    // Escape, and Return once hits are shown, go back to the files; Escape on a button too.
    m_search->installEventFilter(this);
    m_toolbar->installEventFilter(this);
}

void MainWindow::syncColumns() {
    if (!m_app || !m_root) return;
    m_sidebar->setVisible(m_app->settings().showSidebar());
    m_sidebarLine->setVisible(m_app->settings().showSidebar());
    m_inspectorHandle->setVisible(m_app->settings().showInspector());
    m_inspector->setVisible(m_app->settings().showInspector());
    m_inspector->setFixedWidth(int(std::lround(m_app->settings().inspectorWidth())));
    const QString text = m_app->activePane()->searchText();
    if (m_search && m_search->text() != text) m_search->setText(text);
}

void MainWindow::syncOverlays() {
    if (!m_app || !m_toast) return;
    if (const auto &toast = m_app->toast()) {
        if (m_toast->isHidden() || m_toast->toast().id != toast->id) m_toast->setToast(*toast);
        m_toast->show();
    } else {
        m_toast->hide();
    }
    placeOverlays();
}

// Both float at the bottom centre over the files, clear of the path bars and the action bar: the toast
// just above them, the banner 52 pixels higher.
void MainWindow::placeOverlays() {
    if (!m_root) return;
    int base = m_root->height() - 44;
    for (PathBar *bar : m_root->findChildren<PathBar *>())
        if (bar->isVisible())
            base = std::min(base, bar->mapTo(m_root, QPoint(0, 0)).y() - ToastView::kShadow);
    const QSize ts = m_toast->sizeHint();
    m_toast->setGeometry((m_root->width() - ts.width()) / 2, base - ts.height() + ToastView::kShadow,
                         ts.width(), ts.height());
    m_toast->raise();
    if (m_banner) {
        const QSize bs = m_banner->sizeHint();
        m_banner->setGeometry((m_root->width() - bs.width()) / 2, base - 52 - bs.height(), bs.width(),
                              bs.height());
        m_banner->raise();
    }
}

void MainWindow::applyEnvironment() {
    if (!m_app) return;
    if (auto *env = EnvironmentValues::of(this)) env->applySettings(&m_app->settings());
    QFont f = systemFont();
    f.setPixelSize(int(std::lround(m_app->settings().fontSize())));
    setFont(f);
    // Menus, drop-down lists, tooltips and panels of their own are windows that inherit nothing from
    // this one: the application's font carries the size to them.
    QApplication::setFont(f);
    applyScheme(m_app->settings().scheme());
    QLocale::setDefault(AppLanguages::locale(m_app->settings().language()));
    placeOverlays();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_root && event->type() == QEvent::Resize) placeOverlays();
    // The toolbar sees the keys its buttons leave.
    if ((watched == m_search || watched == m_toolbar) && m_search && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool hits = watched == m_search && !m_search->text().isEmpty();
        if (plain && (key->key() == Qt::Key_Escape || (enter && hits))) {
            if (enter) selectFirstHit(m_app->activePane());
            m_panes->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

MainWindow::Part MainWindow::focusedPart() const {
    const QWidget *focus = QApplication::focusWidget();
    if (focus && m_sidebar && (focus == m_sidebar || m_sidebar->isAncestorOf(focus))) return Part::sidebar;
    if (focus && focus == m_search) return Part::search;
    if (focus && m_inspector && m_inspector->isAncestorOf(focus)) return Part::inspector;
    return m_app && m_app->sides().active() == Side::right ? Part::rightPane : Part::leftPane;
}

void MainWindow::focusNextPart(int step) {
    if (!m_app) return;
    QList<Part> shown;
    if (m_sidebar->isVisible()) shown << Part::sidebar;
    shown << Part::leftPane;
    if (m_app->settings().dualPane()) shown << Part::rightPane;
    if (auto *inspector = qobject_cast<InspectorView *>(m_inspector); inspector && inspector->firstField())
        shown << Part::inspector;
    if (m_search && m_search->isVisible()) shown << Part::search;
    const qsizetype at = std::max<qsizetype>(0, shown.indexOf(focusedPart()));
    focusPart(shown[(at + shown.size() + (step < 0 ? -1 : 1)) % shown.size()]);
}

void MainWindow::focusPart(Part part) {
    if (!m_app) return;
    switch (part) {
    case Part::sidebar:
        if (auto *sidebar = qobject_cast<SidebarView *>(m_sidebar)) sidebar->focusEntry();
        break;
    case Part::leftPane:
    case Part::rightPane:
        m_app->sides().setActive(part == Part::leftPane ? Side::left : Side::right);
        m_panes->setFocus(Qt::ShortcutFocusReason);
        break;
    case Part::inspector:
        if (auto *inspector = qobject_cast<InspectorView *>(m_inspector))
            if (QWidget *field = inspector->firstField()) field->setFocus(Qt::ShortcutFocusReason);
        break;
    case Part::search:
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
        break;
    }
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    placeOverlays();
}

bool MainWindow::mayClose() {
    if (!m_app || !m_app->jobs().progress()) return true;
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = L("Es läuft noch ein Vorgang. Trotzdem beenden?");
    alert.informative = L("Der Vorgang wird abgebrochen; Unvollständiges wird entfernt.");
    // Return keeps working: a reflex key press must not throw a long job away.
    alert.buttons = {{L("Weiterarbeiten"), AlertRole::cancel},
                     {L("Vorgang abbrechen und beenden"), AlertRole::destructive}};
    if (m_askingToQuit) return false;
    m_askingToQuit = true;
    QPointer<MainWindow> self(this);
    m_app->services().dialogs.ask(alert, [self](const AlertAnswer &answer) {
        if (!self) return;
        self->m_askingToQuit = false;
        if (answer.role != AlertRole::destructive || !self->m_app) return;
        // The job may have ended while the question was up.
        if (!self->m_app->jobs().progress()) {
            QTimer::singleShot(0, self, &QWidget::close);
            return;
        }
        // The window closes once the job has cleaned up and the runner is free (asked no second time).
        connect(&self->m_app->jobs(), &JobRunner::finished, self, &QWidget::close,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        self->m_app->jobs().cancel();
        self->m_app->show(K("Kestrin wird beendet, sobald der Vorgang abgebrochen ist."), ToastKind::warning);
    });
    return false;
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (!mayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // The program is this window: the settings, About, the manual and the preview close with it, so that
    // it ends (and writes its settings) whichever window Ctrl+Q came from.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (w != this && AppDelegate::isMainWindow(w) && w->isVisible()) return;
    for (QWidget *w : windows)
        if (w != this && w->isVisible() && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog))
            w->close();
}
