#include "ui/window/toolbar/ActionsMenu.h"

#include "core/app/Clipboard.h"
#include "core/app/Sides.h"
#include "core/fileops/UndoJournal.h"
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

// One opening of the menu: what its entries are added with.
struct ActionsMenu::Filling {
    QObject *owner;
    QMenu *menu;
    const Commands &commands;
    const SheetPresenter *sheets;
    bool selected;

    // An entry of ours that triggers the command (or runs its own step for the same operation): its
    // title and enabled rule are this menu's.
    QAction *add(QMenu *into, const QString &title, QAction *command, bool enabled,
                 std::function<void()> run = {}) const {
        QString text = title;
        QAction *a = into->addAction(text.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(command ? command->objectName() : title);
        a->setProperty(commandProperty, QVariant::fromValue(command));
        if (command) a->setIcon(command->icon());
        // A command that cannot run now would drop the request: the entry says so by being disabled.
        a->setEnabled(enabled && command && (run || command->isEnabled()));
        QPointer<QAction> target = command;
        if (run)
            QObject::connect(a, &QAction::triggered, owner, run);
        else
            QObject::connect(a, &QAction::triggered, owner, [target] {
                if (target) target->trigger();
            });
        return a;
    }
    QAction *entry(const Entry &e) const {
        const bool sheetReady = !e.sheet || (sheets && sheets->canShow(*e.sheet));
        return add(menu, L(e.title), commands.action(e.command), (!e.selection || selected) && sheetReady);
    }
};

ActionsMenu::ActionsMenu(Commands &commands, Sides &sides, Clipboard &clipboard, UndoJournal &journal,
                         WindowRequests &requests, const SheetPresenter *sheets, QWidget *parent)
    : ToolbarMenuButton(QStringLiteral("ellipsis.circle"), parent), m_commands(commands), m_sides(&sides),
      m_clipboard(&clipboard), m_journal(&journal), m_sheets(sheets) {
    setObjectName(QStringLiteral("actionsMenu"));
    auto *menu = new QMenu(this);
    connect(menu, &QMenu::aboutToShow, this, &ActionsMenu::fill);
    setMenu(menu);
    toolbarHelp(this, &requests, K("Aktionen"), 4);
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
    if (!m_sides || !m_clipboard || !m_journal) return;
    const Filling f{this, m, m_commands, m_sheets, !m_sides->activePane()->selection().isEmpty()};
    f.entry({K("Neuer Ordner"), Cmd::newFolder});
    f.entry({K("Neue Datei"), Cmd::newFile});
    f.entry({K("Neuer Tab"), Cmd::newTab});
    m->addSeparator();
    f.entry({K("Umbenennen …"), Cmd::rename, true});
    fillClipboard(f);
    m->addSeparator();
    fillSelection(f);
    fillFiles(f);
    // One rule with the menu bar: nothing to undo, nothing to choose.
    const std::optional<QString> undoTitle = m_journal->undoTitle();
    f.add(m, undoTitle ? LF("Rückgängig: %@", *undoTitle) : L("Rückgängig"), m_commands.action(Cmd::undo),
          !m_journal->entries().isEmpty());
    m->addSeparator();
    f.entry({K("In den Papierkorb …"), Cmd::trash, true});
    f.entry({K("Papierkorb leeren …"), Cmd::emptyTrash});
}

// The clipboard entries mean the files even while a text field has the focus, where the Edit commands
// would serve the field: they run the file clipboard's operations themselves.
void ActionsMenu::fillClipboard(const Filling &f) {
    QPointer<Sides> sides = m_sides;
    QPointer<Clipboard> clipboard = m_clipboard;
    f.add(f.menu, L("Ausschneiden"), m_commands.action(Cmd::cut), f.selected, [sides, clipboard] {
        if (sides && clipboard) clipboard->cut(sides->activePane()->selectedPaths());
    });
    f.add(f.menu, L("Kopieren"), m_commands.action(Cmd::copy), f.selected, [sides, clipboard] {
        if (sides && clipboard) clipboard->copy(sides->activePane()->selectedPaths());
    });
    f.add(f.menu, L("Einsetzen"), m_commands.action(Cmd::paste), true, [sides, clipboard] {
        if (sides && clipboard) clipboard->paste(sides->activePane()->targetFolder());
    });
}

void ActionsMenu::fillSelection(const Filling &f) {
    QMenu *m = f.menu;
    f.entry({K("Teilen …"), Cmd::share, true});
    // The tag command's own menu, so that each opening marks the tags of the selection of that moment.
    if (QAction *tagCommand = m_commands.action(Cmd::tags); tagCommand && tagCommand->menu()) {
        QMenu *tags = tagCommand->menu();
        m->addMenu(tags);
        tags->menuAction()->setEnabled(f.selected && !tags->isEmpty());
    }
    f.entry({K("Informationen"), Cmd::info, true, Sheet::info});
    m->addSeparator();
    QMenu *sort = m->addMenu(L("Sortieren nach"));
    sort->setObjectName(QStringLiteral("sort"));
    SortMenuItems::fill(sort, m_sides->activePane());
    f.entry({K("Gehe zu Ordner …"), Cmd::goToFolder});
    m->addSeparator();
}

void ActionsMenu::fillFiles(const Filling &f) {
    QMenu *m = f.menu;
    f.entry({K("Schnellvorschau"), Cmd::quickLook, true});
    f.entry({K("Duplizieren"), Cmd::duplicate, true});
    f.entry({K("Komprimieren (ZIP)"), Cmd::compressZip, true});
    QMenu *formats = m->addMenu(L("Komprimieren als"));
    formats->setObjectName(QStringLiteral("compressAs"));
    for (ArchiveFormat format : Archive::otherFormats())
        f.add(formats, Archive::title(format), m_commands.action(Cmd::compressAsId(format)), f.selected);
    formats->menuAction()->setEnabled(f.selected);
    f.entry({K("Entpacken"), Cmd::extract, true});
    f.entry({K("Alias erzeugen"), Cmd::alias, true});
    m->addSeparator();
    f.entry({K("Im Terminal öffnen"), Cmd::terminal});
    f.entry({K("Im Texteditor öffnen"), Cmd::textEditor});
    f.entry({K("Ordner vergleichen und synchronisieren …"), Cmd::compare, false, Sheet::compare});
    f.entry({K("Aufräum-Regeln …"), Cmd::rules, false, Sheet::rules});
    f.entry({K("Speicheranalyse …"), Cmd::storage, false, Sheet::storage});
}
