// Small commands on the selection or the active pane: open, share, tags, information, go to a folder,
// copy paths, Terminal and the text editor, and the lookups item menus use.
#include "core/app/AppState.h"

#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <sys/stat.h>

namespace {

bool existsAnything(const QString &path, bool *isDir = nullptr) {
    struct stat st {};
    // A dangling link still is something.
    if (!Posix::statPath(path, st) && !Posix::lstatPath(path, st)) return false;
    if (isDir) *isDir = S_ISDIR(st.st_mode);
    return true;
}

// Quotes around the whole text, as a matching pair, are taken off once.
QString unquoted(const QString &text) {
    if (text.size() < 2) return text;
    const QChar first = text.front(), last = text.back();
    const bool pair = (first == u'"' && last == u'"') || (first == u'\'' && last == u'\'') ||
                      (first == QChar(0x201E) && last == QChar(0x201C));
    return pair ? text.mid(1, text.size() - 2) : text;
}

// "~" and "~/…" name the home folder, "~name/…" that user's; an unknown user is left as typed.
QString expandTilde(const QString &text) {
    if (!text.startsWith(u'~')) return text;
    const qsizetype slash = text.indexOf(u'/');
    const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
    const QString rest = slash < 0 ? QString() : text.mid(slash);
    if (user.isEmpty()) return QDir::homePath() + rest;
    const passwd *entry = ::getpwnam(user.toUtf8().constData());
    return entry && entry->pw_dir ? QFile::decodeName(entry->pw_dir) + rest : text;
}

} // namespace

void AppState::openSelection() {
    PaneModel *pane = activePane();
    QList<FileItem> chosen;
    for (const FileItem &item : pane->visibleItems())
        if (pane->selection().contains(item.path)) chosen << item;
    if (chosen.isEmpty()) return;
    if (chosen.size() == 1) {
        pane->openItem(chosen.first());
        return;
    }
    for (const FileItem &item : chosen)
        if (!item.isDirectory) openWithApplication(item.path);
}

void AppState::openWithApplication(const QString &path) {
    if (!m_services.openFile) return;
    if (!m_services.openFile(path))
        show(LF("„%@“ lässt sich mit keinem Programm öffnen.", Posix::lastComponent(path)), true);
}

void AppState::share(const QStringList &paths) {
    if (paths.isEmpty()) {
        show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    if (!m_services.desktop.share) return;
    if (const auto error = m_services.desktop.share(paths)) show(*error, true);
}

void AppState::toggleTag(const QString &tag, const QStringList &paths) {
    if (paths.isEmpty()) return;
    if (const auto error = FileOps::toggleTag(tag, paths)) show(*error, true);
    emit iconsChanged(paths);
    refreshAll();
}

void AppState::clearTags(const QStringList &paths) {
    if (paths.isEmpty()) return;
    if (const auto error = FileOps::clearTags(paths)) show(*error, true);
    emit iconsChanged(paths);
    refreshAll();
}

void AppState::showInfo(const QStringList &paths) {
    if (paths.isEmpty()) {
        show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    m_requests.setInfoTarget(InfoTarget(paths));
}

void AppState::goToFolder(PaneModel *target) {
    PaneModel *pane = target ? target : activePane();
    m_sides.setActive(pane->side());
    TextQuestion q;
    q.message = L("Gehe zu Ordner");
    q.informative = L("Pfad eingeben, zum Beispiel ~/Dokumente, /usr/share oder /media:");
    q.text = pane->currentPath();
    q.placeholder = QStringLiteral("/home/…");
    q.buttons = {L("Öffnen"), L("Abbrechen")};
    q.fieldWidth = 440;
    QPointer<AppState> self(this);
    QPointer<PaneModel> asking(pane);
    m_services.dialogs.text(q, [self, asking](const std::optional<QString> &answer) {
        if (self && asking && answer) self->goToTypedFolder(asking, *answer);
    });
}

void AppState::goToTypedFolder(PaneModel *pane, const QString &answer) {
    QString text = unquoted(answer.trimmed());
    if (text.isEmpty()) return;
    text = expandTilde(text);
    if (!text.startsWith(u'/')) text = pane->currentPath() + u'/' + text;
    const QString path = FileLoader::norm(text);

    bool isDir = false;
    if (!existsAnything(path, &isDir)) {
        show(LF("Diesen Ordner gibt es nicht: %@", path), true);
        return;
    }
    if (isDir) {
        pane->go(path, true, {});
        return;
    }
    QString parent = path.section(u'/', 0, -2);
    if (parent.isEmpty()) parent = QStringLiteral("/");
    pane->go(parent, true, {path});
}

void AppState::copyPath(const QStringList &paths) {
    if (paths.isEmpty()) return;
    m_services.pasteboard.setText(paths.join(u'\n'));
    setCutPaths({});
    // Put together directly: the number and the path are not translated.
    show(paths.size() == 1 ? L("Pfad kopiert: ") + paths.first()
                           : localNumber(paths.size()) + L(" Pfade kopiert."));
}

void AppState::openFolderInTerminal() {
    const std::optional<QString> terminal =
        m_services.desktop.terminal ? m_services.desktop.terminal() : std::nullopt;
    if (!terminal) {
        show(LF("%@ wurde nicht gefunden.", L("Terminal")), true);
        return;
    }
    if (!m_services.desktop.openTerminal) return;
    if (const auto error = m_services.desktop.openTerminal(*terminal, activePane()->targetFolder()))
        show(*error, true);
}

void AppState::openInTextEdit() {
    const std::optional<QString> editor =
        m_services.desktop.textEditor ? m_services.desktop.textEditor() : std::nullopt;
    if (!editor) {
        show(LF("%@ wurde nicht gefunden.", L("Texteditor")), true);
        return;
    }
    QStringList files;
    for (const QString &path : activePane()->selectedPaths())
        if (!PaneModel::isBrowsableFolder(path)) files << path;
    files.sort();
    if (!m_services.desktop.openInEditor) return;
    if (const auto error = m_services.desktop.openInEditor(*editor, files)) show(*error, true);
}

void AppState::showInFileManager(const QStringList &paths) {
    if (paths.isEmpty()) {
        show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    // The desktop's file manager when one answers; otherwise the items' folder in the active pane, with
    // the items of that folder selected.
    if (m_services.desktop.showItems && !m_services.desktop.showItems(paths)) return;
    QString folder = paths.first().section(u'/', 0, -2);
    if (folder.isEmpty()) folder = QStringLiteral("/");
    QSet<QString> select;
    for (const QString &path : paths) {
        QString parent = path.section(u'/', 0, -2);
        if (parent.isEmpty()) parent = QStringLiteral("/");
        if (parent == folder) select << path;
    }
    activePane()->go(folder, true, select);
}

void AppState::openCompare() {
    const QString left = this->left()->currentPath(), right = this->right()->currentPath();
    if (FileLoader::norm(left) == FileLoader::norm(right)) {
        show(K("Links und rechts ist derselbe Ordner. Öffne zum Vergleichen zwei verschiedene Ordner."),
             ToastKind::warning);
        return;
    }
    m_requests.setCompareRequest(CompareRequest({left, right}));
}

void AppState::openStorageAnalysis(const std::optional<QString> &path) {
    m_requests.setStorageRequest(StorageRequest({path ? *path : activePane()->currentPath()}));
}

QStringList AppState::contextPaths(PaneModel *pane, const FileItem &item) {
    pane->contextSelect(item);
    return pane->selectedPaths();
}
