// Shared main of every test program: a private home and XDG folders, so no test touches the real ones.
#include "common/TestChild.h"
#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "core/fileops/Archives.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <ftw.h>
#include <sched.h>
#include <unistd.h>
#include <sys/mount.h>
#include <sys/stat.h>

#ifdef KESTRIN_TEST_UI
#include "core/model/FactsHelper.h"

#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

namespace {
QString g_home;

// Removes a tree by the bytes of its names: a name that is no UTF-8, which QDir's removal cannot name,
// goes too. Never into another file system mounted below.
void removeByBytes(const QByteArray &path) {
    ::nftw(
        path.constData(),
        [](const char *p, const struct stat *, int type, FTW *) {
            type == FTW_DP ? ::rmdir(p) : ::unlink(p);
            return 0;
        },
        64, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}
} // namespace

QString TestUtil::testHome() {
    return g_home;
}

int main(int argc, char **argv) {
    // A child of a test lives in its parent's home, folders and mounts.
    const bool child = TestChild::asked(argc, argv);
    // As root (CI), the volumes a test mounts stay its own: a test program running beside it would otherwise
    // see their trash folders in its Trash. Must come while the process has one thread.
    if (!child && geteuid() == 0 && unshare(CLONE_NEWNS) == 0)
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    // Tests fork to kill a child at a chosen step. GLib's slice allocator keeps locks that a thread of the
    // parent may hold at the fork, so a child starting threads of its own could wait forever; plain malloc
    // is made safe across fork by the C library.
    setenv("G_SLICE", "always-malloc", 1);
    std::optional<QTemporaryDir> root;
    if (child) {
        g_home = qEnvironmentVariable("HOME");
    } else {
        root.emplace(QDir::tempPath() + QStringLiteral("/kestrin-test-XXXXXX"));
        if (!root->isValid()) return 2;
        g_home = root->path() + QStringLiteral("/home");
        const QByteArray home = g_home.toUtf8();
        QDir().mkpath(g_home);
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        qputenv("XDG_CACHE_HOME", home + "/.cache");
        qputenv("XDG_STATE_HOME", home + "/.local/state");
        qputenv("XDG_RUNTIME_DIR", root->path().toUtf8() + "/runtime");
        QDir().mkpath(root->path() + QStringLiteral("/runtime"));
        QFile::setPermissions(root->path() + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_DIRS", root->path().toUtf8() + "/etc-xdg");
        // Every temporary folder of the tests (QTemporaryDir's, and those of children that run this
        // program again) inside this one, which goes by its bytes at the end. Open to other accounts as
        // /tmp is, for the tests whose children drop their privileges.
        const QByteArray tmp = QFile::encodeName(root->path()) + "/tmp";
        ::chmod(QFile::encodeName(root->path()).constData(), 0711);
        ::mkdir(tmp.constData(), 0700);
        ::chmod(tmp.constData(), 01777);
        qputenv("TMPDIR", tmp);
    }
    // Fixed language environment, so the system-language choice is the same on every machine.
    qputenv("LANGUAGE", "");
    qputenv("LANG", "C.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    // The tests' Trash is their own: a volume the machine has mounted elsewhere (a stick, another job's)
    // with items in its trash folder changes nothing here. Test volumes are mounted in temporary folders.
    TrashRoots::confineForTests(QFileInfo(QDir::tempPath()).canonicalFilePath());
    QStandardPaths::setTestModeEnabled(true);
    TestApp app(argc, argv);
    TestApp::setApplicationName(QStringLiteral("kestrin-test"));
#ifdef KESTRIN_FACTS_PROGRAM
    FactsHelper::setProgram(QStringLiteral(KESTRIN_FACTS_PROGRAM));
#endif
    // A copy of the tests run by another account finds a copy of the program beside it.
    FileActions::setUnpackTool(::access(KESTRIN_UNPACK_PROGRAM, X_OK) == 0
                                   ? QStringLiteral(KESTRIN_UNPACK_PROGRAM)
                                   : QCoreApplication::applicationDirPath() +
                                         QStringLiteral("/kestrin-unpack"));
    if (child) return TestChild::runAsked(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const pid_t self = ::getpid();
    const int result = RUN_ALL_TESTS();
    // The settings writer ends first: a write still on its way would make its folder again afterwards.
    Defaults::finish(2000);
    // The whole folder goes with the program, the folders of children that ran in it too.
    if (::getpid() == self) removeByBytes(QFile::encodeName(root->path()));
    return result;
}
