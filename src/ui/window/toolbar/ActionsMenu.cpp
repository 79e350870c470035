#include "ui/window/toolbar/ActionsMenu.h"

#include "core/app/AppState.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/app/Commands.h"
#include "ui/window/pane/SortMenus.h"
#include "ui/window/toolbar/ToolbarHelp.h"

#include <QMenu>

#include <functional>

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
    toolbarHelp(this, &m_app->requests(), K("Aktionen"), 4);
    fill();
}

QAction *ActionsMenu::command(const QAction *entry) {
    return entry ? entry->property(commandProperty).value<QAction *>() : nullptr;
}

void ActionsMenu::fill() {
    QMenu *m = menu();
    // The submenus of the last opening go with their entries.
    const auto old = m->findChildren<QMenu *>(Qt::FindDirectChildrenOnly);
    m->clear();
    qDeleteAll(old);
    if (!m_app) return;
    Commands *commands = Commands::of(m_app);
    const bool selected = !m_app->activePane()->selection().isEmpty();

    // An entry of ours that triggers the command (or runs its own step for the same operation): its
    // title and enabled rule are this menu's.
    auto add = [&](QMenu *into, const QString &title, QAction *command, bool enabled,
                   std::function<void()> run = {}) {
        QString text = title;
        QAction *a = into->addAction(text.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(command ? command->objectName() : title);
        a->setProperty(commandProperty, QVariant::fromValue(command));
        if (command) a->setIcon(command->icon());
        // A command that cannot run now would drop the request: the entry says so by being disabled.
        a->setEnabled(enabled && command && (run || command->isEnabled()));
        QPointer<QAction> target = command;
        if (run)
            connect(a, &QAction::triggered, this, run);
        else
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
    entry({K("Neue Datei"), Cmd::newFile});
    entry({K("Neuer Tab"), Cmd::newTab});
    m->addSeparator();
    entry({K("Umbenennen …"), Cmd::rename, true});
    // The clipboard entries mean the files even while a text field has the focus, where the Edit
    // commands would serve the field: they run the file clipboard's operations themselves.
    QPointer<AppState> app = m_app;
    add(m, L("Ausschneiden"), commands->action(Cmd::cut), selected, [app] {
        if (app) app->clipboard().cut(app->activePane()->selectedPaths());
    });
    add(m, L("Kopieren"), commands->action(Cmd::copy), selected, [app] {
        if (app) app->clipboard().copy(app->activePane()->selectedPaths());
    });
    add(m, L("Einsetzen"), commands->action(Cmd::paste), true, [app] {
        if (app) app->clipboard().paste(app->activePane()->targetFolder());
    });
    m->addSeparator();
    entry({K("Teilen …"), Cmd::share, true});
    // The tag command's own menu, so that each opening marks the tags of the selection of that moment.
    if (QAction *tagCommand = commands->action(Cmd::tags); tagCommand && tagCommand->menu()) {
        QMenu *tags = tagCommand->menu();
        m->addMenu(tags);
        tags->menuAction()->setEnabled(selected && !tags->isEmpty());
    }
    entry({K("Informationen"), Cmd::info, true, Sheet::info});
    m->addSeparator();
    QMenu *sort = m->addMenu(L("Sortieren nach"));
    sort->setObjectName(QStringLiteral("sort"));
    SortMenuItems::fill(sort, m_app->activePane());
    entry({K("Gehe zu Ordner …"), Cmd::goToFolder});
    m->addSeparator();
    entry({K("Schnellvorschau"), Cmd::quickLook, true});
    entry({K("Duplizieren"), Cmd::duplicate, true});
    entry({K("Komprimieren (ZIP)"), Cmd::compressZip, true});
    QMenu *formats = m->addMenu(L("Komprimieren als"));
    formats->setObjectName(QStringLiteral("compressAs"));
    for (ArchiveFormat format : Archive::otherFormats())
        add(formats, Archive::title(format), commands->action(Cmd::compressAsId(format)), selected);
    formats->menuAction()->setEnabled(selected);
    entry({K("Entpacken"), Cmd::extract, true});
    entry({K("Alias erzeugen"), Cmd::alias, true});
    m->addSeparator();
    entry({K("Im Terminal öffnen"), Cmd::terminal});
    entry({K("Im Texteditor öffnen"), Cmd::textEditor});
    entry({K("Ordner vergleichen und synchronisieren …"), Cmd::compare, false, Sheet::compare});
    entry({K("Aufräum-Regeln …"), Cmd::rules, false, Sheet::rules});
    entry({K("Speicheranalyse …"), Cmd::storage, false, Sheet::storage});
    // One rule with the menu bar: nothing to undo, nothing to choose.
    const std::optional<QString> undoTitle = m_app->undoJournal().undoTitle();
    add(m, undoTitle ? LF("Rückgängig: %@", *undoTitle) : L("Rückgängig"), commands->action(Cmd::undo),
        !m_app->undoJournal().entries().isEmpty());
    m->addSeparator();
    entry({K("In den Papierkorb …"), Cmd::trash, true});
    entry({K("Papierkorb leeren …"), Cmd::emptyTrash});
}
