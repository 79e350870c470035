#pragma once

#include "common/TestUtil.h"
#include "platform/DirReader.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// A fresh folder per test, with helpers that create entries by raw bytes.
class ModelFixture : public ::testing::Test {
protected:
    // Removes by bytes: QTemporaryDir can't name entries whose names aren't valid UTF-8.
    ~ModelFixture() override { removeTree(QFile::encodeName(tmp.path())); }
    static void removeTree(const QByteArray &path) {
        DirReader::Batch batch;
        if (DirReader::Dir(path, true).readAll(batch)) // read whole before removing anything
            for (const auto &e : batch.entries) {
                const QByteArray child = path + '/' + batch.name(e);
                if (::unlink(child.constData()) != 0 && errno == EISDIR) removeTree(child);
            }
        ::rmdir(path.constData());
    }
    QTemporaryDir tmp{QDir::tempPath() + QStringLiteral("/kestrin-model-XXXXXX")};
    QString dir() const { return tmp.path(); }
    QString at(const QString &rel) const { return tmp.path() + u'/' + rel; }
    QByteArray bytesAt(const QByteArray &rel) const { return QFile::encodeName(tmp.path()) + '/' + rel; }

    void file(const QString &rel, const QByteArray &content = {}) {
        ASSERT_TRUE(TestUtil::writeFile(at(rel), content)) << rel.toStdString();
    }
    void folder(const QString &rel) { ASSERT_TRUE(QDir().mkpath(at(rel))); }
    void link(const QString &target, const QString &rel) {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at(rel)).constData()),
                  0);
    }
    void setMtime(const QString &rel, qint64 secs) {
        struct timespec ts[2] = {{secs, 0}, {secs, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(at(rel)).constData(), ts, AT_SYMLINK_NOFOLLOW), 0);
    }
};

inline QSet<QString> nameSet(const QList<FileItem> &items) {
    QSet<QString> out;
    for (const FileItem &i : items)
        out.insert(i.name);
    return out;
}

// Runs fn in a child that has given up root (as nobody), so permission checks apply; the child's
// result is fn's. Returns nullopt when privileges can't be dropped here.
template <typename Fn> std::optional<bool> asNobody(Fn fn) {
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 2) return std::nullopt;
    return WEXITSTATUS(status) == 0;
}
