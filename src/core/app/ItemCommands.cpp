// Small commands on the selection or the active pane: open, share, tags, information, go to a folder,
// Terminal and the text editor, the lookups item menus use, and eject.
#include "core/app/ItemCommands.h"

#include "core/app/Services.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/WindowRequests.h"
#include "core/base/Background.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/HeldFolder.h"

#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent>
#include <cerrno>
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

// clang-format off
constexpr const char *ejectFailed = K("„%@“ ließ sich nicht auswerfen: %@ Vielleicht ist noch eine Datei oder ein Programm darauf geöffnet.");
// clang-format on

} // namespace

ItemCommands::ItemCommands(Sides &sides, Toasts &toasts, WindowRequests &requests, RenameCommands &renames,
                           const Services &services, QObject *parent)
    : QObject(parent), m_sides(sides), m_toasts(toasts), m_requests(requests), m_renames(renames),
      m_services(services) {}

void ItemCommands::openSelection() {
    PaneModel *pane = m_sides.activePane();
    QList<FileItem> chosen;
    for (const FileItem &item : pane->visibleItems())
        if (pane->selection().contains(item.path())) chosen << item;
    if (chosen.isEmpty()) return;
    if (chosen.size() == 1) {
        pane->openItem(chosen.first());
        return;
    }
    for (const FileItem &item : chosen)
        if (!item.isDirectory) openWithApplication(item.path());
}

void ItemCommands::openWithApplication(const QString &path) {
    if (!m_services.openFile) return;
    // A hit another program took away meanwhile: said by name, and no longer shown.
    if (m_sides.forgetGone(path)) {
        m_toasts.show(FileOps::explain(FileError::fromErrno(ENOENT), Posix::lastComponent(path)), true);
        return;
    }
    if (!m_services.openFile(path))
        m_toasts.show(LF("„%@“ lässt sich mit keinem Programm öffnen.", Posix::lastComponent(path)), true);
}

