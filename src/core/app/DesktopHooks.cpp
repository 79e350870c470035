#include "core/app/DesktopHooks.h"

#include "core/fileops/ToolRunner.h"
#include "platform/Eject.h"
#include "platform/Terminal.h"
#include "platform/Workspace.h"

#include <QStandardPaths>

DesktopHooks DesktopHooks::system() {
    DesktopHooks d;
    d.terminal = [] { return Terminal::find(); };
    d.openTerminal = [](const QString &terminal, const QString &folder) {
        return Terminal::openIn(terminal, folder);
    };
    d.textEditor = [] { return Workspace::defaultTextEditor(); };
    d.openInEditor = [](const QString &editor, const QStringList &files) {
        return Workspace::openWith(editor, files);
    };
    d.showItems = [](const QStringList &paths) { return Workspace::showItems(paths); };
    d.share = [](const QStringList &paths) { return Workspace::composeMail(paths); };
    d.eject = [](const QString &mountPoint) { return Eject::unmountAndEject(mountPoint); };
    d.deleteAsAdmin = [](const QStringList &paths) -> std::optional<QString> {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (pkexec.isEmpty()) return QStringLiteral("pkexec: not found");
        // rm itself, no shell; "--" keeps names that start with "-" from being read as options.
        return FileActions::runTool(
            pkexec,
            QStringList{QStringLiteral("/bin/rm"), QStringLiteral("-rf"), QStringLiteral("--")} + paths);
    };
    return d;
}
