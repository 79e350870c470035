#pragma once

#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <optional>

class Clipboard;
class Commands;
class QMenu;
class Sides;
class UndoJournal;
class WindowRequests;

// The toolbar's actions menu: the commands on the active pane and its selection in one place. Every
// entry triggers its command of the registry; entries on the selection are disabled without one, the
// undo entry with an empty journal, and an entry whose sheet cannot be shown yet is disabled too.
class ActionsMenu : public ToolbarMenuButton {
    Q_OBJECT
public:
    ActionsMenu(Commands &commands, Sides &sides, Clipboard &clipboard, UndoJournal &journal,
                WindowRequests &requests, const SheetPresenter *sheets, QWidget *parent = nullptr);

    // Builds the entries for the state of now; the menu does so each time it opens.
    void fill();
    // The registry command an entry of this menu triggers (null for submenus and separators).
    static QAction *command(const QAction *entry);

private:
    struct Filling;
    void fillClipboard(const Filling &f);
    void fillSelection(const Filling &f);
    void fillFiles(const Filling &f);

    Commands &m_commands;
    QPointer<Sides> m_sides;
    QPointer<Clipboard> m_clipboard;
    QPointer<UndoJournal> m_journal;
    QPointer<const SheetPresenter> m_sheets;
};
