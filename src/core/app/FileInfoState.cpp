#include "core/app/FileInfoState.h"

#include "core/app/ItemCommands.h"
#include "core/app/RenameCommands.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/HeldFolder.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/FolderSize.h"
#include "core/model/PaneModel.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/FileFlags.h"
#include "platform/Posix.h"

#include <QCoreApplication>
#include <QMutex>
#include <QtConcurrent/QtConcurrentRun>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileInfoState::Timings current;
QMutex loaderLock;
std::function<FullDetails(const QString &)> &loaderOverride() {
    static std::function<FullDetails(const QString &)> f;
    return f;
}

int idx(FileInfoState::Field f) {
    return int(f);
}

// Blanks and tabs only, as typed names may end with other space on purpose.
QString trimBlanks(QString s) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!s.isEmpty() && blank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && blank(s.back()))
        s.chop(1);
    return s;
}

// The item's folder held as the pane listed it, and the item still the one listed; else why not is told.
std::optional<FileSteps::HeldFolder> holdShown(const QString &path, const Sides *sides, Toasts *toasts) {
    const QString name = Posix::lastComponent(path);
    try {
        const auto bytes = FileSteps::PathBytes::of(path);
        if (!bytes) throw FileError::fromErrno(EILSEQ);
        const ShownItem shown = sides ? sides->shown(path) : ShownItem{path, {}, {}};
        FileSteps::HeldFolder folder = FileSteps::HeldFolder::ofShown(shown);
        folder.expect(bytes->name(), shown.item, name);
        return folder;
    } catch (const FileError &e) {
        if (toasts) toasts->show(e.code == ESTALE ? e.description : FileSteps::explain(e, name), true);
        return std::nullopt;
    }
}

// The tags typed in the field, comma separated.
QStringList tagNames(const QString &text) {
    QStringList names;
    for (const QString &piece : text.split(u',', Qt::SkipEmptyParts)) {
        const QString name = trimBlanks(piece);
        if (!name.isEmpty()) names << name;
    }
    return names;
}

} // namespace

FileInfoState::Timings FileInfoState::timings() {
    return current;
}
void FileInfoState::setTimings(const Timings &t) {
    current = t;
}
void FileInfoState::setLoaderForTests(std::function<FullDetails(const QString &)> loader) {
    QMutexLocker lock(&loaderLock);
    loaderOverride() = std::move(loader);
}

FileInfoState::FileInfoState(Sides &sides, ItemCommands &items, Toasts &toasts, const QString &path,
                             qint64 refresh, QObject *parent)
    : QObject(parent), m_sides(&sides), m_items(&items), m_toasts(&toasts), m_path(path), m_refresh(refresh),
      m_sizeText(L("Wird berechnet …")), m_walk(this, [](const QStringList &paths, const CancelFlag &cancel) {
          const FileOps::FolderSize f = FileOps::folderSize(paths.value(0), current.folderLimit, &cancel);
          return FileOps::SelectionSize{f.bytes, f.files, f.truncated, f.cancelled};
      }) {
    m_commentTimer.setSingleShot(true);
    connect(&m_commentTimer, &QTimer::timeout, this, &FileInfoState::saveComment);
    connect(&m_walk, &SizeWalk::finished, this, [this](const FileOps::SelectionSize &r) {
        // "mehr als " reads the same in every language.
        m_sizeText = (r.truncated ? QStringLiteral("mehr als ") : QString()) + FileFmt::size(r.bytes);
        emit changed();
    });
}

// Runs as the window goes too (at quit): the comment is written, and nothing is said into the window.
FileInfoState::~FileInfoState() {
    if (m_commentTimer.isActive()) writeComment(false);
}

void FileInfoState::tellUnapplied() {
    if (!m_toasts) return;
    if (m_typed[idx(Field::name)]) {
        const QString typed = trimBlanks(m_nameText);
        if (!typed.isEmpty() && typed != Posix::lastComponent(m_path))
            m_toasts->show(LF("Der neue Name „%@“ wurde nicht übernommen.", typed), ToastKind::warning);
    } else if (m_typed[idx(Field::tags)] && m_loaded && tagNames(m_tagsText) != m_details.tags) {
        m_toasts->show(LF("Die Tags „%@“ wurden nicht übernommen.", trimBlanks(m_tagsText)),
                       ToastKind::warning);
    }
}

