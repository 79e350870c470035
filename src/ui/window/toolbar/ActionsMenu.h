#pragma once

#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <optional>

class AppState;
class QMenu;

// The toolbar's actions menu: the commands on the active pane and its selection in one place. Every
// entry triggers its command of the registry; entries on the selection are disabled without one, the
// undo entry with an empty journal, and an entry whose sheet cannot be shown yet is disabled too.
class ActionsMenu : public ToolbarMenuButton {
    Q_OBJECT
public:
    ActionsMenu(AppState *app, const SheetPresenter *sheets, QWidget *parent = nullptr);

    // Builds the entries for the state of now; the menu does so each time it opens.
    void fill();
    // The registry command an entry of this menu triggers (null for submenus and separators).
    static QAction *command(const QAction *entry);

private:
    QPointer<AppState> m_app;
    QPointer<const SheetPresenter> m_sheets;
};
