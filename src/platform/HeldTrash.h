#pragma once

// A Trash held open from the moment it is found until its items are moved in or deleted: its root, files
// and info folders, each opened without following a link and checked to be the user's own. An account
// that shares the volume (a group-writable top, or the owner of a shared .Trash) may swap one for a link
// to a folder of its own meanwhile; nothing goes there, since every step is relative to what is held.

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>

namespace Trash {

class Held {
public:
    Held() = default;
    // The Trash whose root is `root`: the home trash, <top>/.Trash-<uid>, or <top>/.Trash/<uid>, which
    // counts only in a real sticky .Trash that root or the owner of <top> owns. With `create`, what is
    // missing of it is made (never a shared .Trash itself). valid() tells, error() why not.
    static Held open(const QString &root, bool create);
    // The same, looked up from the volume's top held at topFd and named topPath: <top>/.Trash/<uid> with
    // `shared`, else <top>/.Trash-<uid>. Each folder is opened from the one above it, so the Trash found is
    // the one whose parent is that top, whatever its path leads to now.
    static Held openAt(int topFd, const QByteArray &topPath, bool shared, bool create);
    // A folder the Trash view lists: a root's files folder (with its info folder, when there is one), or
    // any other folder of the user's own, held alone.
    static Held openListed(const QString &folder);
    Held(Held &&o) noexcept;
    Held &operator=(Held &&o) noexcept;
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    ~Held();

    bool valid() const { return files_ >= 0; }
    int error() const { return error_; }
    // O_PATH descriptors, for the *at calls; info() is -1 where the folder has no info folder.
    int root() const { return root_; }
    int files() const { return files_; }
    int info() const { return info_; }
    const struct stat &rootStat() const { return rootSt_; }
    // The files folder's path, for records and messages.
    const QByteArray &filesPath() const { return filesPath_; }

    // What lies in the files folder (no "." "..", no .DS_Store); an unreadable folder counts as empty.
    QList<QByteArray> names() const;
    // Removes the .trashinfo of `name`, once its item is gone from the files folder.
    void dropInfoOfGone(const QByteArray &name) const;
    // Removes the .trashinfo files whose item is gone and which are older than a minute (a younger one
    // may belong to an item being moved in right now).
    void dropOrphanInfos() const;

private:
    // The root `last` in the folder held at `above` (closed here), and its files and info folders.
    static Held openIn(int above, const QByteArray &last, const QByteArray &rootPath, bool create);
    int root_ = -1, files_ = -1, info_ = -1;
    int error_ = 0;
    struct stat rootSt_ {};
    QByteArray filesPath_;
};

} // namespace Trash
