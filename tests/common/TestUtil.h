#pragma once

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileItem.h"
#include "core/model/FileLoader.h"
#include "platform/Volumes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/capability.h>
#include <memory>
#include <ostream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace TestUtil {

// The private home every test program runs in (HOME and XDG_* point below it).
QString testHome();

// A menu title as read, without its mnemonic: the marker, or the letter in parentheses after a title with
// no Latin letters (before the key text, if any).
inline QString unmarked(QString text) {
    static const QRegularExpression appended(QStringLiteral(" \\(&.\\)(?=\t|$)"));
    text.remove(appended);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size() && text[i + 1] != u'&') continue;
        if (text[i] == u'&') ++i, out += u'&';
        out += text[i];
    }
    return out;
}

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

// The entry itself, not what a link points to; zeroed when there is nothing.
// Locks (immutable: renamed and deleted by no one, root too) or unlocks a file; false where the volume or
// the account can't.
inline bool setImmutable(const QString &path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool ok =
        fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
        ::ioctl(fd, FS_IOC_SETFLAGS, &(flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL)) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

inline struct stat lstatOf(const QString &path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
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
    item.setPath(path);
    item.name = path.section(u'/', -1);
    item.isDirectory = dir;
    item.size = size;
    item.setTags(tags);
    return item;
}

// No stored settings, neither in memory nor on disk.
inline void freshSettings() {
    Defaults::resetForTests();
    QFile::remove(Defaults::filePath());
    Defaults::resetForTests();
    // The loader keeps the hidden files' switch for the process; with no setting stored it is off.
    FileLoader::setShowHidden(false);
}

// Sets the interface language for the scope of one test.
class LanguageScope {
public:
    explicit LanguageScope(AppLanguage lang) : m_old(Lang::current()) { Lang::setCurrent(lang); }
    ~LanguageScope() { Lang::setCurrent(m_old); }

private:
    AppLanguage m_old;
};

// Root may read and write every file. Within this scope the calling thread alone loses those rights, so that
// "permission denied" can be tried as root in-process; for other users it does nothing. active() is false
// when the rights could not be dropped.
class NoFileRights {
public:
    NoFileRights() {
        if (!isRoot()) return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_old) != 0) return;
        __user_cap_data_struct fewer[2];
        std::memcpy(fewer, m_old, sizeof fewer);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            fewer[cap / 32].effective &= ~(1u << (cap % 32));
        m_dropped = ::syscall(SYS_capset, &header, fewer) == 0;
    }
    ~NoFileRights() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (m_dropped) ::syscall(SYS_capset, &header, m_old);
    }
    NoFileRights(const NoFileRights &) = delete;
    NoFileRights &operator=(const NoFileRights &) = delete;
    bool active() const { return !isRoot() || m_dropped; }

private:
    __user_cap_data_struct m_old[2]{};
    bool m_dropped = false;
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

// Within this scope only the mounts at the given points are seen (none by default), so that a stick's trash
// or a volume of a test running beside this one doesn't show in what this test lists.
class OnlyMounts {
public:
    explicit OnlyMounts(const QStringList &points = {}) {
        QFile real(QStringLiteral("/proc/self/mountinfo"));
        QByteArray kept;
        if (real.open(QIODevice::ReadOnly))
            for (const QByteArray &line : real.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() > 4 && points.contains(Volumes::unescapeMountField(fields[4])))
                    kept += line + '\n';
            }
        m_file = m_dir.path() + QStringLiteral("/mountinfo");
        QFile out(m_file);
        if (out.open(QIODevice::WriteOnly)) out.write(kept);
        Volumes::setMountInfoFile(m_file);
    }
    ~OnlyMounts() { Volumes::setMountInfoFile({}); }
    OnlyMounts(const OnlyMounts &) = delete;
    OnlyMounts &operator=(const OnlyMounts &) = delete;

private:
    QTemporaryDir m_dir;
    QString m_file;
};

// Binary property lists as hostile files hold them. Objects are marker and body bytes; object 0 is the top
// one; references are 4 bytes wide.
inline QByteArray be32(quint32 v) {
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}
inline QByteArray binaryPlist(const QList<QByteArray> &objects) {
    QByteArray out("bplist00");
    QList<quint32> offsets;
    for (const QByteArray &o : objects) {
        offsets << quint32(out.size());
        out += o;
    }
    const quint32 table = quint32(out.size());
    for (quint32 o : offsets)
        out += be32(o);
    out += QByteArray(6, '\0') + "\x04\x04" + QByteArray(4, '\0') + be32(quint32(objects.size())) +
           QByteArray(8, '\0') + QByteArray(4, '\0') + be32(table);
    return out;
}
// An array holding one string of UTF-16 text with a NUL character: "Rot", NUL, "\n6".
inline QByteArray plistWithNulString() {
    const QByteArray utf16("\0R\0o\0t\0\0\0\n\0"
                           "6",
                           12);
    return binaryPlist({QByteArray("\xA1") + be32(1), QByteArray("\x66") + utf16});
}
// Arrays nested `depth` deep around one string.
inline QByteArray deepBinaryPlist(int depth) {
    QList<QByteArray> objects;
    for (int i = 0; i < depth - 1; ++i)
        objects << QByteArray("\xA1") + be32(quint32(i + 1));
    objects << QByteArray("\x51x");
    return binaryPlist(objects);
}
inline QByteArray deepXmlPlist(int depth) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + QByteArray("<array>").repeated(depth - 1) +
           "<string>x</string>" + QByteArray("</array>").repeated(depth - 1) + "</plist>";
}

} // namespace TestUtil
