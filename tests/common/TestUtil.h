#pragma once

#include "core/app/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileItem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace TestUtil {

// The private home every test program runs in (HOME and XDG_* point below it).
QString testHome();

inline bool isRoot() {
    return geteuid() == 0;
}

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// True for anything at path, a dangling link included.
inline bool exists(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Every entry of a folder, hidden ones included, sorted by name.
inline QStringList names(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A file record as a listing would give it, without the file system.
inline FileItem fileItem(const QString &path, bool dir = false, qint64 size = 0,
                         const QStringList &tags = {}) {
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.isDirectory = dir;
    item.size = size;
    item.tags = tags;
    return item;
}

// No stored settings, neither in memory nor on disk.
inline void freshSettings() {
    Defaults::resetForTests();
    QFile::remove(Defaults::filePath());
    Defaults::resetForTests();
}

// Sets the interface language for the scope of one test.
class LanguageScope {
public:
    explicit LanguageScope(AppLanguage lang) : m_old(Lang::current()) { Lang::setCurrent(lang); }
    ~LanguageScope() { Lang::setCurrent(m_old); }

private:
    AppLanguage m_old;
};

// A small tmpfs mounted on a temporary folder, for tests that need a second volume. Only as root; valid()
// is false elsewhere and such tests skip.
class TmpfsMount {
public:
    // type: "ramfs" for a volume that keeps no extended attributes (it ignores the size).
    explicit TmpfsMount(const QString &size = QStringLiteral("16m"),
                        const QString &type = QStringLiteral("tmpfs")) {
        if (!isRoot() || !m_dir.isValid()) return;
        const int rc =
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), type, QStringLiteral("-o"),
                               QStringLiteral("size=") + size, QStringLiteral("kestrintest"), m_dir.path()});
        m_mounted = rc == 0;
    }
    ~TmpfsMount() {
        if (m_mounted) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    bool valid() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace TestUtil
