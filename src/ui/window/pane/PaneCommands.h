#pragma once

#include "core/model/FileItem.h"

#include <QStringList>
#include <functional>

class AppState;
class PaneModel;
class QMenu;
class QWidget;

// What the pane chrome calls that lives in other parts of the window (menus, the tab bar, window-level
// commands). The window fills these once; an empty member leaves its control out or does nothing.
struct PaneCommands {
    // Puts paths on the clipboard as text and confirms with a toast; unset: our own plain version.
    std::function<void(AppState *, const QStringList &)> copyPath;
    std::function<void(AppState *)> emptyTrash;
    std::function<void(AppState *, PaneModel *)> goToFolder;
    // The header's places button (shown while the sidebar is hidden).
    std::function<QWidget *(AppState *, PaneModel *, QWidget *parent)> placesMenu;
    // Fill the context menu of the empty content area and of an item (already context-selected).
    std::function<void(QMenu *, AppState *, PaneModel *)> backgroundMenu;
    std::function<void(QMenu *, AppState *, PaneModel *, const FileItem &)> itemMenu;
    // Opens the privacy settings of the desktop; unset: the access message has no button.
    std::function<void()> openPrivacySettings;

    static PaneCommands &shared();
    // copyPath, or the plain version when it is unset.
    static void copyPaths(AppState *app, const QStringList &paths);
};