void FileInfoState::restoreName() {
    m_nameText = Posix::lastComponent(m_path);
    m_typed[idx(Field::name)] = false;
    emit fieldsReset();
}

void FileInfoState::restoreTags() {
    m_tagsText = m_details.tags.join(QStringLiteral(", "));
    m_typed[idx(Field::tags)] = false;
    emit fieldsReset();
}

QString FileInfoState::sizeLong() const {
    if (m_details.isDirectory) return m_sizeText;
    QString text = InfoFmt::exactBytes(m_details.bytes);
    if (m_details.onDisk >= 1) text += LF(" (%@ auf dem Volume)", FileFmt::size(m_details.onDisk));
    return text;
}

void FileInfoState::setNameText(const QString &text) {
    m_nameText = text;
    m_typed[idx(Field::name)] = true;
}

void FileInfoState::setTagsText(const QString &text) {
    m_tagsText = text;
    m_typed[idx(Field::tags)] = true;
}

void FileInfoState::setComment(const QString &text) {
    if (text == m_comment) return;
    m_comment = text;
    m_typed[idx(Field::comment)] = true;
    m_commentTimer.start(current.commentSaveMs);
}

void FileInfoState::setFocused(Field field, bool focused) {
    m_focused[idx(field)] = focused;
    if (field == Field::comment && !focused) {
        m_commentTimer.stop();
        saveComment();
    }
}

void FileInfoState::setRefresh(qint64 token) {
    if (token == m_refresh) return;
    m_refresh = token;
    load();
    emit refreshed();
}

void FileInfoState::retire() {
    ++m_generation;
    m_walk.cancel();
}

bool FileInfoState::keeps(Field field) const {
    return m_typed[idx(field)] || m_focused[idx(field)];
}

void FileInfoState::load() {
    // What the user typed is written before the stored value is read back.
    if (m_commentTimer.isActive()) {
        m_commentTimer.stop();
        saveComment();
    }
    const quint64 generation = ++m_generation;
    const QString path = m_path;
    std::function<FullDetails(const QString &)> loader;
    {
        QMutexLocker lock(&loaderLock);
        loader = loaderOverride();
    }
    // The content rows come from a helper program that may take up to its time limit: the other facts
    // are shown first, and the rows join them when they come.
    const bool inTwo = !loader;
    if (!loader) loader = &FullDetails::loadWithoutContent;
    QPointer<FileInfoState> self(this);
    (void)QtConcurrent::run([self, loader, path, generation, inTwo] {
        // Before the facts: whatever they say belongs to this item or to none.
        ::ItemId id;
        if (struct stat st{}; Posix::lstatPath(path, st)) id = {quint64(st.st_dev), quint64(st.st_ino)};
        const FullDetails details = loader(path);
        auto current = [self, path, generation] {
            // Only the newest load of the path still shown is applied.
            return self && generation == self->m_generation && path == self->m_path;
        };
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, details, current, inTwo, id] {
                if (!current()) return;
                self->m_loadedId = id;
                FullDetails shown = details;
                // Until the new rows come, the last ones of this path stay (no flicker on a reload).
                if (inTwo && self->m_loaded) shown.extra = self->m_details.extra;
                self->apply(shown);
            },
            Qt::QueuedConnection);
        if (!inTwo) return;
        const QList<FullDetails::Extra> extra = FullDetails::extraInfo(path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, extra, current] {
                if (!current() || self->m_details.extra == extra) return;
                self->m_details.extra = extra;
                emit self->changed();
            },
            Qt::QueuedConnection);
    });
}

void FileInfoState::apply(const FullDetails &details) {
    m_details = details;
    m_loaded = true;
    bool reset = false;
    if (!keeps(Field::name)) {
        m_nameText = Posix::lastComponent(m_path);
        reset = true;
    }
    if (!keeps(Field::tags)) {
        m_tagsText = details.tags.join(QStringLiteral(", "));
        reset = true;
    }
    if (!keeps(Field::comment)) {
        m_comment = details.comment;
        reset = true;
    }
    if (!details.isDirectory) {
        m_walk.cancel();
        m_countedPath.clear();
        m_sizeText = FileFmt::size(details.bytes);
    } else {
        startFolderCount();
    }
    if (reset) emit fieldsReset();
    emit changed();
}

