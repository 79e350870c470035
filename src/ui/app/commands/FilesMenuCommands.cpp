#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "ui/app/commands/GroupKit.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/model/PaneModel.h"

#include <QAction>

using namespace CommandKeys;

// The commands on the selection and those of the "Dateien" menu.
void Commands::addFilesMenu() {
    using Sheet = SheetPresenter::Sheet;
    add(ActionDef{Cmd::share, "square.and.arrow.up", K("Teilen"), {}, {}, When::selection},
        [this] { m_app->items().share(selected()); });
    QAction *tags = add(ActionDef{Cmd::tags, "tag", K("Tags"), {}, {}, When::selection}, nullptr);
    buildTagMenu(tags);
    needsSheet(add(ActionDef{Cmd::info, "info.circle", K("Informationen"), {}, {}, When::selection},
                   [this] { m_app->items().showInfo(selected()); }),
               Sheet::info);

    // The "Dateien" menu.
    add(ActionDef{Cmd::goToFolder,
                  "arrow.right.to.line",
                  K("Gehe zu Ordner … (⇧⌘G)"),
                  {keys(ctrl | shift | Qt::Key_G), keys(ctrl | Qt::Key_L)}},
        [this] { m_app->items().goToFolder(); });
    add(
        ActionDef{
            Cmd::duplicate, "plus.square.on.square", nullptr, {keys(ctrl | Qt::Key_D)}, {}, When::selection},
        [this] { m_app->fileActions().duplicate(selected()); });
    add(ActionDef{Cmd::compressZip, nullptr, nullptr, {}, {}, When::selection},
        [this] { m_app->fileActions().compress(selected(), ArchiveFormat::zip); });
    for (ArchiveFormat format : Archive::otherFormats()) {
        QAction *a = add(ActionDef{nullptr, nullptr, nullptr, {}, {}, When::selection},
                         [this, format] { m_app->fileActions().compress(selected(), format); });
        a->setObjectName(Cmd::compressAsId(format));
        entry(a).formed = [format] { return Archive::title(format); };
    }
    QAction *extract = add(ActionDef{Cmd::extract, "arrow.up.bin", nullptr, {}, {}, When::selection},
                           [this] { m_app->fileActions().extract(selected()); });
    // Something in the selection must be an archive.
    entry(extract).rule = [this] { return m_app->activePane()->selectionSummary().archives > 0; };
    add(ActionDef{Cmd::alias, "link", nullptr, {keys(ctrl | shift | Qt::Key_M)}, {}, When::selection},
        [this] { m_app->fileActions().makeAlias(selected()); });
    QAction *putBack = add(ActionDef{Cmd::putBack,
                                     nullptr,
                                     K("Markierte Objekte an ihren alten Ort zurücklegen"),
                                     {},
                                     {},
                                     When::selection},
                           [this] { m_app->fileActions().putBack(selected()); });
    entry(putBack).rule = [this] {
        const SelectionSummary &selected = m_app->activePane()->selectionSummary();
        return selected.count > 0 && selected.outsideTrash == 0;
    };
    // Without a selection the path of the shown folder.
    add(ActionDef{Cmd::copyPath, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_C)}}, [this] {
        const QStringList paths = selected();
        m_app->clipboard().copyPath(paths.isEmpty() ? QStringList{m_app->activePane()->currentPath()}
                                                    : paths);
    });
    add(ActionDef{Cmd::terminal, "terminal"}, [this] { m_app->items().openFolderInTerminal(); });
    add(ActionDef{Cmd::textEditor}, [this] { m_app->items().openInTextEdit(); });
    add(ActionDef{Cmd::showInFileManager, "folder", nullptr, {}, {}, When::selection},
        [this] { m_app->items().showInFileManager(selected()); });
}