void ItemCommands::share(const QStringList &paths) {
    if (paths.isEmpty()) {
        m_toasts.show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    if (!m_services.desktop.share) return;
    if (const auto error = m_services.desktop.share(paths)) m_toasts.show(*error, true);
}

namespace {

// The items' folders, held as the panes listed them, with each item still the one listed: the tag
// writes reach the items beneath those folders. An item refused is left out; the first refusal is kept.
struct HeldItems {
    std::vector<FileSteps::HeldFolder> folders;
    QStringList paths;
    QList<int> fds;
    std::optional<QString> refusal;
};

HeldItems holdItems(const Sides &sides, const QStringList &paths) {
    HeldItems out;
    out.folders.reserve(size_t(paths.size()));
    for (const QString &p : paths) {
        const QString name = Posix::lastComponent(p);
        try {
            const auto bytes = FileSteps::PathBytes::of(p);
            if (!bytes) throw FileError::fromErrno(EILSEQ);
            const ShownItem shown = sides.shown(p);
            FileSteps::HeldFolder folder = FileSteps::HeldFolder::ofShown(shown);
            folder.expect(bytes->name(), shown.item, name);
            out.fds << folder.fd();
            out.folders.push_back(std::move(folder));
            out.paths << p;
        } catch (const FileError &e) {
            if (!out.refusal) out.refusal = e.code == ESTALE ? e.description : FileSteps::explain(e, name);
        }
    }
    return out;
}

} // namespace

void ItemCommands::toggleTag(const QString &tag, const QStringList &paths) {
    if (paths.isEmpty()) return;
    const HeldItems held = holdItems(m_sides, paths);
    std::optional<QString> error = held.refusal;
    if (!held.paths.isEmpty())
        if (const auto e = FileOps::toggleTag(tag, held.paths, held.fds); e && !error) error = e;
    if (error) m_toasts.show(*error, true);
    emit iconsChanged(paths);
    m_sides.refreshAll();
}

void ItemCommands::clearTags(const QStringList &paths) {
    if (paths.isEmpty()) return;
    const HeldItems held = holdItems(m_sides, paths);
    std::optional<QString> error = held.refusal;
    if (!held.paths.isEmpty())
        if (const auto e = FileOps::clearTags(held.paths, held.fds); e && !error) error = e;
    if (error) m_toasts.show(*error, true);
    emit iconsChanged(paths);
    m_sides.refreshAll();
}

void ItemCommands::showInfo(const QStringList &paths) {
    if (paths.isEmpty()) {
        m_toasts.show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    m_requests.setInfoTarget(InfoTarget(paths));
}

void ItemCommands::goToFolder(PaneModel *target) {
    PaneModel *pane = target ? target : m_sides.activePane();
    m_sides.setActive(pane->side());
    TextQuestion q;
    q.message = L("Gehe zu Ordner");
    // A word joiner after each "/" keeps the example paths whole: a line may break after any "/".
    q.informative = L("Pfad eingeben, zum Beispiel ~/Documents, /usr/share oder /media:")
                        .replace(u'/', QStringLiteral("/\u2060"));
    q.text = pane->currentPath();
    q.placeholder = QStringLiteral("/home/…");
    q.buttons = {L("Öffnen"), L("Abbrechen")};
    q.fieldWidth = 440;
    QPointer<ItemCommands> self(this);
    QPointer<PaneModel> asking(pane);
    m_services.dialogs.text(q, [self, asking](const std::optional<QString> &answer) {
        if (self && asking && answer) self->goToTypedFolder(asking, *answer);
    });
}

void ItemCommands::goToTypedFolder(PaneModel *pane, const QString &answer) {
    QString text = unquoted(answer.trimmed());
    if (text.isEmpty()) return;
    text = expandTilde(text);
    if (!text.startsWith(u'/')) text = pane->currentPath() + u'/' + text;
    const QString path = FileLoader::norm(text);

    bool isDir = false;
    if (!existsAnything(path, &isDir)) {
        m_toasts.show(LF("Diesen Ordner gibt es nicht: %@", path), true);
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

void ItemCommands::openFolderInTerminal() {
    const std::optional<QString> terminal =
        m_services.desktop.terminal ? m_services.desktop.terminal() : std::nullopt;
    if (!terminal) {
        m_toasts.show(LF("%@ wurde nicht gefunden.", L("Terminal")), true);
        return;
    }
    if (!m_services.desktop.openTerminal) return;
    if (const auto error = m_services.desktop.openTerminal(*terminal, m_sides.activePane()->targetFolder()))
        m_toasts.show(*error, true);
}

void ItemCommands::openInTextEdit() {
    const std::optional<QString> editor =
        m_services.desktop.textEditor ? m_services.desktop.textEditor() : std::nullopt;
    if (!editor) {
        m_toasts.show(LF("%@ wurde nicht gefunden.", L("Texteditor")), true);
        return;
    }
    QStringList files;
    for (const QString &path : m_sides.activePane()->selectedPaths())
        if (!PaneModel::isBrowsableFolder(path)) files << path;
    files.sort();
    if (!m_services.desktop.openInEditor) return;
    if (const auto error = m_services.desktop.openInEditor(*editor, files)) m_toasts.show(*error, true);
}

void ItemCommands::showInFileManager(const QStringList &paths) {
    if (paths.isEmpty()) {
        m_toasts.show(K("Nichts ausgewählt."), ToastKind::warning);
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
    m_sides.activePane()->go(folder, true, select);
}

void ItemCommands::openCompare() {
    const QString left = m_sides.left()->currentPath(), right = m_sides.right()->currentPath();
    if (FileLoader::norm(left) == FileLoader::norm(right)) {
        m_toasts.show(
            K("Links und rechts ist derselbe Ordner. Öffne zum Vergleichen zwei verschiedene Ordner."),
            ToastKind::warning);
        return;
    }
    m_requests.setCompareRequest(CompareRequest({left, right}));
}

void ItemCommands::openStorageAnalysis(const std::optional<QString> &path) {
    m_requests.setStorageRequest(StorageRequest({path ? *path : m_sides.activePane()->currentPath()}));
}

QStringList ItemCommands::contextPaths(PaneModel *pane, const FileItem &item) {
    pane->contextSelect(item);
    return pane->selectedPaths();
}

void ItemCommands::eject(const QString &path, const QString &name, const QByteArray &pathBytes) {
    // Never under another name: the shown text of a name that is not UTF-8 is another path.
    const std::optional<QByteArray> bytes = pathBytes.isEmpty() ? Posix::encode(path) : pathBytes;
    if (!bytes) {
        m_toasts.show(FileLoader::describeUnrepresentable({name}), true);
        return;
    }
    const QString home = QDir::homePath();
    const QString inside = path.endsWith(u'/') ? path : path + u'/';
    for (TabGroup *group : {m_sides.leftTabs(), m_sides.rightTabs()})
        for (PaneModel *tab : group->tabs())
            if (tab->currentPath() == path || tab->currentPath().startsWith(inside)) tab->go(home, true, {});

    QPointer<ItemCommands> self(this);
    const auto work = m_services.desktop.eject;
    whenDone(this, QtConcurrent::run([work, mountPoint = *bytes]() -> std::optional<QString> {
                 return work ? work(mountPoint) : std::optional<QString>(QString());
             }),
             [self, name](const std::optional<QString> &error) {
                 if (!self) return;
                 emit self->devicesChanged();
                 if (error)
                     self->m_toasts.show(LF(ejectFailed, name, *error), true);
                 else
                     self->m_toasts.show(LF("„%@“ wurde ausgeworfen.", name));
             });
}
