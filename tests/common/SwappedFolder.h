#pragma once

// What another account that shares a folder with the user can do between two steps of the program: move a
// folder aside and put a link to a private folder of its own in its place.

#include "common/TestUtil.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace TestUtil {

// A private folder (0700) elsewhere, with files of the given names.
class PrivateFolder {
public:
    explicit PrivateFolder(const QStringList &files = {}) {
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0700);
        for (const QString &f : files)
            writeFile(dir_.path() + u'/' + f, "private " + f.toUtf8());
    }
    QString path() const { return dir_.path(); }
    QString path(const QString &rel) const { return dir_.path() + u'/' + rel; }
    // Every entry with its bytes, and every folder with its modification time: an entry made and
    // removed again shows as well.
    QMap<QString, QByteArray> state() const {
        QMap<QString, QByteArray> out;
        const auto time = [](const QString &p) {
            const struct stat st = lstatOf(p);
            return QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                   QByteArray::number(st.st_mtim.tv_nsec);
        };
        out.insert(QStringLiteral("."), time(path()));
        QDirIterator it(path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            out.insert(p.mid(path().size() + 1), it.fileInfo().isDir() ? time(p) : readFile(p));
        }
        return out;
    }

private:
    QTemporaryDir dir_{testHome() + QStringLiteral("/private-XXXXXX")};
};

// Who the other account is (nobody).
constexpr uid_t otherAccount = 65534;

// `folder` goes aside (to folder + ".away") and a link to `target` takes its name; as root the link is
// the other account's, as it would be.
inline bool swapForLink(const QString &folder, const QString &target) {
    const QByteArray link = QFile::encodeName(folder);
    return ::rename(link.constData(), QFile::encodeName(folder + ".away").constData()) == 0 &&
           ::symlink(QFile::encodeName(target).constData(), link.constData()) == 0 &&
           (!isRoot() || ::lchown(link.constData(), otherAccount, otherAccount) == 0);
}

} // namespace TestUtil
