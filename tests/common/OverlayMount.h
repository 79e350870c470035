#pragma once

// A real overlayfs volume as containers set it up: the lower layer on the disk, the upper one beside it,
// redirect_dir off. A folder of the lower layer then answers EXDEV to a rename on the same drive. Needs
// root; a test skips without:
//
//     KESTRIN_OVERLAY_OR_SKIP(ov);          // TestUtil::OverlayMount ov
//     TestUtil::writeFile(ov.lower() + "/Trip/a.txt", "a");   // the lower layer, before mounting
//     ASSERT_TRUE(ov.mount());               // ov.path() is the merged folder

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace TestUtil {

class OverlayMount {
public:
    OverlayMount() {
        if (::geteuid() != 0) {
            m_why = QStringLiteral("needs root to mount");
            return;
        }
        QFile fs(QStringLiteral("/proc/filesystems"));
        if (!fs.open(QIODevice::ReadOnly) || !fs.readAll().contains("\toverlay\n")) {
            m_why = QStringLiteral("the kernel has no overlayfs");
            return;
        }
        if (!m_dir.isValid()) {
            m_why = QStringLiteral("no temporary folder");
            return;
        }
        for (const char *d : {"lower", "upper", "work", "merged"})
            QDir().mkpath(m_dir.path() + u'/' + QLatin1String(d));
    }
    ~OverlayMount() {
        if (m_mounted) ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    }
    OverlayMount(const OverlayMount &) = delete;
    OverlayMount &operator=(const OverlayMount &) = delete;

    bool available() const { return m_why.isEmpty(); }
    QString skipReason() const { return m_why; }
    // What the lower layer holds is made here before mount(); it is not to change afterwards.
    QString lower() const { return m_dir.path() + QStringLiteral("/lower"); }
    QString upper() const { return m_dir.path() + QStringLiteral("/upper"); }
    QString path() const { return m_dir.path() + QStringLiteral("/merged"); }

    bool mount() {
        if (!available() || m_mounted) return m_mounted;
        const QByteArray options = "lowerdir=" + QFile::encodeName(lower()) +
                                   ",upperdir=" + QFile::encodeName(upper()) +
                                   ",workdir=" + QFile::encodeName(m_dir.path() + QStringLiteral("/work")) +
                                   ",redirect_dir=off,index=off";
        m_mounted =
            ::mount("overlay", QFile::encodeName(path()).constData(), "overlay", 0, options.constData()) == 0;
        return m_mounted;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

} // namespace TestUtil

#define KESTRIN_OVERLAY_OR_SKIP(var)                                                                         \
    TestUtil::OverlayMount var;                                                                              \
    if (!var.available()) GTEST_SKIP() << var.skipReason().toStdString()
