#include "ui/window/toolbar/ActionsMenu.h"

#include "core/app/AppState.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/app/Commands.h"
#include "ui/window/pane/SortMenus.h"
#include "ui/window/toolbar/ToolHelp.h"
#include "ui/window/toolbar/ToolbarCommands.h"

#include <QMenu>

namespace {

constexpr const char *commandProperty = "kestrinCommand";

using Sheet = SheetPresenter::Sheet;

struct Entry {
    const char *title;            // German key of the entry's title
    QString command;              // id of the registry command it triggers
    bool selection = false;       // disabled without a selection
    std::optional<Sheet> sheet{}; // disabled while this sheet cannot be shown
};

} // namespace

ActionsMenu::ActionsMenu(AppState *app, const SheetPresenter *sheets, QWidget *parent)
    : ToolbarMenuButton(QStringLiteral("ellipsis.circle"), parent), m_app(app), m_sheets(sheets) {
    setObjectName(QStringLiteral("actionsMenu"));
    auto *menu = new QMenu(this);
    connect(menu, &QMenu::aboutToShow, this, &ActionsMenu::fill);
    setMenu(menu);
    toolHelp(this, K("Aktionen"), 4);
    fill();
}

QAction *ActionsMenu::command(const QAction *entry) {
    return entry ? entry->property(commandProperty).value<QAction *>() : nullptr;
}

void ActionsMenu::fill() {
    QMenu *m = menu();
    m->clear();
    if (!m_app) return;
    Commands *commands = Commands::of(m_app);
    const bool selected = !m_app->activePane()->selection().isEmpty();

    // An entry of ours that triggers the command: its title and enabled rule are this menu's.
    auto add = [&](QMenu *into, const QString &title, QAction *command, bool enabled) {
        QString text = title;
        QAction *a = into->addAction(text.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(command ? command->objectName() : title);
        a->setProperty(commandProperty, QVariant::fromValue(command));
        if (command) a->setIcon(command->icon());
        // A command that cannot run now would drop the request: the entry says so by being disabled.
        a->setEnabled(enabled && command && command->isEnabled());
        QPointer<QAction> target = command;
        connect(a, &QAction::triggered, this, [target] {
            if (target) target->trigger();
        });
        return a;
    };
    auto entry = [&](const Entry &e) {
        const bool sheetReady = !e.sheet || (m_sheets && m_sheets->canShow(*e.sheet));
        return add(m, L(e.title), commands->action(e.command), (!e.selection || selected) && sheetReady);
    };

    entry({K("Neuer Ordner"), Cmd::newFolder});
    entry({K("Neue Datei"), ToolbarCmd::newFile});
    entry({K("Neuer Tab"), Cmd::newTab});
    m->addSeparator();
    entry({K("Umbenennen …"), Cmd::rename, true});
    entry({K("Ausschneiden"), Cmd::cut, true});
    entry({K("Kopieren"), Cmd::copy, true});
    entry({K("Einsetzen"), Cmd::paste});
    m->addSeparator();
    entry({K("Teilen …"), Cmd::share, true});
    // The tag entries act on the selection of the moment they are chosen, which the open menu keeps.
    QMenu *tags = m->addMenu(L("Tags"));
    tags->setObjectName(QStringLiteral("tags"));
    if (QAction *tagCommand = commands->action(Cmd::tags); tagCommand && tagCommand->menu())
        tags->addActions(tagCommand->menu()->actions());
    tags->menuAction()->setEnabled(selected && !tags->isEmpty());
    entry({K("Informationen"), Cmd::info, true, Sheet::info});
    m->addSeparator();
    QMenu *sort = m->addMenu(L("Sortieren nach"));
    sort->setObjectName(QStringLiteral("sort"));
    SortMenuItems::fill(sort, m_app->activePane());
    entry({K("Gehe zu Ordner …"), Cmd::goToFolder});
    m->addSeparator();
    entry({K("Schnellvorschau"), ToolbarCmd::quickLook, true});
    entry({K("Duplizieren"), ToolbarCmd::duplicate, true});
    entry({K("Komprimieren (ZIP)"), ToolbarCmd::compressZip, true});
    QMenu *formats = m->addMenu(L("Komprimieren als"));
    formats->setObjectName(QStringLiteral("compressAs"));
    for (ArchiveFormat format : Archive::otherFormats())
        add(formats, Archive::title(format), commands->action(ToolbarCmd::compressAs(format)), selected);
    formats->menuAction()->setEnabled(selected);
    entry({K("Entpacken"), ToolbarCmd::extract, true});
    entry({K("Alias erzeugen"), ToolbarCmd::makeAlias, true});
    m->addSeparator();
    entry({K("Im Terminal öffnen"), ToolbarCmd::terminal});
    entry({K("Im Texteditor öffnen"), ToolbarCmd::textEditor});
    entry({K("Ordner vergleichen und synchronisieren …"), ToolbarCmd::compare, false, Sheet::compare});
    entry({K("Aufräum-Regeln …"), ToolbarCmd::rules, false, Sheet::rules});
    entry({K("Speicheranalyse …"), ToolbarCmd::storage, false, Sheet::storage});
    // One rule with the menu bar: nothing to undo, nothing to choose.
    const std::optional<QString> undoTitle = m_app->undoTitle();
    add(m, undoTitle ? LF("Rückgängig: %@", *undoTitle) : L("Rückgängig"), commands->action(ToolbarCmd::undo),
        undoTitle.has_value());
    m->addSeparator();
    entry({K("In den Papierkorb …"), ToolbarCmd::trash, true});
    entry({K("Papierkorb leeren …"), Cmd::emptyTrash});
}
