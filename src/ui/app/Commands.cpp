#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "ui/app/SceneWindows.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace {

constexpr const char *monitorKeysProperty = "kestrinMonitorKeys";
constexpr const char *helpProperty = "kestrinHelpKey";
constexpr const char *symbolProperty = "kestrinSymbol";

QKeySequence keys(QKeyCombination combination) {
    return QKeySequence(combination);
}

} // namespace

Commands *Commands::of(AppState *app) {
    if (!app) return nullptr;
    if (auto *found = app->findChild<Commands *>(QString(), Qt::FindDirectChildrenOnly)) return found;
    auto *commands = new Commands(app);
    // Gone before the state's tab groups, whose teardown would otherwise reach the enabled rules.
    connect(app, &QObject::destroyed, commands, [commands] { delete commands; });
    return commands;
}

Commands::~Commands() = default;

Commands::Commands(AppState *app) : QObject(app), m_app(app) {
    using S = Entry;
    using W = When;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    auto selected = [this] { return m_app->activePane()->selectedPaths(); };

    // Transfers: the direction belongs to the command, whichever side is active.
    struct Transfer {
        const char *id, *symbol, *help;
        QKeyCombination key;
        Side from;
        bool move;
    };
    for (const Transfer &t : {
             Transfer{Cmd::copyToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner kopieren"),
                      ctrl | shift | Qt::Key_Left, Side::right, false},
             Transfer{Cmd::copyToRight, "arrow.right", K("Auswahl links in den rechten Ordner kopieren"),
                      ctrl | shift | Qt::Key_Right, Side::left, false},
             Transfer{Cmd::moveToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner verschieben"),
                      alt | shift | Qt::Key_Left, Side::right, true},
             Transfer{Cmd::moveToRight, "arrow.right", K("Auswahl links in den rechten Ordner verschieben"),
                      alt | shift | Qt::Key_Right, Side::left, true},
         })
        add(S{t.id,
              t.symbol,
              t.help,
              {keys(t.key)},
              {},
              t.from == Side::left ? W::leftSelection : W::rightSelection},
            [this, t] { m_app->transferSelection(t.from, t.move); });

    add(S{Cmd::newFolder, "folder.badge.plus", nullptr, {keys(ctrl | shift | Qt::Key_N)}},
        [this] { m_app->newFolder(std::nullopt); });
    add(S{Cmd::rename, "pencil", nullptr, {keys(Qt::Key_F2)}, {keys(Qt::Key_Return)}, W::selection},
        [this] { m_app->renameSelection(); });

    // The file clipboard's keys are the monitor's: a text field with the focus keeps them.
    add(S{Cmd::copy, "doc.on.doc", K("Kopieren (⌘C)"), {}, {keys(ctrl | Qt::Key_C)}, W::selection},
        [this, selected] { m_app->copyToClipboard(selected()); });
    add(S{Cmd::cut, "scissors", K("Ausschneiden (⌘X)"), {}, {keys(ctrl | Qt::Key_X)}, W::selection},
        [this, selected] { m_app->cutToClipboard(selected()); });
    add(S{Cmd::paste, "doc.on.clipboard", K("Einsetzen (⌘V)"), {}, {keys(ctrl | Qt::Key_V)}},
        [this] { m_app->paste(m_app->activePane()->targetFolder()); });
    add(S{Cmd::selectAll, nullptr, nullptr, {}, {keys(ctrl | Qt::Key_A)}},
        [this] { m_app->activePane()->selectAll(); });
    add(S{Cmd::deselect, nullptr, nullptr, {}, {keys(Qt::Key_Escape)}, W::selection},
        [this] { m_app->activePane()->setSelection({}); });

    add(S{Cmd::share, "square.and.arrow.up", K("Teilen"), {}, {}, W::selection},
        [this, selected] { m_app->share(selected()); });
    QAction *tags = add(S{Cmd::tags, "tag", K("Tags"), {}, {}, W::selection}, nullptr);
    buildTagMenu(tags);
    add(S{Cmd::info, "info.circle", K("Informationen"), {}, {}, W::selection},
        [this, selected] { m_app->showInfo(selected()); });

    // Without a selection the path of the shown folder.
    add(S{Cmd::copyPath, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_C)}}, [this, selected] {
        const QStringList paths = selected();
        m_app->copyPath(paths.isEmpty() ? QStringList{m_app->activePane()->currentPath()} : paths);
    });
    add(S{Cmd::goToFolder,
          "arrow.right.to.line",
          K("Gehe zu Ordner … (⇧⌘G)"),
          {keys(ctrl | shift | Qt::Key_G), keys(ctrl | Qt::Key_L)}},
        [this] { m_app->goToFolder(); });
    add(S{Cmd::emptyTrash,
          "trash",
          K("Alles im Papierkorb endgültig löschen (⇧⌘⌫)"),
          {keys(ctrl | shift | Qt::Key_Backspace)}},
        [this] { m_app->emptyTrash(); });
    QAction *hidden = add(
        S{Cmd::showHidden, nullptr, nullptr, {keys(ctrl | Qt::Key_H)}, {keys(ctrl | shift | Qt::Key_Period)}},
        [this] { m_app->setShowHidden(!m_app->showHidden()); });
    hidden->setCheckable(true);
    hidden->setChecked(m_app->showHidden());
    connect(m_app, &AppState::showHiddenChanged, hidden,
            [this, hidden] { hidden->setChecked(m_app->showHidden()); });

    add(S{Cmd::otherSide, nullptr, nullptr, {}, {keys(Qt::Key_Tab)}},
        [this] { m_app->setActive(m_app->active() == Side::left ? Side::right : Side::left); });
    add(S{Cmd::newTab, "plus", K("Neuer Tab (⌘T)"), {}, {keys(ctrl | Qt::Key_T)}},
        [this] { m_app->tabs(m_app->active())->newTab(); });
    // The last tab stays; Ctrl+W then closes the window.
    add(S{Cmd::closeTab}, [this] {
        TabGroup *group = m_app->tabs(m_app->active());
        group->close(group->index());
    });
    // Ctrl+Q and Ctrl+W work from every window, as Linux users expect; closing asks first while a job runs.
    add(S{Cmd::closeWindow,
          nullptr,
          nullptr,
          {keys(ctrl | Qt::Key_W)},
          {},
          W::always,
          Qt::ApplicationShortcut},
        [this] {
            if (m_window) m_window->close();
        });
    add(S{Cmd::quit, nullptr, nullptr, {keys(ctrl | Qt::Key_Q)}, {}, W::always, Qt::ApplicationShortcut},
        [this] {
            if (m_window) m_window->close();
        });
    add(S{Cmd::settings, "gearshape", K("Einstellungen (⌘,)"), {keys(ctrl | Qt::Key_Comma)}},
        [this] { SettingsWindow::open(m_app); });

    connect(m_app, &AppState::languageChanged, this, &Commands::retitle);
    connect(m_app, &AppState::activeChanged, this, &Commands::updateEnabled);
    for (TabGroup *group : {m_app->leftTabs(), m_app->rightTabs()}) {
        connect(group, &TabGroup::indexChanged, this, &Commands::watchPanes);
        connect(group, &TabGroup::tabsChanged, this, &Commands::watchPanes);
    }
    watchPanes();
    retitle();
}

