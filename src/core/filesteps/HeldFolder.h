#pragma once

// A folder an operation was given, resolved once by its path as the user chose it (links on that path
// are the user's own and followed then) and held open from then on. Every later step is relative to
// it, so a link that another account swaps in for the folder, or plants beneath it, never steers a step;
// and before a step the folder is checked still to be the one that was shown.

#include "core/filesteps/PathBytes.h"
#include "core/filesteps/StepTypes.h"
#include "core/model/FileItem.h"

#include <QByteArray>
#include <QString>

#include <atomic>

#include <sys/stat.h>

namespace FileSteps {

class HeldFolder {
public:
    // Throws a FileError when `path` is no folder or cannot be opened.
    explicit HeldFolder(const PathBytes &path);
    // The same, and the folder must be the one shown, whose stat was `shown`: else the refusal.
    HeldFolder(const PathBytes &path, const struct stat &shown);
    // The folder of an item a pane listed: it must still be the folder listed where that is known.
    static HeldFolder ofShown(const ShownItem &item);
    HeldFolder(HeldFolder &&o) noexcept;
    HeldFolder &operator=(HeldFolder &&o) noexcept;
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;
    ~HeldFolder();

    const PathBytes &path() const { return path_; }
    // O_PATH: for the *at steps (openat, renameat2, linkat, unlinkat, mkdirat, fstatat).
    int fd() const { return fd_; }
    // Device and inode as it was opened.
    const struct stat &identity() const { return st_; }
    bool is(const struct stat &st) const { return is(st.st_dev, st.st_ino); }
    bool is(dev_t dev, ino_t ino) const { return dev == st_.st_dev && ino == st_.st_ino; }

    // Whether its path still leads to this folder.
    bool stillAtPath() const;
    // Throws the refusal unless its path still leads to this folder.
    void check() const;
    // The error that refuses a step in a folder that no longer is the one shown; it names the folder.
    FileError refusal() const;
    static QString refusalText(const QString &folder);
    // The refusal of a step on an item that another object has replaced; it names the item.
    static FileError replaced(const QString &item);
    // Throws before a part is made in a folder that takes new names only: the part could neither take
    // its name nor go again.
    void refuseAppendOnly() const;
    // Whether its volume stamps new items with a birth time; looked at once.
    bool keepsBirthTimes() const;

    // The item `name` in the folder, never through a link: its stat. Where `listed` is known the item must
    // still be that one, else the refusal that names it as `shownName`; otherwise the errno.
    struct stat expect(const QByteArray &name, const ItemId &listed, const QString &shownName) const;

    // The folder itself opened with O_RDONLY | O_DIRECTORY (to list, flush, read attributes); -1 and errno.
    int openReadable() const;
    // `relative` (a name, or names joined by '/') beneath the folder: never through a link, never above
    // it, and with `sameMount` never into another mounted file system. `flags` as for openat; the last
    // name is not followed either. The descriptor, or -1 and errno (ELOOP for a link, EXDEV for a mount).
    int openBeneath(const QByteArray &relative, int flags, mode_t mode = 0, bool sameMount = false) const;
    // A folder beneath, held in turn.
    HeldFolder beneath(const QByteArray &relative, bool sameMount = false) const;
    // The path of `relative` beneath, for records and messages.
    PathBytes pathOf(const QByteArray &relative) const;

private:
    HeldFolder(PathBytes path, int fd);
    PathBytes path_;
    int fd_ = -1;
    struct stat st_ {};
    // The folder opened for its flags, on the first look at them and kept for the next.
    mutable std::atomic<int> readable_{-1};
    mutable std::atomic<int> born_{-1}; // keepsBirthTimes: -1 not looked at yet
};

} // namespace FileSteps
