#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The desktop programs and services the commands hand work to. system() fills them with the real ones;
// tests replace single members. Every "open" returns nothing on success, else the reason to show.
struct DesktopHooks {
    // The user's terminal program; nothing when none is installed.
    std::function<std::optional<QString>()> terminal;
    std::function<std::optional<QString>(const QString &terminal, const QString &folder)> openTerminal;
    // The default text editor; nothing when there is none.
    std::function<std::optional<QString>()> textEditor;
    // Opens the files with the editor, or starts it alone for an empty list.
    std::function<std::optional<QString>(const QString &editor, const QStringList &files)> openInEditor;
    // Shows the items selected in the desktop's file manager; nothing on success.
    std::function<std::optional<QString>(const QStringList &paths)> showItems;
    // A mail draft with the files attached (sharing).
    std::function<std::optional<QString>(const QStringList &paths)> share;
    // Unmounts and ejects the volume at a mount point (its bytes); blocks, runs off the main thread.
    std::function<std::optional<QString>(const QByteArray &mountPoint)> eject;
    // Deletes items the user may not delete, with administrator rights (the system asks for the password);
    // blocks, runs off the main thread.
    std::function<std::optional<QString>(const QStringList &paths)> deleteAsAdmin;

    // Starts the program of an application entry (AppRegistry::isApplicationEntry); nothing on success,
    // else the sentence to show. Refuses every other file.
    std::function<std::optional<QString>(const QString &desktopFile)> launchEntry;

    static DesktopHooks system();
};