void FileInfoState::startFolderCount() {
    // A walk of this folder still running serves this load as well; a finished one is repeated, since
    // the folder may have changed. The last size stays shown meanwhile.
    if (m_countedPath == m_path && m_walk.busy()) return;
    if (m_countedPath != m_path) m_sizeText = L("Wird berechnet …");
    m_countedPath = m_path;
    m_walk.start({m_path});
}

void FileInfoState::applyTags() {
    const QStringList names = tagNames(m_tagsText);
    const auto folder = holdShown(m_path, m_sides, m_toasts);
    if (!folder) return;
    if (const auto error = FileOps::setTagNames(names, m_path, folder->fd())) {
        if (m_toasts)
            m_toasts->show(LF("Tags ließen sich nicht ändern: %@", FileOps::describe(*error)), true);
        return;
    }
    m_typed[idx(Field::tags)] = false;
    m_focused[idx(Field::tags)] = false;
    if (m_items && m_sides) {
        emit m_items->iconsChanged({m_path});
        m_sides->refreshAll();
    }
    load();
}

bool FileInfoState::canChangeLock() {
    return FileFlags::canChangeImmutable();
}

void FileInfoState::setLocked(bool locked) {
    const QString name = Posix::lastComponent(m_path);
    int err = 0;
    try {
        const FileSteps::PathBytes bytes(m_path);
        // The item whose facts the form shows, in its folder as the pane listed it: never what the name
        // or a folder swapped in leads to since.
        ShownItem shown = m_sides ? m_sides->shown(m_path) : ShownItem{m_path, {}, {}};
        shown.item = m_loadedId.known() ? m_loadedId : shown.item;
        if (!shown.item.known()) throw FileSteps::HeldFolder::replaced(name);
        const FileSteps::HeldFolder folder = FileSteps::HeldFolder::ofShown(shown);
        const struct stat st = folder.expect(bytes.name(), shown.item, name);
        err = FileFlags::setImmutable(folder.fd(), bytes.name(), st, locked);
        if (err == ESTALE) throw FileSteps::HeldFolder::replaced(name);
    } catch (const FileError &e) {
        if (e.code == ESTALE) {
            if (m_toasts) m_toasts->show(e.description, true);
            emit changed();
            return;
        }
        err = e.code ? e.code : EIO;
    }
    if (err) {
        if (m_toasts)
            m_toasts->show(LF("Der Schutz ließ sich nicht ändern: %@", Posix::errorText(err)), true);
        emit changed(); // the control shows the stored state again
        return;
    }
    m_details.locked = locked;
    emit changed();
}

bool FileInfoState::validName(const QString &name) {
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..")) return false;
    for (const QChar c : name)
        if (c == QChar(0) || c == u'\n' || c == u'\r' || c == u'/') return false;
    const auto bytes = Posix::encode(name);
    return bytes && bytes->size() <= 255;
}

std::optional<FileInfoState::ItemId> FileInfoState::itemId(const QString &path) {
    struct stat st {};
    if (!Posix::statPath(path, st)) return std::nullopt;
    return ItemId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool FileInfoState::onSameItem(const QString &path, const ItemId &expected,
                               const std::function<void(const QString &)> &act) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return false;
    const int fd = Posix::retry([&] { return ::open(bytes->constData(), O_PATH | O_CLOEXEC); });
    if (fd < 0) return false;
    struct stat st {};
    const bool same = ::fstat(fd, &st) == 0 && ItemId{quint64(st.st_dev), quint64(st.st_ino)} == expected;
    if (same) {
        // Without /proc the name is all there is; it was the right item a moment ago.
        const bool proc = ::access("/proc/self/fd", F_OK) == 0;
        act(proc ? QStringLiteral("/proc/self/fd/%1").arg(fd) : path);
    }
    ::close(fd);
    return same;
}

void FileInfoState::rename() {
    renameTo(true);
}

void FileInfoState::applyName() {
    if (m_typed[idx(Field::name)]) renameTo(false);
}