QAction *Commands::add(const Entry &entry, std::function<void()> run) {
    auto *action = new QAction(this);
    action->setObjectName(QString::fromUtf8(entry.id));
    action->setShortcuts(entry.keys);
    action->setShortcutContext(entry.context);
    action->setProperty(monitorKeysProperty, QVariant::fromValue(entry.monitorKeys));
    if (entry.help) action->setProperty(helpProperty, QString::fromUtf8(entry.help));
    if (entry.symbol) {
        action->setProperty(symbolProperty, QString::fromLatin1(entry.symbol));
        action->setIcon(Symbols::icon(QString::fromLatin1(entry.symbol)));
    }
    if (run)
        connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
            if (m_app) run();
        });
    m_actions << action;
    m_when << entry.when;
    return action;
}

void Commands::buildTagMenu(QAction *tags) {
    m_tagMenu = std::make_unique<QMenu>();
    for (const QString &name : FileOps::tagChoices()) {
        // The stored tag name stays German; only the title is translated.
        QAction *a = m_tagMenu->addAction(QString());
        MenuLocalizer::setKey(a, name);
        connect(a, &QAction::triggered, this, [this, name] {
            if (m_app) m_app->toggleTag(name, m_app->activePane()->selectedPaths());
        });
    }
    m_tagMenu->addSeparator();
    QAction *clear = MenuLocalizer::addAction(m_tagMenu.get(), K("Tags entfernen"));
    connect(clear, &QAction::triggered, this, [this] {
        if (m_app) m_app->clearTags(m_app->activePane()->selectedPaths());
    });
    tags->setMenu(m_tagMenu.get());
}

QAction *Commands::action(const QString &id) const {
    for (QAction *a : m_actions)
        if (a->objectName() == id) return a;
    return nullptr;
}

QList<QKeySequence> Commands::monitorKeys(const QAction *action) {
    return action ? action->property(monitorKeysProperty).value<QList<QKeySequence>>()
                  : QList<QKeySequence>();
}

QString Commands::helpKey(const QAction *action) {
    return action ? action->property(helpProperty).toString() : QString();
}

QString Commands::symbol(const QAction *action) {
    return action ? action->property(symbolProperty).toString() : QString();
}

void Commands::attach(QWidget *window) {
    if (m_window)
        for (QAction *a : std::as_const(m_actions))
            m_window->removeAction(a);
    m_window = window;
    // Only actions with keys of their own: the others would add nothing but ambiguity.
    for (QAction *a : std::as_const(m_actions))
        if (!a->shortcuts().isEmpty()) window->addAction(a);
}

void Commands::retitle() {
    for (QAction *a : std::as_const(m_actions)) {
        QStringList hints;
        for (const QKeySequence &key : monitorKeys(a))
            hints << key.toString(QKeySequence::NativeText);
        MenuLocalizer::setKeyHint(a, hints.join(QStringLiteral(", ")));
        MenuLocalizer::setKey(a, a->objectName());
        a->setIconText(L(a->objectName()));
        const QString help = helpKey(a);
        a->setToolTip(help.isEmpty() ? L(a->objectName()) : L(help));
    }
    if (m_tagMenu) MenuLocalizer::walk(m_tagMenu.get());
}

void Commands::watchPanes() {
    disconnect(m_leftSelection);
    disconnect(m_rightSelection);
    m_leftSelection = connect(m_app->left(), &PaneModel::selectionChanged, this, &Commands::updateEnabled);
    m_rightSelection = connect(m_app->right(), &PaneModel::selectionChanged, this, &Commands::updateEnabled);
    updateEnabled();
}

void Commands::updateEnabled() {
    if (!m_app) return;
    const bool left = !m_app->left()->selection().isEmpty();
    const bool right = !m_app->right()->selection().isEmpty();
    const bool active = m_app->active() == Side::left ? left : right;
    for (qsizetype i = 0; i < m_actions.size(); ++i) {
        const When when = m_when[i];
        m_actions[i]->setEnabled(when == When::always || (when == When::selection && active) ||
                                 (when == When::leftSelection && left) ||
                                 (when == When::rightSelection && right));
    }
}
