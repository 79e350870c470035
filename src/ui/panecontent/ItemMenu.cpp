#include "ui/panecontent/ItemMenu.h"

#include "core/app/Clipboard.h"
#include "core/app/Favorites.h"
#include "core/app/ItemCommands.h"
#include "core/app/Sides.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QHash>
#include <QMenu>
#include <QPointer>

namespace {

// What the entries of one menu share: the window's parts, the pane and the clicked item.
struct Context {
    ViewMenus menus;
    QPointer<PaneModel> pane;
    FileItem item;

    const ViewMenus::Parts &parts() const { return menus.parts(); }
    // The clicked item becomes the selection unless it is part of it already.
    void selectFirst() const {
        if (pane) pane->contextSelect(item);
    }
    // The paths an entry acts on, taken when it is chosen.
    QStringList actionPaths() const {
        if (!pane) return {};
        return parts().items.contextPaths(pane, item);
    }
    QAction *command(const QString &id) const { return parts().commands.action(id); }
    QAction *command(const char *id) const { return command(QString::fromUtf8(id)); }
    // A command that cannot run here (its sheet is not built yet) is left out of the menu.
    bool offers(const char *id) const {
        QAction *a = command(id);
        return a && a->isEnabled();
    }
    // Selects first, then runs the command, which acts on the active pane's selection: the action paths.
    void run(const QString &id) const {
        selectFirst();
        if (QAction *a = command(id); a && a->isEnabled()) a->trigger();
    }
    void run(const char *id) const { run(QString::fromUtf8(id)); }
};

// An entry titled by its German key (or by a title formed from data), named by the key for tests.
QAction *entry(QMenu *menu, const char *key, const char *symbol, std::function<void()> act,
               const QString &title = {}) {
    QAction *a = menu->addAction(title.isEmpty() ? L(key) : title);
    a->setObjectName(QString::fromUtf8(key));
    if (symbol) a->setIcon(ItemMenu::icon(symbol, menu));
    QObject::connect(a, &QAction::triggered, menu, std::move(act));
    return a;
}

QMenu *submenu(QMenu *menu, const char *key, const char *symbol) {
    QMenu *sub = menu->addMenu(ItemMenu::icon(symbol, menu), L(key));
    sub->menuAction()->setObjectName(QString::fromUtf8(key));
    return sub;
}

} // namespace

QIcon ItemMenu::icon(const char *symbol, const QWidget *menu) {
    const qreal dpr = menu->devicePixelRatioF();
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active})
        icon.addPixmap(Symbols::pixmap(QString::fromLatin1(symbol), 16,
                                       menu->palette().color(mode == QIcon::Active ? QPalette::HighlightedText
                                                                                   : QPalette::Text),
                                       dpr),
                       mode);
    icon.addPixmap(Symbols::pixmap(QString::fromLatin1(symbol), 16,
                                   menu->palette().color(QPalette::Disabled, QPalette::Text), dpr),
                   QIcon::Disabled);
    return icon;
}

QStringList ItemMenu::menuPaths(const PaneModel &pane, const FileItem &item) {
    const QSet<QString> &selection = pane.selection();
    if (!selection.contains(item.path())) return {item.path()};
    return QStringList(selection.begin(), selection.end());
}

bool ItemMenu::allInTrash(const QStringList &paths) {
    if (paths.isEmpty()) return false;
    // Items of one folder share the answer, so a large selection costs one test per folder. Only a
    // trash's own "files" and "info" differ from their siblings: they are tested one by one.
    QHash<QStringView, bool> byFolder;
    for (const QString &path : paths) {
        const qsizetype slash = path.lastIndexOf(u'/');
        const QStringView name = QStringView(path).mid(slash + 1);
        if (slash <= 0 || name == u"files" || name == u"info") {
            if (!FileLoader::isInTrash(path)) return false;
            continue;
        }
        const QStringView folder = QStringView(path).left(slash);
        auto it = byFolder.constFind(folder);
        if (it == byFolder.constEnd()) it = byFolder.insert(folder, FileLoader::isInTrash(path));
        if (!*it) return false;
    }
    return true;
}

