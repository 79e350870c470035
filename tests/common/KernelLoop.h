#pragma once

// A volume of a kernel file system (ext4, btrfs, XFS) on a loop device, mounted in a temporary folder.
// Needs root, the file system's mkfs and losetup; a test skips without:
//
//     KESTRIN_KERNEL_LOOP_OR_SKIP(vol, "btrfs", 320 << 20);   // vol.path() is the mounted folder

#include "common/FatFuse.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace TestUtil {

class KernelLoop {
public:
    KernelLoop(const QString &type, qint64 bytes, const QStringList &mkfsOptions = {}) {
        if (::geteuid() != 0) {
            m_why = QStringLiteral("needs root to mount");
            return;
        }
        const QString mkfs = fusedetail::sbinExecutable(QStringLiteral("mkfs.") + type),
                      losetup = fusedetail::sbinExecutable(QStringLiteral("losetup"));
        if (mkfs.isEmpty() || losetup.isEmpty()) {
            m_why = QStringLiteral("needs mkfs.%1 and losetup").arg(type);
            return;
        }
        QFile img(m_dir.path() + QStringLiteral("/volume.img"));
        if (!m_dir.isValid() || !QDir().mkpath(path()) || !img.open(QIODevice::WriteOnly) ||
            !img.resize(bytes)) {
            m_why = QStringLiteral("no temporary folder");
            return;
        }
        img.close();
        m_loop = run(losetup, {QStringLiteral("--find"), QStringLiteral("--show"), img.fileName()}).trimmed();
        if (m_loop.isEmpty()) {
            m_why = QStringLiteral("no loop device");
            return;
        }
        if (run(mkfs, mkfsOptions + QStringList{m_loop}).isNull()) {
            m_why = QStringLiteral("mkfs.") + type + QStringLiteral(" failed");
            return;
        }
        m_mounted = ::mount(QFile::encodeName(m_loop).constData(), QFile::encodeName(path()).constData(),
                            type.toUtf8().constData(), 0, nullptr) == 0;
        if (!m_mounted) m_why = type + QStringLiteral(" did not mount");
    }
    ~KernelLoop() {
        const QByteArray at = QFile::encodeName(path());
        if (m_mounted && ::umount2(at.constData(), 0) != 0) ::umount2(at.constData(), MNT_DETACH);
        if (!m_loop.isEmpty())
            run(fusedetail::sbinExecutable(QStringLiteral("losetup")), {QStringLiteral("-d"), m_loop});
    }
    KernelLoop(const KernelLoop &) = delete;
    KernelLoop &operator=(const KernelLoop &) = delete;

    bool valid() const { return m_mounted; }
    QString skipReason() const { return m_why; }
    QString path() const { return m_dir.path() + QStringLiteral("/vol"); }

private:
    static QString run(const QString &program, const QStringList &args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput() + ' ');
    }

    QTemporaryDir m_dir;
    QString m_loop;
    bool m_mounted = false;
    QString m_why;
};

} // namespace TestUtil

#define KESTRIN_KERNEL_LOOP_OR_SKIP(var, type, ...)                                                          \
    TestUtil::KernelLoop var{QStringLiteral(type), __VA_ARGS__};                                             \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()
