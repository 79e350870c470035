#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "ui/app/commands/GroupKit.h"
#include "core/model/PaneModel.h"

#include <QAction>

using namespace CommandKeys;

// Items: new, rename and open.
void Commands::addItems() {
    using Sheet = SheetPresenter::Sheet;
    face(add(ActionDef{Cmd::newFolder, "folder.badge.plus", nullptr, {keys(ctrl | shift | Qt::Key_N)}},
             [this] { m_app->renames().newFolder(); }),
         K("Neuer Ordner (⇧⌘N)"), 4);
    face(add(ActionDef{Cmd::newFile, "doc.badge.plus"}, [this] { m_app->renames().newFile(); }), nullptr, 4);
    // Several items are renamed in the batch rename sheet.
    QAction *rename = add(ActionDef{Cmd::rename,
                                    "pencil",
                                    nullptr,
                                    {keys(Qt::Key_F2)},
                                    {},
                                    When::selection,
                                    Qt::WindowShortcut,
                                    K("Umbenennen …")},
                          [this] { m_app->renames().renameSelection(); });
    entry(rename).rule = [this] {
        return m_app->activePane()->selectionSummary().count < 2 ||
               (m_sheets && m_sheets->canShow(Sheet::batchRename));
    };
    entry(rename).paneFacts = selection;
    add(ActionDef{Cmd::open,
                  nullptr,
                  nullptr,
                  {},
                  {keys(Qt::Key_Return), keys(Qt::Key_Enter), keys(ctrl | Qt::Key_Down)},
                  When::selection},
        [this] { m_app->items().openSelection(); });
}

// The Trash, undo and the preview.
void Commands::addTrashAndUndo() {
    QAction *trash = add(ActionDef{Cmd::trash,
                                   "trash",
                                   K("In den Papierkorb legen (Entf)"),
                                   {keys(Qt::Key_Delete), keys(ctrl | Qt::Key_Backspace)},
                                   {},
                                   When::selection},
                         [this] { m_app->trash().trashSelection(); });
    face(trash, K("In den Papierkorb legen (⌦); im Papierkorb: endgültig löschen"), 5);
    QAction *emptyTrash = add(ActionDef{Cmd::emptyTrash,
                                        "trash",
                                        K("Alles im Papierkorb endgültig löschen (⇧⌘⌫)"),
                                        {keys(ctrl | shift | Qt::Key_Backspace)}},
                              [this] { m_app->trash().emptyTrash(); });
    // The last answer of the lookup: nothing here may wait for a mount.
    entry(emptyTrash).rule = [this] { return m_app->trash().lookup().anyFull(); };
    face(emptyTrash, nullptr, 5);
    // What is in the Trash shows in a listing, on a move to another folder, or changes with a job.
    entry(emptyTrash).paneFacts = listing | place | trashAnswer;
    // One rule for every undo entry: enabled while the journal holds something.
    QAction *undo = add(ActionDef{Cmd::undo, "arrow.uturn.backward", nullptr, {}, {keys(ctrl | Qt::Key_Z)}},
                        [this] { m_app->fileActions().undoLast(); });
    entry(undo).rule = [this] { return !m_app->undoJournal().entries().isEmpty(); };
    entry(undo).formed = [this] {
        const auto title = m_app->undoJournal().undoTitle();
        return title ? LF("Rückgängig: %@", *title) : L("Rückgängig");
    };
    // Until the preview exists, Space and the entry do nothing, so the entry is off.
    QAction *quick = add(
        ActionDef{Cmd::quickLook, nullptr, nullptr, {keys(ctrl | Qt::Key_Y)}, {keys(Qt::Key_Space)}}, [this] {
            if (m_app->requests().quickLook) m_app->requests().quickLook();
        });
    entry(quick).rule = [this] { return bool(m_app->requests().quickLook); };
}