namespace {

// Open, open with, a new tab, quick look, information and the storage analysis.
void addOpening(QMenu *menu, const Context &c, const QStringList &paths) {
    const bool folder = c.item.isDirectory;
    entry(menu, Cmd::open, "arrow.up.forward.app", [c] {
        c.selectFirst();
        if (c.pane) c.pane->openItem(c.item);
    });
    if (const ViewMenus::Filler &openWith = c.menus.openWith()) {
        QMenu *sub = submenu(menu, K("Öffnen mit"), "square.and.arrow.up.on.square");
        openWith(sub, paths, [c] { c.selectFirst(); });
        if (sub->isEmpty()) {
            menu->removeAction(sub->menuAction());
            delete sub;
        }
    }
    if (folder)
        entry(menu, K("In neuem Tab öffnen"), "plus.square.on.square", [c] {
            if (c.pane) c.parts().sides.tabs(c.pane->side())->newTab(c.item.path());
        });
    if (c.offers(Cmd::quickLook)) entry(menu, Cmd::quickLook, "eye", [c] { c.run(Cmd::quickLook); });
    if (c.offers(Cmd::info)) entry(menu, Cmd::info, "info.circle", [c] { c.run(Cmd::info); });
    if (folder && c.offers(Cmd::storage))
        entry(menu, Cmd::storage, "chart.pie", [c] {
            // The clicked folder itself, whatever is selected.
            c.parts().items.openStorageAnalysis(c.item.path());
        });
}

// Cut, copy, paste; copying and moving to the other side.
void addTransfers(QMenu *menu, const Context &c) {
    const bool folder = c.item.isDirectory;
    // The clipboard commands would serve a focused text field instead; here the files are meant.
    entry(menu, Cmd::cut, "scissors", [c] { c.parts().clipboard.cut(c.actionPaths()); });
    entry(menu, Cmd::copy, "doc.on.doc", [c] { c.parts().clipboard.copy(c.actionPaths()); });
    QAction *paste = entry(
        menu, folder ? K("In „%@“ einsetzen") : K("Einsetzen"), "doc.on.clipboard",
        [c, folder] {
            if (c.pane) c.parts().clipboard.paste(folder ? c.item.path() : c.pane->currentPath());
        },
        folder ? Commands::literalTitle(LF("In „%@“ einsetzen", c.item.name)) : QString());
    // Nothing to paste: not offered, rather than answered with "no files".
    paste->setEnabled(c.parts().clipboard.holdsFiles());
    menu->addSeparator();

    const bool left = c.pane->side() == Side::left;
    const char *copyTo = left ? Cmd::copyToRight : Cmd::copyToLeft;
    const char *moveTo = left ? Cmd::moveToRight : Cmd::moveToLeft;
    if (c.offers(copyTo))
        entry(menu, copyTo, left ? "arrow.right.circle" : "arrow.left.circle",
              [c, copyTo] { c.run(copyTo); });
    if (c.offers(moveTo))
        entry(menu, moveTo, left ? "arrow.right.square" : "arrow.left.square",
              [c, moveTo] { c.run(moveTo); });
}

// Favourites, rename, the Trash's entries.
void addChanges(QMenu *menu, const Context &c, const QStringList &paths) {
    // The wording follows what the entry acts on: every path, not just the clicked one. For the selection
    // its summary knows.
    const SelectionSummary &selected = c.pane->selectionSummary();
    const bool trash = c.pane->selection().contains(c.item.path())
                           ? selected.count > 0 && selected.outsideTrash == 0
                           : ItemMenu::allInTrash(paths);
    if (const ViewMenus::Filler &favourites = c.menus.favourites())
        favourites(menu, paths, [c] { c.selectFirst(); });
    if (c.offers(Cmd::rename)) entry(menu, K("Umbenennen …"), "pencil", [c] { c.run(Cmd::rename); });
    entry(menu, trash ? K("Endgültig löschen …") : Cmd::trash, "trash", [c] { c.run(Cmd::trash); });
    if (trash) {
        entry(menu, Cmd::putBack, "arrow.uturn.backward", [c] { c.run(Cmd::putBack); });
        entry(menu, Cmd::emptyTrash, "trash.slash", [c] {
            if (QAction *a = c.command(Cmd::emptyTrash); a && a->isEnabled()) a->trigger();
        });
    }
}

// Duplicate, archives and alias.
void addArchive(QMenu *menu, const Context &c) {
    QMenu *archive = submenu(menu, K("Duplizieren und Archivieren"), "square.on.square");
    entry(archive, Cmd::duplicate, "plus.square.on.square", [c] { c.run(Cmd::duplicate); });
    entry(archive, Cmd::compressZip, "archivebox", [c] { c.run(Cmd::compressZip); });
    QMenu *formats = submenu(archive, Cmd::compressAs, "archivebox");
    for (ArchiveFormat format : Archive::otherFormats()) {
        const QString id = Cmd::compressAsId(format);
        QAction *a = formats->addAction(Archive::title(format));
        a->setObjectName(id);
        QObject::connect(a, &QAction::triggered, menu, [c, id] { c.run(id); });
    }
    if (Archive::canExtract(c.item.name))
        entry(archive, Cmd::extract, "arrow.up.bin", [c] { c.run(Cmd::extract); });
    entry(archive, Cmd::alias, "arrow.turn.up.right", [c] { c.run(Cmd::alias); });
}

// Sharing and tags; the path and the file manager.
void addSharing(QMenu *menu, const Context &c, const QStringList &paths) {
    QMenu *share = submenu(menu, K("Teilen und Markieren"), "tag");
    entry(share, K("Teilen …"), "square.and.arrow.up", [c] { c.run(Cmd::share); });
    // The tags are read only once the submenu opens.
    auto *tags = new TagMenu(
        c.parts().items, [paths] { return paths; }, [c] { c.selectFirst(); }, share);
    tags->setListed([pane = c.pane] { return pane ? pane->visibleItems() : QList<FileItem>(); });
    share->addMenu(tags);

    QMenu *where = submenu(menu, K("Pfad und Dateimanager"), "folder");
    entry(where, Cmd::copyPath, "link", [c] { c.run(Cmd::copyPath); });
    entry(where, Cmd::showInFileManager, "magnifyingglass", [c] {
        // The clicked item alone; the selection stays.
        c.parts().items.showInFileManager({c.item.path()});
    });
}

} // namespace

QMenu *ItemMenu::build(const ViewMenus &menus, PaneModel *pane, const FileItem &item, QWidget *parent) {
    auto *menu = new QMenu(parent);
    if (!pane) return menu;
    const Context c{menus, pane, item};
    const QStringList paths = menuPaths(*pane, item);
    addOpening(menu, c, paths);
    menu->addSeparator();
    addTransfers(menu, c);
    menu->addSeparator();
    addChanges(menu, c, paths);
    menu->addSeparator();
    addArchive(menu, c);
    addSharing(menu, c, paths);
    return menu;
}

ViewMenus::Filler ItemMenu::favouritesFill(Favorites &favorites) {
    return [favs = QPointer<Favorites>(&favorites)](QMenu *menu, const QStringList &paths,
                                                    const std::function<void()> &pick) {
        if (!favs) return;
        QAction *add = menu->addAction(icon("star", menu), L("Zu Favoriten hinzufügen"));
        add->setObjectName(QStringLiteral("Zu Favoriten hinzufügen"));
        QObject::connect(add, &QAction::triggered, menu, [favs, paths, pick] {
            if (pick) pick();
            if (favs) favs->addFavorites(paths);
        });
    };
}
