#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Opening files with the desktop's applications (GIO), never by running them.
namespace Workspace {
// The desktop application id of the default program for plain text, or nothing when there is none.
std::optional<QString> defaultTextEditor();
// Opens the files with the application of that desktop id, or starts it alone when there are none.
// Nothing on success, noSuchApplication() when no application has that id, else the system's reason.
std::optional<QString> openWith(const QString &appId, const QStringList &paths);
// The answer of openWith when the id names no application; the caller words it for the user.
inline QString noSuchApplication() {
    return QStringLiteral("no such application");
}
// The desktop id of an application's .desktop file: its path below an applications folder of the data
// folders, with '/' turned into '-'. Empty for a file elsewhere or one that isn't there.
QString desktopId(const QString &desktopFile);
// Asks the desktop's file manager (org.freedesktop.FileManager1 on the session bus) to show the items
// selected. Nothing on success, else why not (no session bus, no such service, a refusal).
std::optional<QString> showItems(const QStringList &paths);
// A new mail draft in the default mail program with the files attached (xdg-email where installed,
// else a mailto: link with attach= entries, which some programs honour). Nothing on success.
std::optional<QString> composeMail(const QStringList &paths);
} // namespace Workspace