void FileInfoState::applyTypedTags() {
    if (m_typed[idx(Field::tags)]) applyTags();
}

void FileInfoState::renameTo(bool select) {
    const QString oldName = Posix::lastComponent(m_path);
    QString newName = trimBlanks(m_nameText);
    // A slash can't be part of a name; the same stand-in as the rename command.
    newName.replace(u'/', u':');
    if (newName.isEmpty() || newName == oldName) {
        restoreName();
        return;
    }
    if (!validName(newName)) {
        if (m_toasts) m_toasts->show(K("Name ungültig"), true);
        restoreName();
        return;
    }
    if (!m_items) {
        restoreName();
        return;
    }
    const QString dest = Posix::childPath(Posix::parentOf(m_path), newName);
    const QString was = m_path;
    const ShownItem shown = m_sides ? m_sides->shown(m_path) : ShownItem{m_path, {}, {}};
    // The panes follow the rename while it runs, and a view that follows them finds this form already on
    // the new name: it keeps it rather than making another one in its place.
    m_path = FileLoader::norm(dest);
    const QPointer<FileInfoState> self(this);
    try {
        // F2's rename with its undo entry: never replaces, and a name taken is told only once the folder
        // is held as the pane listed it, so a folder swapped since is refused before anything in it is
        // looked at.
        m_items->renames().rename(shown, oldName, newName);
    } catch (const FileError &error) {
        if (!self) return;
        m_path = was;
        if (m_toasts) {
            if (error.code == EEXIST) {
                m_toasts->show(FileOps::nameTakenText(newName, m_path), true);
            } else if (error.code == ENOENT) {
                // Another program took the item away: said with its name, and the panes drop it.
                m_toasts->show(FileOps::explain(error, oldName), true);
            } else if (error.code == ESTALE) {
                m_toasts->show(error.description, true);
            } else {
                m_toasts->show(LF("Das Umbenennen ging nicht: %@", error.description.isEmpty()
                                                                       ? Posix::errorText(error.code)
                                                                       : error.description),
                               true);
            }
        }
        restoreName();
        if (error.code == ENOENT && m_sides) m_sides->forgetGone(was);
        return;
    }
    if (!self) return;
    // The name as it was made ("/" became ":"), whatever the field still holds.
    m_nameText = newName;
    m_typed[idx(Field::name)] = false;
    emit fieldsReset();
    if (m_sides) {
        PaneModel *pane = m_sides->activePane();
        pane->refresh();
        if (select && Posix::parentOf(m_path) == pane->currentPath()) pane->setSelection({m_path});
    }
    // Only a name that hides the item is worth a word here: the form shows the new name.
    if (m_toasts && RenameCommands::hides(oldName, newName))
        m_toasts->show(RenameCommands::renamedText(oldName, newName));
    emit pathChanged();
    load();
}

void FileInfoState::saveComment() {
    writeComment(true);
}

void FileInfoState::writeComment(bool tell) {
    m_commentTimer.stop();
    Toasts *toasts = tell ? m_toasts.data() : nullptr;
    // White space alone is no comment: both attributes go.
    const QString text = m_comment.trimmed().isEmpty() ? QString() : m_comment;
    if (text == m_details.comment) {
        m_typed[idx(Field::comment)] = false;
        return;
    }
    const auto folder = holdShown(m_path, m_sides, toasts);
    if (!folder) return;
    if (const int err = FileOps::setComment(text, m_path, folder->fd())) {
        // ELOOP: a link that another account put at the item's name.
        if (toasts)
            toasts->show(err == ELOOP
                             ? FileSteps::HeldFolder::replaced(Posix::lastComponent(m_path)).description
                             : LF("Der Kommentar ließ sich nicht speichern: %@", Posix::errorText(err)),
                         true);
        return;
    }
    if (FileOps::comment(m_path) != text) {
        if (toasts) toasts->show(K("Der Kommentar wurde nicht an der Datei gespeichert."), true);
        return;
    }
    m_details.comment = text;
    m_typed[idx(Field::comment)] = false;
    // Both attributes were written together: ours and the one other file managers read.
    if (toasts) toasts->show(K("Kommentar gespeichert, auch für andere Dateimanager lesbar"));
}
