#pragma once

// Sticks for the tests: the tests' FAT-like FUSE file system (tests/common/fatfuse) and a real exFAT image
// through exfat-fuse, each mounted in a temporary folder. The FUSE stick needs /dev/fuse (and, for an
// ordinary account, fusermount3); the images need root for their loop device. A test skips without:
//
//     KESTRIN_FAT_OR_SKIP(stick);           // TestUtil::FatFuse stick; stick.path() is the mounted folder
//     stick.pull();                          // every change, write and flush now fails with EIO
//     stick.plugBack();
//     KESTRIN_EXFAT_OR_SKIP(exfat);         // TestUtil::ExfatImage exfat; exfat.path()
//     TestUtil::KernelImage ext4("mkfs.ext4", {"-q", "-N", "16"});   // valid(), skipReason(), path()

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestUtil {

namespace fusedetail {
inline dev_t deviceOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : 0;
}

// Polls until check() holds, for up to ms milliseconds.
template <class F> bool waitFor(F check, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!check()) {
        if (t.elapsed() > ms) return false;
        QThread::msleep(10);
    }
    return true;
}

inline QString fuseUnavailable() {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return QStringLiteral("needs /dev/fuse");
    // An ordinary account mounts and unmounts through the set-user-id helper.
    if (::geteuid() != 0 && QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty())
        return QStringLiteral("needs fusermount3");
    return {};
}

// Ends the FUSE program with the test program, however that ends: the program then unmounts its stick.
inline void endWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

inline QString sbinExecutable(const QString &name) {
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                 QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}
} // namespace fusedetail

class FatFuse {
public:
    // enoentNames: refused names answer ENOENT, as exfat-fuse does, instead of FAT's EINVAL.
    // links: hard links are taken, as on NTFS through ntfs-3g or a share (still no rename flags).
    // newInodeLinks: links are taken, but a link's new name shows a new inode number, as on sshfs.
    // movingFolderSizes: a folder shows another size at each look, as on NTFS through ntfs-3g.
    // shownOwner: every item shows this account as its owner, as a drive mounted with uid= does.
    // takenOnRefusal: a rename refused for its flags finds its free target taken right after.
    // tenMsTimes: modification times in 10 ms steps, as exFAT keeps them, instead of FAT's 2 s.
    explicit FatFuse(bool enoentNames = false, bool links = false, bool newInodeLinks = false,
                     bool movingFolderSizes = false, int shownOwner = -1, bool takenOnRefusal = false,
                     bool tenMsTimes = false) {
#ifndef KESTRIN_FATFUSE_PROGRAM
        m_why = QStringLiteral("the tests' FUSE file system was not built (libfuse3-dev missing)");
        (void)enoentNames;
        (void)links;
        (void)newInodeLinks;
        (void)movingFolderSizes;
        (void)shownOwner;
        (void)takenOnRefusal;
        (void)tenMsTimes;
#else
        m_why = fusedetail::fuseUnavailable();
        if (!m_why.isEmpty()) return;
        if (!m_dir.isValid() || !QDir().mkpath(backing()) || !QDir().mkpath(path())) {
            m_why = QStringLiteral("no temporary folder");
            return;
        }
        const dev_t outside = fusedetail::deviceOf(path());
        QStringList args;
        if (enoentNames) args << QStringLiteral("--enoent-names");
        if (links) args << QStringLiteral("--links");
        if (newInodeLinks) args << QStringLiteral("--new-inode-links");
        if (movingFolderSizes) args << QStringLiteral("--moving-folder-sizes");
        if (takenOnRefusal) args << QStringLiteral("--taken-on-refusal");
        if (tenMsTimes) args << QStringLiteral("--ten-ms-times");
        // Other accounts (a test's child that drops root) may look in only where root mounted it: an ordinary
        // account may not allow them.
        args << QStringLiteral("--state") << statePath() << backing() << path() << QStringLiteral("-f")
             << QStringLiteral("-o")
             << (::geteuid() == 0 ? QStringLiteral("default_permissions,allow_other,fsname=kestrinstick")
                                  : QStringLiteral("default_permissions,fsname=kestrinstick"));
        if (shownOwner >= 0) args << QStringLiteral("-o") << QStringLiteral("uid=%1").arg(shownOwner);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.setChildProcessModifier(fusedetail::endWithParent);
        m_proc.start(QStringLiteral(KESTRIN_FATFUSE_PROGRAM), args);
        const bool up =
            m_proc.waitForStarted(5000) && fusedetail::waitFor([&] {
                return m_proc.state() != QProcess::Running || fusedetail::deviceOf(path()) != outside;
            });
        m_mounted = up && m_proc.state() == QProcess::Running;
        if (!m_mounted) m_why = QStringLiteral("the FUSE file system did not mount");
#endif
    }
    ~FatFuse() {
        if (m_mounted && ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH) != 0)
            QProcess::execute(QStringLiteral("fusermount3"),
                              {QStringLiteral("-u"), QStringLiteral("-z"), path()});
        if (m_proc.state() != QProcess::NotRunning && !m_proc.waitForFinished(5000)) {
            m_proc.kill();
            m_proc.waitForFinished(2000);
        }
    }
    FatFuse(const FatFuse &) = delete;
    FatFuse &operator=(const FatFuse &) = delete;

    bool valid() const {
        return m_mounted;
    }
    QString skipReason() const {
        return m_why;
    }
    // The mounted stick.
    QString path() const {
        return m_dir.path() + QStringLiteral("/stick");
    }
    // The folder behind it: what the stick holds, seen without the stick's rules.
    QString backing() const {
        return m_dir.path() + QStringLiteral("/backing");
    }

    // The stick is pulled: every change, write and flush fails with EIO until plugBack(); reads go on.
    bool pull() {
        return signal(SIGUSR1, '1');
    }
    bool plugBack() {
        return signal(SIGUSR2, '0');
    }

