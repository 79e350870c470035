// Renaming the one selected item (several go to the batch rename), and new folders and files.
#include "core/app/RenameCommands.h"

#include "core/app/ListedSelection.h"
#include "core/app/Services.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/WindowRequests.h"
#include "core/fileops/UndoJournal.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Posix.h"

#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The name the pane shows: in the Trash the name an item had, which may differ from its entry's there.
QString shownName(const PaneModel *pane, const QString &path) {
    if (FileLoader::isInTrash(path))
        for (const FileItem &item : pane->visibleItems())
            if (item.isAt(path)) return item.name;
    return path.section(u'/', -1);
}

} // namespace

RenameCommands::RenameCommands(Sides &sides, Toasts &toasts, WindowRequests &requests, UndoJournal &undo,
                               const Services &services, QObject *parent)
    : QObject(parent), m_sides(sides), m_toasts(toasts), m_requests(requests), m_undo(undo),
      m_services(services) {}

void RenameCommands::renameSelection() {
    PaneModel *pane = m_sides.activePane();
    const QStringList selected = pane->selectedPaths();
    if (selected.size() >= 2) {
        m_requests.setBatchRenameTarget(InfoTarget(selected));
        return;
    }
    if (selected.isEmpty()) {
        m_toasts.show(K("Zum Umbenennen eine oder mehrere Dateien auswählen."), ToastKind::warning);
        return;
    }
    const QString path = selected.first();
    const QString name = shownName(pane, path);
    // A hit another program took away meanwhile: said by name, and no longer shown.
    if (m_sides.forgetGone(path)) {
        m_toasts.show(FileOps::explain(FileError::fromErrno(ENOENT), name), true);
        return;
    }

    TextQuestion q;
    q.message = L("Umbenennen");
    q.informative = LF("Neuer Name für „%@“:", name);
    q.text = name;
    // What is typed replaces the name and leaves the extension.
    struct stat st {};
    q.selected = stemLength(name, Posix::statPath(path, st) && S_ISDIR(st.st_mode));
    q.buttons = {L("Umbenennen"), L("Abbrechen")};
    q.fieldWidth = 320;
    QPointer<RenameCommands> self(this);
    QPointer<PaneModel> target(pane);
    // As listed: whatever takes its place or its folder's while the question is up stays untouched.
    m_services.dialogs.text(q,
                            [self, target, shown = pane->shown(path)](const std::optional<QString> &answer) {
                                // The pane may have closed while the question was up.
                                if (self && target && answer) self->renameItem(target, shown, *answer);
                            });
}

qsizetype RenameCommands::stemLength(const QString &name, bool folder) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return folder || dot <= 0 ? name.size() : dot;
}

void RenameCommands::renameItem(PaneModel *pane, const ShownItem &shown, const QString &answer) {
    const QString &path = shown.path;
    const QString name = shownName(pane, path);
    // Spaces and tabs only; "/" can't be part of a name.
    QString newName = answer;
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!newName.isEmpty() && blank(newName.front()))
        newName.remove(0, 1);
    while (!newName.isEmpty() && blank(newName.back()))
        newName.chop(1);
    newName.replace(u'/', u':');

    if (newName == name) {
        m_toasts.show(K("Der Name wurde nicht geändert."), ToastKind::warning);
        return;
    }
    if (newName.isEmpty()) {
        m_toasts.show(K("Der Name darf nicht leer sein."), true);
        return;
    }
    const QString newPath = path.section(u'/', 0, -2) + u'/' + newName;
    try {
        rename(shown, name, newName);
    } catch (const FileError &error) {
        // A dangling link is something too.
        if (error.code == EEXIST)
            m_toasts.show(FileOps::nameTakenText(newName, path), true);
        else if (error.code == ENOENT && m_sides.forgetGone(path))
            m_toasts.show(FileOps::explain(error, name), true);
        else
            m_toasts.show(error.description.isEmpty() ? FileOps::explain(error, name) : error.description,
                          true);
        return;
    }

    pane->refresh();
    // Selected with the cursor under its new name, so the next key acts on it.
    ListedSelection::select(pane, {FileLoader::norm(newPath)}, FileLoader::norm(newPath));
    m_toasts.show(renamedText(name, newName));
    QPointer<PaneModel> later(pane);
    QTimer::singleShot(m_services.timings.renameRefreshMs, this, [later] {
        if (later) later->refresh();
    });
}

void RenameCommands::rename(const ShownItem &shown, const QString &name, const QString &newName) {
    const QString newPath = Posix::childPath(Posix::parentOf(shown.path), newName);
    const ShownItem renamed = FileOps::rename(shown, newName);
    m_sides.followMove(shown.path, newPath);
    m_undo.record([name] { return LF("Umbenennen von „%@“", name); },
                  UndoAction::makeRenamed({TransferPair{shown.path, newPath}}, {renamed}));
}

bool RenameCommands::hides(const QString &name, const QString &newName) {
    return newName.startsWith(u'.') && !name.startsWith(u'.') && !FileLoader::showHidden();
}

QString RenameCommands::renamedText(const QString &name, const QString &newName) {
    // A leading dot hides the item from the listing: said, with the way to see it again.
    if (hides(name, newName))
        return LF("„%@“ umbenannt in „%@“. Ein Name mit Punkt am Anfang ist unsichtbar; „Unsichtbare "
                  "Dateien anzeigen“ (Strg+H) zeigt es wieder.",
                  name, newName);
    return LF("„%@“ umbenannt in „%@“.", name, newName);
}

void RenameCommands::makeNewItem(const std::optional<QString> &in, bool folder) {
    PaneModel *pane = m_sides.activePane();
    const QString dir = in.value_or(pane->currentPath());
    const char *base = folder ? K("Neuer Ordner") : K("Neue Datei");
    const QString name = folder ? L(base) : L(base) + QStringLiteral(".txt");
    // The folder as the pane listed it, when it is the pane's.
    const ItemId shown = FileLoader::norm(dir) == FileLoader::norm(pane->currentPath())
                             ? pane->shown(Posix::childPath(FileLoader::norm(dir), name)).folder
                             : ItemId{};
    QString path;
    try {
        path = FileOps::createIn(dir, shown, name, folder);
    } catch (const FileError &error) {
        if (error.description != FileError::fromErrno(error.code).description)
            m_toasts.show(error.description, true); // our own sentence: another folder took its place
        else if (folder)
            m_toasts.show(FileOps::explain(error, name), true);
        else
            m_toasts.show(K("Die Datei ließ sich hier nicht anlegen."), true);
        return;
    }
    pane->refresh();
    // Selected with the cursor, so that it can be renamed at once.
    if (FileLoader::norm(dir) == FileLoader::norm(pane->currentPath()))
        ListedSelection::select(pane, {FileLoader::norm(path)}, FileLoader::norm(path));
    m_undo.record([base] { return L(base); }, UndoAction::makeCreated({path}));
    const QString made = path.section(u'/', -1);
    m_toasts.show(folder ? LF("Ordner „%@“ angelegt.", made) : LF("Datei „%@“ angelegt.", made));
}

void RenameCommands::newFolder(const std::optional<QString> &in) {
    makeNewItem(in, true);
}

void RenameCommands::newFile(const std::optional<QString> &in) {
    makeNewItem(in, false);
}
