#include "core/filesteps/PosixSteps.h"

#include "core/filesteps/HeldFolder.h"
#include "platform/FileCopy.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSteps {

namespace {

// The item `name` in `folder`, never through a link, as a path the system resolves to exactly that item.
class Pinned {
public:
    Pinned(const HeldFolder &folder, const QByteArray &name)
        : fd_(::openat(folder.fd(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
        struct stat st;
        // A link takes no attributes of ours; the magic path would name the link itself.
        if (fd_.get() >= 0 && (::fstat(fd_.get(), &st) != 0 || S_ISLNK(st.st_mode))) fd_.reset();
    }
    bool valid() const { return fd_.get() >= 0; }
    QByteArray path() const { return "/proc/self/fd/" + QByteArray::number(fd_.get()); }

private:
    Fd fd_;
};

} // namespace

int renameNoReplace(const HeldFolder &from, const QByteArray &fromName, const HeldFolder &to,
                    const QByteArray &toName) {
    return renameNoReplaceAt(from.fd(), fromName, to.fd(), toName);
}

QString pinnedPath(const HeldFolder &folder) {
    return QStringLiteral("/proc/self/fd/") + QString::number(folder.fd());
}

void setPartMark(const HeldFolder &folder, const QByteArray &name, const QByteArray &mark) {
    if (const Pinned item(folder, name); item.valid() && !mark.isEmpty())
        ::setxattr(item.path().constData(), FileCopy::partMark, mark.constData(), size_t(mark.size()), 0);
}

void dropPartMark(const HeldFolder &folder, const QByteArray &name) {
    if (const Pinned item(folder, name); item.valid())
        ::removexattr(item.path().constData(), FileCopy::partMark);
}

Trashed trashItem(const HeldFolder &folder, const QByteArray &name, const QString &path) {
    return trashItem(folder.fd(), name, path);
}

} // namespace FileSteps
