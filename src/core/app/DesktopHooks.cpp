#include "core/app/DesktopHooks.h"

#include "core/fileops/ToolRunner.h"
#include "core/localisation/Lang.h"
#include "core/model/OpenWithApp.h"
#include "platform/Eject.h"
#include "platform/Terminal.h"
#include "platform/Workspace.h"

#include <QStandardPaths>

DesktopHooks DesktopHooks::system() {
    DesktopHooks d;
    d.terminal = [] { return Terminal::find(); };
    // The system's words only as a detail after ours.
    d.openTerminal = [](const QString &terminal, const QString &folder) -> std::optional<QString> {
        const std::optional<QString> error = Terminal::openIn(terminal, folder);
        if (!error) return std::nullopt;
        return LF("„%@“ ließ sich nicht starten (%@).", terminal, *error);
    };
    d.textEditor = [] { return Workspace::defaultTextEditor(); };
    d.openInEditor = [](const QString &editor, const QStringList &files) -> std::optional<QString> {
        const std::optional<QString> error = Workspace::openWith(editor, files);
        if (!error) return std::nullopt;
        if (*error == Workspace::noSuchApplication()) return LF("%@ wurde nicht gefunden.", editor);
        return LF("„%@“ ließ sich nicht starten (%@).", editor, *error);
    };
    d.showItems = [](const QStringList &paths) { return Workspace::showItems(paths); };
    d.share = [](const QStringList &paths) -> std::optional<QString> {
        const std::optional<QString> error = Workspace::composeMail(paths);
        if (!error) return std::nullopt;
        return LF("Das Mailprogramm ließ sich nicht öffnen (%@).", *error);
    };
    d.eject = [](const QByteArray &mountPoint) { return Eject::unmountAndEject(mountPoint); };
    d.launchEntry = [](const QString &file) { return OpenWith::launch(file, {}); };
    d.deleteAsAdmin = [](const QStringList &paths) -> std::optional<QString> {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (pkexec.isEmpty()) return LF("%@ wurde nicht gefunden.", QStringLiteral("pkexec"));
        // rm itself, no shell; "--" keeps names that start with "-" from being read as options.
        return FileActions::runTool(
            pkexec,
            QStringList{QStringLiteral("/bin/rm"), QStringLiteral("-rf"), QStringLiteral("--")} + paths);
    };
    return d;
}