private:
    QString statePath() const {
        return m_dir.path() + QStringLiteral("/state");
    }
    bool signal(int sig, char state) {
        if (!m_mounted || ::kill(static_cast<pid_t>(m_proc.processId()), sig) != 0) return false;
        return fusedetail::waitFor([&] {
            QFile f(statePath());
            return f.open(QIODevice::ReadOnly) && f.readAll() == QByteArray(1, state);
        });
    }

    QTemporaryDir m_dir;
    QProcess m_proc;
    bool m_mounted = false;
    QString m_why;
};

// A real volume: an image file made by `mkfs` on a loop device (the FUSE drivers want a block device as
// root) and mounted through a FUSE driver that leaves its daemon behind and returns once mounted.
class LoopImage {
public:
    LoopImage(const QString &mkfs, const QStringList &mkfsOptions, const QString &mount, qint64 bytes) {
        // A loop device needs root; the kernel's own drivers need no FUSE.
        m_why = ::geteuid() != 0                   ? QStringLiteral("needs root to mount")
                : mount == QStringLiteral("mount") ? QString()
                                                   : fusedetail::fuseUnavailable();
        if (!m_why.isEmpty()) return;
        const QString mkfsPath = fusedetail::sbinExecutable(mkfs),
                      mountPath = fusedetail::sbinExecutable(mount);
        const QString losetup = fusedetail::sbinExecutable(QStringLiteral("losetup"));
        if (mkfsPath.isEmpty() || mountPath.isEmpty() || losetup.isEmpty()) {
            m_why = QStringLiteral("needs %1, %2 and losetup").arg(mkfs, mount);
            return;
        }
        const QString image = m_dir.path() + QStringLiteral("/volume.img");
        QFile img(image);
        if (!m_dir.isValid() || !QDir().mkpath(path()) || !img.open(QIODevice::WriteOnly) ||
            !img.resize(bytes)) {
            m_why = QStringLiteral("no temporary folder");
            return;
        }
        img.close();
        m_loop = run(losetup, {QStringLiteral("--find"), QStringLiteral("--show"), image}).trimmed();
        if (m_loop.isEmpty()) {
            m_why = QStringLiteral("no loop device");
            return;
        }
        if (run(mkfsPath, mkfsOptions + QStringList{m_loop}).isNull()) {
            m_why = mkfs + QStringLiteral(" failed");
            return;
        }
        const dev_t outside = fusedetail::deviceOf(path());
        m_mounted = !run(mountPath, {m_loop, path()}).isNull() && fusedetail::deviceOf(path()) != outside;
        if (!m_mounted) m_why = mount + QStringLiteral(" did not mount");
    }
    ~LoopImage() {
        const QByteArray at = QFile::encodeName(path());
        if (m_mounted && ::umount2(at.constData(), 0) != 0) ::umount2(at.constData(), MNT_DETACH);
        // A device still busy is let go once its last user is.
        if (!m_loop.isEmpty())
            run(fusedetail::sbinExecutable(QStringLiteral("losetup")), {QStringLiteral("-d"), m_loop});
    }
    LoopImage(const LoopImage &) = delete;
    LoopImage &operator=(const LoopImage &) = delete;

    bool valid() const { return m_mounted; }
    QString skipReason() const { return m_why; }
    QString path() const { return m_dir.path() + QStringLiteral("/stick"); }

private:
    // The program's output, or a null string when it failed.
    static QString run(const QString &program, const QStringList &args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput() + ' ');
    }

    QTemporaryDir m_dir;
    QString m_loop;
    bool m_mounted = false;
    QString m_why;
};

// A real exFAT volume through exfat-fuse.
class ExfatImage : public LoopImage {
public:
    explicit ExfatImage(qint64 bytes = 32 << 20)
        : LoopImage(QStringLiteral("mkfs.exfat"), {}, QStringLiteral("mount.exfat-fuse"), bytes) {}
};

// A volume of the kernel's own driver (ext4, btrfs) on a loop device, made with `mkfs` and its options.
class KernelImage : public LoopImage {
public:
    KernelImage(const QString &mkfs, const QStringList &options, qint64 bytes = 32 << 20)
        : LoopImage(mkfs, options, QStringLiteral("mount"), bytes) {}
};

} // namespace TestUtil

#define KESTRIN_FAT_OR_SKIP(var, ...)                                                                        \
    TestUtil::FatFuse var{__VA_ARGS__};                                                                      \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()

#define KESTRIN_IMAGE_OR_SKIP(var, ...)                                                                      \
    TestUtil::KernelImage var{__VA_ARGS__};                                                                  \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()

#define KESTRIN_EXFAT_OR_SKIP(var)                                                                           \
    TestUtil::ExfatImage var;                                                                                \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()
