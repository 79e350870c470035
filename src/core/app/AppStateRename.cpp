// Renaming the one selected item; several selected items go to the batch rename.
#include "core/app/AppState.h"

#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Posix.h"

#include <QTimer>
#include <sys/stat.h>

void AppState::renameSelection() {
    PaneModel *pane = activePane();
    const QStringList selected = pane->selectedPaths();
    if (selected.size() >= 2) {
        m_requests.setBatchRenameTarget(InfoTarget(selected));
        return;
    }
    if (selected.isEmpty()) {
        show(K("Zum Umbenennen eine oder mehrere Dateien auswählen."), ToastKind::warning);
        return;
    }
    const QString path = selected.first();
    const QString name = path.section(u'/', -1);

    TextQuestion q;
    q.message = L("Umbenennen");
    q.informative = LF("Neuer Name für „%@“:", name);
    q.text = name;
    q.buttons = {L("Umbenennen"), L("Abbrechen")};
    q.fieldWidth = 320;
    QPointer<AppState> self(this);
    QPointer<PaneModel> target(pane);
    m_services.dialogs.text(q, [self, target, path](const std::optional<QString> &answer) {
        // The pane may have closed while the question was up.
        if (self && target && answer) self->renameItem(target, path, *answer);
    });
}

void AppState::renameItem(PaneModel *pane, const QString &path, const QString &answer) {
    const QString name = path.section(u'/', -1);
    // Spaces and tabs only; "/" can't be part of a name.
    QString newName = answer;
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!newName.isEmpty() && blank(newName.front()))
        newName.remove(0, 1);
    while (!newName.isEmpty() && blank(newName.back()))
        newName.chop(1);
    newName.replace(u'/', u':');

    if (newName == name) {
        show(K("Der Name wurde nicht geändert."), ToastKind::warning);
        return;
    }
    if (newName.isEmpty()) {
        show(K("Der Name darf nicht leer sein."), true);
        return;
    }
    const QString newPath = path.section(u'/', 0, -2) + u'/' + newName;
    // lstat: a dangling link is something too.
    struct stat st {};
    if (Posix::lstatPath(newPath, st)) {
        show(LF("„%@“ gibt es schon in diesem Ordner.", newName), true);
        return;
    }
    try {
        FileOps::rename(path, newPath);
    } catch (const FileError &error) {
        show(error.description.isEmpty() ? FileOps::explain(error, name) : error.description, true);
        return;
    }

    pane->refresh();
    pane->setSelection({FileLoader::norm(newPath)});
    pane->setCursor(FileLoader::norm(newPath)); // scrolled into view under its new name
    record(LF("Umbenennen von „%@“", name), UndoAction::makeRenamed({TransferPair{path, newPath}}));
    show(LF("„%@“ umbenannt in „%@“.", name, newName));
    QPointer<PaneModel> later(pane);
    QTimer::singleShot(m_services.timings.renameRefreshMs, this, [later] {
        if (later) later->refresh();
    });
}
