#pragma once

// A real NTFS volume for the tests: an image file made by mkntfs on a loop device and mounted through
// ntfs-3g in a temporary folder. Needs root, /dev/fuse and ntfs-3g; a test skips without:
//
//     KESTRIN_NTFS_OR_SKIP(ntfs);           // TestUtil::NtfsImage ntfs; ntfs.path() is the mounted folder

#include "common/FatFuse.h"

namespace TestUtil {

class NtfsImage {
public:
    explicit NtfsImage(qint64 bytes = 32 << 20) {
        m_why = fusedetail::fuseUnavailable();
        if (!m_why.isEmpty()) return;
        const QString mkfs = fusedetail::sbinExecutable(QStringLiteral("mkntfs"));
        const QString mount = fusedetail::sbinExecutable(QStringLiteral("ntfs-3g"));
        const QString losetup = fusedetail::sbinExecutable(QStringLiteral("losetup"));
        if (mkfs.isEmpty() || mount.isEmpty() || losetup.isEmpty()) {
            m_why = QStringLiteral("needs ntfs-3g and losetup");
            return;
        }
        const QString image = m_dir.path() + QStringLiteral("/ntfs.img");
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
        // -Q: no zeroing of the whole device, -F: a loop device is no partition.
        if (run(mkfs, {QStringLiteral("-Q"), QStringLiteral("-F"), QStringLiteral("-q"), m_loop}).isNull()) {
            m_why = QStringLiteral("mkntfs failed");
            return;
        }
        const dev_t outside = fusedetail::deviceOf(path());
        // ntfs-3g leaves its daemon behind and returns once mounted.
        m_mounted = !run(mount, {m_loop, path()}).isNull() && fusedetail::deviceOf(path()) != outside;
        if (!m_mounted) m_why = QStringLiteral("ntfs-3g did not mount");
    }
    ~NtfsImage() {
        const QByteArray at = QFile::encodeName(path());
        if (m_mounted && ::umount2(at.constData(), 0) != 0) ::umount2(at.constData(), MNT_DETACH);
        // A device still busy is let go once its last user is.
        if (!m_loop.isEmpty())
            run(fusedetail::sbinExecutable(QStringLiteral("losetup")), {QStringLiteral("-d"), m_loop});
    }
    NtfsImage(const NtfsImage &) = delete;
    NtfsImage &operator=(const NtfsImage &) = delete;

    bool valid() const { return m_mounted; }
    QString skipReason() const { return m_why; }
    QString path() const { return m_dir.path() + QStringLiteral("/ntfs"); }

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

} // namespace TestUtil

#define KESTRIN_NTFS_OR_SKIP(var)                                                                            \
    TestUtil::NtfsImage var;                                                                                 \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()
