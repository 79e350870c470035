#pragma once

#include "core/app/DesktopHooks.h"
#include "core/app/Pasteboard.h"
#include "core/app/SidebarModel.h"
#include "core/base/Dialogs.h"

#include <QStringList>
#include <functional>

// What the application state gets from outside: the window's questions, the clipboard, the desktop's
// programs and the timings. The window fills them at start; tests fill them with fakes and short times.
struct Services {
    struct Timings {
        int toastMs = 5000;
        int errorToastMs = 7000;
        int jobPeriodMs = 120;      // how often a job's status is published
        int jobQuietMs = 400;       // a job shorter than this shows nothing
        int renameRefreshMs = 1200; // the second refresh after a rename
        int settingsSaveMs = 300;   // changed settings are written together after this pause
        int rulesMs = 60000;        // period of the automatic cleanup
        int typeSelectMs = 1000;    // a longer pause between typed keys starts a new type-to-select run
    };

    Services(Dialogs d = {}) : dialogs(std::move(d)) {} // NOLINT: a Services with these questions

    Dialogs dialogs;
    Pasteboard pasteboard;
    DesktopHooks desktop = DesktopHooks::system();
    // Opens a file with its application (false when none took it).
    std::function<bool(const QString &path)> openFile;
    // The modifiers held now.
    std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    // The trash folders that emptying clears (tests keep it to their own).
    std::function<QStringList()> trashFolders;
    Timings timings;
    // Where the sidebar's lists come from (tests: their own volumes, no mount watch).
    SidebarModel::Sources sidebar = SidebarModel::systemSources();
};
