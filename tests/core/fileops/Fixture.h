#pragma once

#include "common/TestChild.h"
#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "core/fileops/FileOps.h"
#include "platform/TrashRoots.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace FileOpsTest {

// Bytes that differ from offset to offset, so a shifted or short copy shows.
inline QByteArray pattern(qint64 size, char seed = 1) {
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 131 + seed * 7 + i / 4096) & 0xff);
    return b;
}

using TestUtil::exists;
using TestUtil::names;

// Every entry below root: relative path -> type and content hash (link text for links).
inline QMap<QString, QByteArray> snapshot(const QString &root) {
    QMap<QString, QByteArray> out;
    QFileInfo top(root);
    auto describe = [](const QFileInfo &fi) -> QByteArray {
        if (fi.isSymLink()) {
            char buf[4096];
            const ssize_t n = ::readlink(fi.filePath().toUtf8().constData(), buf, sizeof buf);
            return "L:" + QByteArray(buf, n < 0 ? 0 : n);
        }
        if (fi.isDir()) return "D";
        QFile f(fi.filePath());
        if (!f.open(QIODevice::ReadOnly)) return "?";
        return "F:" + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
    };
    out.insert(QStringLiteral("."), describe(top));
    if (!top.isDir() || top.isSymLink()) return out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out.insert(it.filePath().mid(root.size() + 1), describe(it.fileInfo()));
    }
    return out;
}

inline QString journalFolder() {
    return qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/kestrin/transfers");
}

// Runs `work` in a child that then quits as the program does, so that its journal ends as at a normal
// quit: the journal it left behind, or empty.
inline QString journalLeftBy(const std::function<void()> &work) {
    const QStringList before = names(journalFolder());
    const pid_t child = TestChild::forkAlone();
    if (child < 0) return {};
    if (child == 0) {
        work();
        std::exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    for (const QString &n : names(journalFolder()))
        if (!before.contains(n)) return journalFolder() + u'/' + n;
    return {};
}

// The journals in the state folder as they would read had each volume had another device number when
// they were written: a volume mounted again after a power cut may come back under another one. With
// `otherFileSystem`, the file systems they name by id are others too.
inline void renumberJournals(bool otherFileSystem = false) {
    // Where each kind of record has a device number.
    static const QHash<QByteArray, QList<int>> fields{{"volume", {1}}, {"replace", {3}}, {"aside", {3}},
                                                      {"rename", {4}}, {"placed", {3}},  {"moved", {4, 6}}};
    for (const QString &n : names(journalFolder())) {
        const QString journal = journalFolder() + u'/' + n;
        QList<QByteArray> lines = TestUtil::readFile(journal).split('\n');
        for (QByteArray &line : lines) {
            QList<QByteArray> f = line.split(' ');
            // A part's record with what was made under its name.
            for (const int at : f[0] == "part" && f.size() == 9 ? QList<int>{4} : fields.value(f[0]))
                f[at] = QByteArray::number(f[at].toULongLong() + (quint64(1) << 40));
            if (otherFileSystem && f[0] == "volume")
                f[2] = f[2] == "0123456789abcdef" ? "fedcba9876543210" : "0123456789abcdef";
            line = f.join(' ');
        }
        TestUtil::writeFile(journal, lines.join('\n'));
    }
}

class Dir : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString path(const QString &rel) const { return tmp.path() + u'/' + rel; }
    QString mkdir(const QString &rel) const {
        QDir().mkpath(path(rel));
        return path(rel);
    }
    QString file(const QString &rel, const QByteArray &data) const {
        EXPECT_TRUE(TestUtil::writeFile(path(rel), data));
        return path(rel);
    }
    QTemporaryDir tmp;
};

// A test folder and an empty Trash, with what earlier tests began settled, as a fresh start finds them.
class Started : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        QDir(TrashRoots::homeTrash()).removeRecursively();
        Defaults::remove("trashOrigins");
        FileOps::recoverTransfers(); // what earlier tests left
    }
    TransferOutcome run(const QStringList &paths, const QString &to, bool move,
                        const QHash<QString, ConflictChoice> &res = {}) {
        TransferProgress p;
        return FileOps::runWithProgress(paths, to, move, p, res);
    }
};

// A tmpfs mounted at a chosen folder, as root; unmounted at the end of the scope.
struct MountAt {
    explicit MountAt(const QString &at) : point(at) {
        mounted = TestUtil::isRoot() &&
                  QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                              QStringLiteral("kestrintest"), at}) == 0;
    }
    ~MountAt() {
        if (mounted) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), point});
    }
    MountAt(const MountAt &) = delete;
    MountAt &operator=(const MountAt &) = delete;
    QString point;
    bool mounted = false;
};

} // namespace FileOpsTest
