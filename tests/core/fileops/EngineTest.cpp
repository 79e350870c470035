#include "Fixture.h"

#include "common/FatFuse.h"
#include "common/TestChild.h"

#include "core/base/Defaults.h"
#include "core/fileops/DuplicateAlias.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/UndoJournal.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/CopyJob.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QProcess>

#include <atomic>
#include <functional>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using TestUtil::LanguageScope;
using Snapshot = TransferProgress::Snapshot;

namespace {

// Acts on the running job from another thread once `when` holds for its progress.
class Watch {
public:
    Watch(TransferProgress &p, std::function<bool(const Snapshot &)> when, std::function<void()> act = {})
        : m_thread([&p, when, act, this] {
              while (!m_stop) {
                  if (when(p.snapshot())) {
                      if (act)
                          act();
                      else
                          p.cancel();
                      m_fired = true;
                      return;
                  }
                  std::this_thread::yield();
              }
          }) {}
    ~Watch() { finish(); }
    bool finish() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return m_fired;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

using FileSteps::Step;

// Acts at the engine's steps for the scope of a test.
class HookScope {
public:
    explicit HookScope(FileSteps::StepHook hook) { FileSteps::setStepHook(std::move(hook)); }
    ~HookScope() { FileSteps::setStepHook({}); }
};

using TestUtil::lstatOf;

mode_t mode(const QString &p) {
    return lstatOf(p).st_mode & 07777;
}

QByteArray xattr(const QString &p, const char *name) {
    char buf[1024];
    const ssize_t n = ::getxattr(p.toUtf8().constData(), name, buf, sizeof buf);
    return n < 0 ? QByteArray() : QByteArray(buf, n);
}

QStringList trashed() {
    return names(TrashRoots::homeTrash() + "/files");
}

void emptyHomeTrash() {
    QDir(TrashRoots::homeTrash()).removeRecursively();
}

} // namespace

class Engine : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        emptyHomeTrash();
        Defaults::remove("trashOrigins");
    }
    TransferOutcome run(const QStringList &paths, const QString &to, bool move,
                        const QHash<QString, ConflictChoice> &res = {}) {
        TransferProgress p;
        return FileOps::runWithProgress(paths, to, move, p, res);
    }
};

TEST_F(Engine, EmptyBatchAndPlainCopiesAndMoves) {
    TransferProgress p;
    EXPECT_EQ(FileOps::runWithProgress({}, tmp.path(), false, p), TransferOutcome{});
    EXPECT_EQ(p.snapshot().count, 0);

    LanguageScope de(AppLanguage::de);
    const QString a = file("src/a.txt", pattern(5000));
    const QString f = mkdir("src/folder");
    file("src/folder/inner", pattern(10));
    const QString dst = mkdir("dst");
    TransferOutcome o = run({a, f}, dst, false);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(o.created, (QStringList{dst + "/a.txt", dst + "/folder"}));
    EXPECT_EQ(snapshot(f), snapshot(dst + "/folder"));

    o = run({a}, dst, false); // no answer: a free name
    EXPECT_EQ(o.created, QStringList{dst + "/a Kopie.txt"});

    // Moving into the folder the item lies in does nothing.
    o = run({a}, path("src"), true);
    EXPECT_EQ(o.skipped, 1);
    EXPECT_TRUE(exists(a));

    TransferProgress mp;
    o = FileOps::runWithProgress({a}, mkdir("moved"), true, mp);
    EXPECT_EQ(o.pairs, (QList<TransferPair>{{a, path("moved/a.txt")}}));
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(mp.snapshot().total, 0); // a rename is not measured
}

// A copy or move is done only once its destination's volume is on the drive: one flush for the whole job,
// with the progress up meanwhile, and a flush that fails is said.
TEST_F(Engine, AJobEndsWithOneFlushOfItsVolumeAndSaysWhenItFails) {
    LanguageScope de(AppLanguage::de);
    const QStringList items{file("src/a", "a"), file("src/b", pattern(70000)), mkdir("src/c")};
    file("src/c/d", "d");
    struct Healed {
        ~Healed() { FileSteps::setFolderSyncErrorForTests({}, 0); }
    } healed;
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        const QString dst = mkdir(move ? "moved" : "copied");
        TransferProgress p;
        QStringList flushed, shown;
        HookScope hook([&](Step s, const QString &at) {
            if (s != Step::volumeFlush) return;
            flushed << at;
            shown << p.snapshot().name;
        });
        // Writes go through; the flush fails, as on a stick that fails while it is written back.
        FileSteps::setFolderSyncErrorForTests(dst, EIO);
        const TransferOutcome o = FileOps::runWithProgress(items, dst, move, p);
        EXPECT_EQ(o.done, 3);
        EXPECT_EQ(flushed, QStringList{dst});
        EXPECT_EQ(shown, QStringList{"Wird auf das Laufwerk geschrieben …"});
        EXPECT_EQ(o.errors, QStringList{QString("Was nach „%1“ übertragen wurde, ist nicht sicher auf dem "
                                                "Laufwerk gespeichert (%2). Es kann dort unvollständig sein.")
                                            .arg(dst, Posix::errorText(EIO))});
    }
    QStringList flushed;
    HookScope hook([&](Step s, const QString &at) {
        if (s == Step::volumeFlush) flushed << at;
    });
    // Duplicates likewise.
    TransferProgress p;
    FileSteps::setFolderSyncErrorForTests(path("copied"), EIO);
    const FileActions::DuplicateResult d =
        FileActions::duplicateItems({{path("copied/a"), {}, {}}, {path("copied/b"), {}, {}}}, p);
    EXPECT_EQ(d.created.size(), 2);
    EXPECT_EQ(flushed, QStringList{path("copied")});
    EXPECT_EQ(d.errors.size(), 1);
    // Nothing written, nothing flushed.
    flushed.clear();
    EXPECT_EQ(run({path("src/gone")}, path("copied"), false).done, 0);
    EXPECT_TRUE(flushed.isEmpty());
}

TEST_F(Engine, NothingGoesIntoItselfNotEvenThroughALink) {
    LanguageScope de(AppLanguage::de);
    const QString src = mkdir("src/sub");
    file("src/f", "x");
    ASSERT_EQ(::symlink(path("src").toUtf8().constData(), path("link").toUtf8().constData()), 0);
    const QString other = file("other.txt", "o");

    for (const bool move : {false, true}) {
        TransferOutcome o = run({path("src"), other}, path("src/sub"), move);
        EXPECT_EQ(o.errors, QStringList{"„src“ kann nicht in sich selbst abgelegt werden."});
        EXPECT_EQ(o.done, 1);
        // The same folder reached through a link.
        o = run({path("src")}, path("link/sub"), move);
        EXPECT_EQ(o.errors, QStringList{"„src“ kann nicht in sich selbst abgelegt werden."});
        if (move) break;
        ASSERT_TRUE(QFile::remove(path("src/sub/other.txt")));
    }
    EXPECT_EQ(names(src), QStringList{"other.txt"});
    // A sibling whose name extends the folder's name is another place.
    const QString sibling = mkdir("src2");
    EXPECT_EQ(run({path("src")}, sibling, false).done, 1);
    // Replace is not even looked at for an item that would go into itself.
    file("src/sub/src", "keep");
    EXPECT_EQ(run({path("src")}, src, false, {{path("src"), ConflictChoice::replace}}).done, 0);
    EXPECT_TRUE(trashed().isEmpty());
}

TEST_F(Engine, ChangesDuringACopyAndEndlessDepthAreReported) {
    LanguageScope de(AppLanguage::de);
    const QString dst = mkdir("dst");
    // A file written to while it is copied: the copy stays, but it is not passed off as sound.
    const QString growing = file("src/growing", pattern(3 << 20));
    bool grown = false;
    HookScope writer([&](Step step, const QString &p) {
        if (step != Step::chunkCopied || p != growing || grown) return;
        QFile f(growing);
        grown = f.open(QIODevice::Append) && f.write("more") == 4;
    });
    TransferOutcome o = run({path("src")}, dst, false);
    EXPECT_TRUE(grown);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.errors, QStringList{"„growing“ wurde während des Kopierens geändert. Die Kopie ist womöglich "
                                    "unvollständig. (in „src“)"});
    FileSteps::setStepHook({});

    // Pipes, sockets and devices inside a copied folder stay behind, said by count and by name; those
    // beyond the named are more of them, not "items".
    file("specials/f", "x");
    for (const auto &[name, type] : {std::pair{"pipe", S_IFIFO}, std::pair{"sock", S_IFSOCK},
                                     std::pair{"dev", S_IFCHR}, std::pair{"pipe2", S_IFIFO}})
        ::mknod(path(QString("specials/") + name).toUtf8().constData(), type | 0600, ::makedev(1, 3));
    const qsizetype specials = names(path("specials")).size() - 1; // no device for an ordinary user
    o = run({path("specials")}, mkdir("out"), false);
    EXPECT_EQ(names(path("out/specials")), QStringList{"f"});
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_EQ(o.errors[0].remove(QRegularExpression("„(pipe2?|sock|dev)“")),
              QString("Pipes, Sockets und Geräte lassen sich nicht kopieren. %1 solche Objekte wurden "
                      "übergangen: , , %2.")
                  .arg(specials)
                  .arg(specials == 4 ? " und 1 weiteres" : ""));

    // Nesting beyond the bound is refused with a sentence, before it exhausts descriptors.
    int fd = ::open(mkdir("deep").toUtf8().constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < FileSteps::maxDepth + 5; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0700), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    o = run({path("deep")}, dst, false);
    EXPECT_EQ(o.errors,
              QStringList{QString("„deep“: Die Ordner sind zu tief verschachtelt (mehr als %1 Ebenen).")
                              .arg(FileSteps::maxDepth)});
    EXPECT_EQ(names(dst), QStringList{"src"});
}

TEST_F(Engine, ReplaceTrashesTheOldItemOnlyAfterTheCopyIsComplete) {
    const QString a = file("src/x", "new");
    const QString dst = mkdir("dst");
    file("dst/x", "old");
    TransferOutcome o = run({a}, dst, false, {{a, ConflictChoice::replace}});
    EXPECT_EQ(o.created, QStringList{dst + "/x"});
    EXPECT_EQ(TestUtil::readFile(dst + "/x"), "new");
    ASSERT_EQ(trashed().size(), 1);
    const QString inTrash = TrashRoots::homeTrash() + "/files/" + trashed().first();
    EXPECT_EQ(TestUtil::readFile(inTrash), "old");
    EXPECT_EQ(TrashMemory::origin(inTrash), dst + "/x");
    EXPECT_EQ(o.replaced, (QList<FileOps::TrashedPair>{{dst + "/x", inTrash}}));
    EXPECT_EQ(names(dst), QStringList{"x"}); // no hidden part left

    // The old item went meanwhile: the copy takes the name, nothing is trashed.
    ASSERT_TRUE(QFile::remove(dst + "/x"));
    o = run({a}, dst, true, {{a, ConflictChoice::replace}});
    EXPECT_EQ(o.done, 1);
    EXPECT_TRUE(o.replaced.isEmpty());
    EXPECT_EQ(trashed().size(), 1);
}

// The Trash's folder is not flushed: the replace says so, and the old item stays on record for the start.
TEST_F(Engine, AReplaceWhoseWayToTheTrashIsNotFlushedSaysSo) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString a = file("src/x", "new"), dst = mkdir("dst");
    file("dst/x", "old");
    const QString files = TrashRoots::homeTrash() + "/files";
    QDir().mkpath(files);
    FileSteps::setFolderSyncErrorForTests(files, EIO);
    const TransferOutcome o = run({a}, dst, false, {{a, ConflictChoice::replace}});
    FileSteps::setFolderSyncErrorForTests({}, 0);
    EXPECT_EQ(o.errors, QStringList{FileSteps::Journal::notFlushedText(files, EIO)});
    EXPECT_EQ(TestUtil::readFile(dst + "/x"), "new");
}

TEST_F(Engine, ReplaceCancelledOrFailingLeavesTheOldItemInPlace) {
    const QString big = file("src/x", pattern(128 << 20));
    const QString dst = mkdir("dst");
    file("dst/x", "old");
    TransferProgress p;
    TransferOutcome o;
    {
        // Cancelled at the first chunk: a watching thread may come too late on a fast disk.
        HookScope cancel([&](Step s, const QString &) {
            if (s == Step::chunkCopied) p.cancel();
        });
        o = FileOps::runWithProgress({big}, dst, false, p, {{big, ConflictChoice::replace}});
    }
    EXPECT_TRUE(o.cancelled);
    EXPECT_TRUE(o.replaced.isEmpty());
    EXPECT_EQ(TestUtil::readFile(dst + "/x"), "old");
    EXPECT_EQ(names(dst), QStringList{"x"});
    EXPECT_TRUE(trashed().isEmpty());
    EXPECT_EQ(QFileInfo(big).size(), 128 << 20);

    if (!TestUtil::isRoot()) {
        // A file inside the source that cannot be read fails the copy.
        file("folder/ok", "1");
        const QString locked = file("folder/locked", "2");
        ASSERT_EQ(::chmod(locked.toUtf8().constData(), 0), 0);
        mkdir("dst/folder");
        file("dst/folder/old", "old");
        o = run({path("folder")}, dst, false, {{path("folder"), ConflictChoice::replace}});
        EXPECT_EQ(o.errors.size(), 1);
        EXPECT_EQ(names(dst + "/folder"), QStringList{"old"});
        EXPECT_TRUE(trashed().isEmpty());
    }
}

TEST_F(Engine, ReplaceNeverTrashesTheSourceOrWhatTheBatchMade) {
    LanguageScope de(AppLanguage::de);
    const QString a = file("a/x", "from a");
    const QString b = file("b/x", "from b");
    const QString dst = mkdir("dst");
    file("dst/x", "old");
    const QHash<QString, ConflictChoice> both{{a, ConflictChoice::replace}, {b, ConflictChoice::replace}};
    TransferOutcome o = run({a, b}, dst, false, both);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(TestUtil::readFile(dst + "/x"), "from a");
    EXPECT_EQ(TestUtil::readFile(dst + "/x Kopie"), "from b");
    EXPECT_EQ(trashed().size(), 1); // only the old one

    // The destination reaches the source's own folder through a link.
    ASSERT_EQ(::symlink(path("a").toUtf8().constData(), path("toA").toUtf8().constData()), 0);
    o = run({a}, path("toA"), false, {{a, ConflictChoice::replace}});
    EXPECT_EQ(o.created, QStringList{path("toA/x Kopie")});
    EXPECT_EQ(TestUtil::readFile(a), "from a");
    o = run({a}, path("toA"), true, {{a, ConflictChoice::replace}});
    EXPECT_EQ(o.skipped, 1);
    EXPECT_EQ(TestUtil::readFile(a), "from a");
    EXPECT_EQ(trashed().size(), 1);

    // The old item is what the incoming link leads to, or the incoming file under another name: refused
    // as the same file, nothing trashed.
    const QString d = mkdir("d");
    file("d/f", "kept");
    file("d/sub/in", "kept");
    for (const char *name : {"f", "sub"})
        ASSERT_EQ(::symlink(QFile::encodeName(d + "/" + name), QFile::encodeName(mkdir("lnk") + "/" + name)),
                  0);
    ASSERT_EQ(::link(QFile::encodeName(d + "/f"), QFile::encodeName(mkdir("hard") + "/f")), 0);
    const auto before = snapshot(tmp.path());
    for (const QString item : {"lnk/f", "lnk/sub", "hard/f"})
        for (const bool move : {false, true}) {
            o = run({path(item)}, d, move, {{path(item), ConflictChoice::replace}});
            const QString same = item == "lnk/sub" ? "sind derselbe Ordner" : "sind dieselbe Datei";
            EXPECT_EQ(o.errors,
                      QStringList{QString("„%1“ und „%2“ %3. Nichts wurde ersetzt.")
                                      .arg(path(item), d + "/" + Posix::lastComponent(item), same)});
            EXPECT_EQ(snapshot(tmp.path()), before);
        }
}

// An ordinary user's copies of read-only items, a file and a tree of read-only folders, and their moves to
// another volume keep no attribute of the program: its marker goes before the mode that forbids removing it.
// A moved folder whose read-only subfolder keeps its file says what is left. In a set-group-id folder copies
// keep their group where the account may set it (root, a member); elsewhere that group gets no more rights.
TEST_F(Engine, ReadOnlyItemsKeepNoMarkOfOursForAnOrdinaryUser) {
    LanguageScope de(AppLanguage::de);
    constexpr uid_t user = 65534;
    const bool root = TestUtil::isRoot();
    gid_t shared = 4242; // as an ordinary account, its other group where it has one
    if (!root && ::getgroups(1, &shared) != 1) shared = ::getegid();
    TestUtil::TmpfsMount vol("16m"); // another volume, where one can be mounted
    // A moved tree goes only where its folders let its entries go: an empty one.
    const QStringList items{file("copy/ro", "r"), path("copy/tree"), file("move/ro", "r"), mkdir("move/tree"),
                            file("move/partly/a", "a").chopped(2)};
    const QStringList readOnly = items.mid(0, 4) << file("copy/tree/sub/f", "f") << path("copy/tree/sub")
                                                 << file("move/partly/ro/f", "f").chopped(2);
    const QString dst = mkdir("dst"), state = mkdir("state");
    QDirIterator all(tmp.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (root && all.hasNext())
        ASSERT_EQ(::lchown(QFile::encodeName(all.next()), user, user), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()), 0755), 0);
    for (const QString &p : readOnly)
        ASSERT_EQ(::chmod(QFile::encodeName(p), QFileInfo(p).isDir() ? 0555 : 0444), 0);
    // Of a group the user is not in (one with an ACL whose owning group may write), and root's.
    const QStringList alien{file("alien", "a"), file("alienAcl", "a")}, r640{file("r640", "r")};
    ASSERT_TRUE(
        ::chown(QFile::encodeName(dst), -1, shared) == 0 && ::chmod(QFile::encodeName(dst), 02777) == 0 &&
        ::chmod(QFile::encodeName(items[1]), 02555) == 0 && ::chmod(QFile::encodeName(r640[0]), 0640) == 0 &&
        (!root ||
         (QProcess::execute("chown", {QString::number(user) + ":4343", alien[0], alien[1]}) == 0 &&
          QProcess::execute("setfacl", {"-m", "u::rw,g::rw,o::-,u:1234:r", alien[0], alien[1]}) == 0 &&
          QProcess::execute("setfacl", {"-b", alien[0]}) == 0 && run(r640, dst, false).done == 1)));
    const auto work = [&] {
        if (root && (::setgroups(1, &shared) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) ::_exit(2);
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
        const TransferOutcome copied = run(items.mid(0, 2) + (root ? alien : QStringList()), dst, false);
        const TransferOutcome moved = vol.valid() ? run(items.mid(2), vol.path(), true) : TransferOutcome{};
        return QByteArray::number(copied.done + moved.done) +
               (copied.errors + moved.errors).join('|').toUtf8();
    };
    EXPECT_EQ(root ? TestChild::outputOf(work) : work(),
              vol.valid()
                  ? "6„partly“ wurde kopiert, aber das Original ließ sich nur teilweise löschen. Am alten "
                    "Ort ist davon noch übrig: „partly/ro/f“. Die Kopie ist vollständig und bleibt "
                    "erhalten. „partly“: Keine Berechtigung. Prüfe die Zugriffsrechte. Geschützte Orte "
                    "kann nur ein Administrator ändern."
              : root ? "4"
                     : "2");
    QStringList made, marked, into{dst};
    if (vol.valid()) into << vol.path();
    for (const QString &folder : into)
        for (QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();)
            made << it.next();
    for (const QString &p : made)
        if (::lgetxattr(QFile::encodeName(p), "user.kestrin.part", nullptr, 0) >= 0) marked << p;
    EXPECT_EQ(made.size(), 4 + (root ? 3 : 0) + (vol.valid() ? 6 : 0));
    EXPECT_EQ(marked, QStringList{});
    QStringList got; // owner, group and mode of each copy
    for (const char *name : {"ro", "tree", "tree/sub/f", "alien", "r640"})
        if (const struct stat st = lstatOf(dst + '/' + name); st.st_nlink)
            got << QString::asprintf("%s %u:%u %o", name, st.st_uid, st.st_gid, st.st_mode & 07777);
    if (root) // the owning group's entry in the ACL: the third, after the owner's and 1234's
        got << "alienAcl group::" + xattr(dst + "/alienAcl", "system.posix_acl_access").mid(22, 1).toHex();
    const QString own = root ? "65534:65534" : QString::asprintf("%u:%u", ::getuid(), ::getegid());
    EXPECT_EQ(got.join(", "), QString("ro %1 444, tree %1 2555, tree/sub/f %1 444").arg(own) +
                                  (root ? ", alien 65534:4242 600, r640 0:0 640, alienAcl group::00" : ""));
    for (const QString &p : made + readOnly) // else the folders would stay behind
        if (QFileInfo(p).isDir()) ::chmod(QFile::encodeName(p), 0755);
}

TEST_F(Engine, CancelInTheThirdOfFiveItems) {
    QStringList items;
    for (int i = 1; i <= 5; ++i)
        items << file(QString("src/%1").arg(i), pattern(i == 3 ? (128 << 20) : 100000, char(i)));
    const QString dst = mkdir("dst");
    TransferProgress p;
    std::atomic<qsizetype> at{0};
    Watch w(
        p, [](const Snapshot &s) { return s.index >= 3; },
        [&] {
            at = p.snapshot().index;
            p.cancel();
        });
    const TransferOutcome o = FileOps::runWithProgress(items, dst, false, p);
    ASSERT_TRUE(w.finish());
    EXPECT_TRUE(o.cancelled);
    // Normally the cancel lands in the third item; a slow machine may see a later one.
    const qsizetype finished = at - 1;
    EXPECT_EQ(o.done, finished);
    EXPECT_EQ(names(dst), items.mid(0, finished).replaceInStrings(path("src/"), QString()));
    for (const QString &s : items)
        EXPECT_TRUE(exists(s));
}

TEST_F(Engine, OddNamesAndCopyWordsOnLongNames) {
    LanguageScope de(AppLanguage::de);
    const QString nl = file("src/line\nbreak", "1");
    const QString dash = file("src/-rf", "2");
    const QString longName = file("src/" + QString(251, 'n') + ".txt", "3");
    const QString dst = mkdir("dst");
    EXPECT_EQ(run({nl, dash, longName}, dst, false).done, 3);
    const TransferOutcome o = run({nl, dash, longName}, dst, false);
    EXPECT_EQ(o.done, 3);
    EXPECT_TRUE(o.errors.isEmpty()) << o.errors.join('\n').toStdString();
    EXPECT_EQ(o.created[0], dst + "/line\nbreak Kopie");
    EXPECT_EQ(o.created[1], dst + "/-rf Kopie");
    EXPECT_TRUE(o.created[2].endsWith(" Kopie.txt"));
    EXPECT_EQ(TestUtil::readFile(o.created[2]), "3");
}

// --- a second volume (root only)

class CrossVolume : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    }
};

TEST_F(CrossVolume, DiskFullInTheMiddleOfAFile) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("4m");
    ASSERT_TRUE(vol.valid());
    // Small files take a whole page each, so the measured bytes fit but the volume fills.
    for (int i = 0; i < 700; ++i)
        file(QString("src/many/%1").arg(i), "x");
    const QString big = file("src/big", pattern(2 << 20));
    const auto before = snapshot(path("src"));
    const TransferOutcome o = run({path("src/many"), big}, vol.path(), false);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.errors, QStringList{"„big“: Nicht genug freier Speicherplatz auf dem Ziel."});
    EXPECT_FALSE(exists(vol.path() + "/big"));
    EXPECT_EQ(snapshot(path("src")), before);

    // Known too small beforehand: nothing is started.
    const QString huge = file("huge", pattern(8 << 20));
    const TransferOutcome refused = run({huge}, vol.path(), false);
    ASSERT_EQ(refused.errors.size(), 1);
    EXPECT_TRUE(refused.errors[0].startsWith("Nicht genug freier Speicherplatz auf dem Ziel: "));
    EXPECT_EQ(refused.done, 0);
    // A skipped item does not count against the free space.
    const QString small = file("small", "s");
    const TransferOutcome skipped = run({huge, small}, vol.path(), false, {{huge, ConflictChoice::skip}});
    EXPECT_EQ(skipped.skipped, 1);
    EXPECT_EQ(skipped.done, 1);

    // A sparse file needs the blocks it holds, where its copy keeps the holes: 8 GiB of hole fit on 16 MiB.
    TestUtil::TmpfsMount small16("16m");
    ASSERT_TRUE(small16.valid());
    const QString sparse = file("sparse/disk.img", "");
    ASSERT_EQ(::truncate(sparse.toUtf8().constData(), qint64(8) << 30), 0);
    if (lstatOf(sparse).st_blocks != 0) GTEST_SKIP() << "no holes on this file system";
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "moved" : "copied");
        const QString into = small16.path() + (move ? "/moved" : "/copied");
        QDir().mkpath(into);
        const TransferOutcome o = run({sparse}, into, move);
        EXPECT_EQ(o.errors, QStringList{});
        EXPECT_EQ(lstatOf(into + "/disk.img").st_size, qint64(8) << 30);
        EXPECT_EQ(exists(sparse), !move);
    }
}

TEST_F(CrossVolume, ReplaceWhoseCopyFailsKeepsTheOldItem) {
    TestUtil::TmpfsMount vol("1m");
    ASSERT_TRUE(vol.valid());
    for (int i = 0; i < 400; ++i)
        file(QString("src/d/%1").arg(i), "x");
    QDir().mkpath(vol.path() + "/d");
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + "/d/old", "old"));
    const TransferOutcome o =
        run({path("src/d")}, vol.path(), false, {{path("src/d"), ConflictChoice::replace}});
    EXPECT_EQ(o.errors.size(), 1);
    EXPECT_EQ(names(vol.path()), QStringList{"d"});
    EXPECT_EQ(names(vol.path() + "/d"), QStringList{"old"});
}

TEST_F(CrossVolume, MoveDeletesTheSourceOnlyAfterAVerifiedCopy) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("400m");
    ASSERT_TRUE(vol.valid());
    file("src/tree/a", pattern(3 << 20));
    file("src/tree/sub/b", pattern(10));
    ASSERT_EQ(::symlink("sub/b", path("src/tree/l").toUtf8().constData()), 0);
    // Names of one file stay one file, and every name leaves the source.
    ASSERT_EQ(::link(path("src/tree/a").toUtf8().constData(), path("src/tree/sub/a2").toUtf8().constData()),
              0);
    const auto before = snapshot(path("src/tree"));
    TransferOutcome o = run({path("src/tree")}, vol.path(), true);
    EXPECT_TRUE(o.errors.isEmpty()) << o.errors.join('\n').toStdString();
    EXPECT_EQ(names(path("src")), QStringList{});
    EXPECT_EQ(snapshot(vol.path() + "/tree"), before);
    EXPECT_EQ(lstatOf(vol.path() + "/tree/a").st_ino, lstatOf(vol.path() + "/tree/sub/a2").st_ino);
    // So do names chosen as items of their own, and folders whose files are one (a backup made with links),
    // copied or moved; each file is counted once.
    for (const QString &into : {mkdir("copies"), vol.path()}) {
        const bool move = into == vol.path();
        SCOPED_TRACE(move ? "moved" : "copied");
        const QString base = move ? "moving" : "copying", from = path(base);
        const QString x = file(base + "/x", pattern(7000)), b1 = mkdir(base + "/b1"),
                      b2 = mkdir(base + "/b2");
        file(base + "/b1/f", pattern(10));
        for (const auto &[first, other] : {std::pair{x, from + "/y"}, std::pair{b1 + "/f", b2 + "/f"}})
            ASSERT_EQ(::link(first.toUtf8().constData(), other.toUtf8().constData()), 0);
        TransferProgress p;
        o = FileOps::runWithProgress({x, from + "/y", b1, b2}, into, move, p);
        EXPECT_TRUE(o.errors.isEmpty()) << o.errors.join('\n').toStdString();
        EXPECT_EQ(p.snapshot().total, 7010);
        EXPECT_EQ(lstatOf(into + "/x").st_ino, lstatOf(into + "/y").st_ino);
        EXPECT_EQ(lstatOf(into + "/b1/f").st_ino, lstatOf(into + "/b2/f").st_ino);
        EXPECT_EQ(TestUtil::readFile(into + "/y"), pattern(7000));
        EXPECT_EQ(names(from), move ? QStringList{} : (QStringList{"b1", "b2", "x", "y"}));
    }

    // Pipes cannot be carried: everything else moves, the pipe stays in its folder.
    file("src/withfifo/f", "x");
    file("src/withfifo/deep/g", "y");
    ASSERT_EQ(::mkfifo(path("src/withfifo/deep/pipe").toUtf8().constData(), 0600), 0);
    o = run({path("src/withfifo")}, vol.path(), true);
    EXPECT_EQ(o.done, 0);
    EXPECT_EQ(o.created, QStringList{vol.path() + "/withfifo"});
    EXPECT_EQ(o.errors, QStringList{"„withfifo“ enthält 1 Pipe, Socket oder Gerät: „withfifo/deep/pipe“. Es "
                                    "bleibt mit seinem Ordner am alten Ort, alles andere wurde verschoben."});
    EXPECT_EQ(names(path("src/withfifo")), QStringList{"deep"});
    EXPECT_EQ(names(path("src/withfifo/deep")), QStringList{"pipe"});
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/withfifo/deep/g"), "y");
    // What went can be undone: it goes back into what stayed.
    EXPECT_EQ(o.partly, (QList<TransferPair>{{path("src/withfifo"), vol.path() + "/withfifo"}}));
    TransferProgress back;
    const FileActions::UndoReport undone =
        FileActions::reverse(UndoAction::makeMoved({}, {}, o.partly), back);
    EXPECT_EQ(undone.done, 1) << undone.errors.join('\n').toStdString();
    EXPECT_EQ(names(path("src/withfifo")), (QStringList{"deep", "f"}));
    EXPECT_EQ(names(path("src/withfifo/deep")), (QStringList{"g", "pipe"}));
    EXPECT_FALSE(exists(vol.path() + "/withfifo"));
    EXPECT_EQ(run({path("src/withfifo/deep/pipe")}, vol.path(), false).errors.size(), 1);

    // A file that shrinks while it is copied never loses its source.
    const QString shrinking = file("src/shrinking", pattern(8 << 20));
    HookScope shrink([&](Step step, const QString &) {
        if (step == Step::chunkCopied) ::truncate(shrinking.toUtf8().constData(), 1 << 20);
    });
    o = run({shrinking}, vol.path(), true);
    EXPECT_EQ(o.done, 0);
    EXPECT_EQ(o.errors,
              QStringList{"„shrinking“ wurde während des Verschiebens geändert und bleibt am alten Ort."});
    EXPECT_TRUE(exists(shrinking));
    EXPECT_FALSE(exists(vol.path() + "/shrinking"));
    FileSteps::setStepHook({});

    // A rename to another volume is a verified move as well.
    const QString r = file("src/renamed", pattern(5000));
    FileOps::rename(r, vol.path() + "/renamed");
    EXPECT_FALSE(exists(r));
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/renamed"), pattern(5000));
    // What stayed of it is said, not a failure that did not happen.
    file("src/withpipe/f", "x");
    ASSERT_EQ(::mkfifo(path("src/withpipe/pipe").toUtf8().constData(), 0600), 0);
    try {
        FileOps::rename(path("src/withpipe"), vol.path() + "/withpipe");
        ADD_FAILURE() << "the pipe stayed, yet the rename reported nothing";
    } catch (const FileError &e) {
        EXPECT_EQ(e.description,
                  "„withpipe“ enthält 1 Pipe, Socket oder Gerät: „withpipe/pipe“. Es bleibt mit "
                  "seinem Ordner am alten Ort, alles andere wurde verschoben.");
    }
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/withpipe/f"), "x");
    EXPECT_EQ(names(path("src/withpipe")), QStringList{"pipe"});

    // Replace on the other volume: the old item goes to that volume's Trash.
    const QString x = file("src/x", "new");
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + "/x", "old"));
    o = run({x}, vol.path(), true, {{x, ConflictChoice::replace}});
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/x"), "new");
    EXPECT_FALSE(exists(x));
    const QString volTrash = vol.path() + QString("/.Trash-%1").arg(::getuid());
    EXPECT_EQ(names(volTrash + "/files"), QStringList{"x"});
    EXPECT_TRUE(TestUtil::readFile(volTrash + "/info/x.trashinfo").contains("\nPath=x\n"));
}

// The undo of a move that left part of an item behind brings what went back into what stayed, or the whole
// item where nothing stayed meanwhile. The item counts as back only once its folder at the new place is gone:
// an entry whose name is taken at the old place, or anything put into that folder meanwhile, keeps it there.
// A folder whose locked file stayed is such a move; one none of whose entries went is none.
TEST_F(CrossVolume, TheUndoOfAPartialMoveCountsAnItemBackOnceItsNewFolderIsGone) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("16m");
    ASSERT_TRUE(vol.valid());
    const QString item = path("src/withfifo"), moved = vol.path() + "/withfifo";
    const auto undo = [](const QList<TransferPair> &partly) {
        TransferProgress p;
        const FileActions::UndoReport r = FileActions::reverse(UndoAction::makeMoved({}, {}, partly), p);
        return QString("%1/%2 ").arg(r.done).arg(r.total) + r.errors.join('|');
    };
    struct Row {
        const char *what;
        std::function<void()> meanwhile;
        FileSteps::StepHook whileUndone;
        QString undone;
        QStringList old, oldDeep, left; // at the old place, in its subfolder; left at the new place
    };
    const QList<Row> rows{
        {"what stayed is gone",
         [&] { QDir(item).removeRecursively(); },
         {},
         "1/1 ",
         {"deep", "f"},
         {"g"},
         {}},
        {"a name taken at the old place",
         [&] { file("src/withfifo/f", "new"); },
         {},
         "0/1 „f“ gibt es am alten Ort schon.",
         {"deep", "f"},
         {"g", "pipe"},
         {"f"}},
        {"something put in at the new place",
         {},
         [&](Step step, const QString &p) {
             if (step == Step::chunkCopied && p == moved + "/f") TestUtil::writeFile(moved + "/new", "n");
         },
         "0/1 „withfifo“ bleibt am neuen Ort: Darin liegt inzwischen etwas Neues.",
         {"deep", "f"},
         {"g", "pipe"},
         {"new"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        file("src/withfifo/f", "x");
        file("src/withfifo/deep/g", "y");
        ASSERT_EQ(::mkfifo(QFile::encodeName(item + "/deep/pipe").constData(), 0600), 0);
        const TransferOutcome o = run({item}, vol.path(), true);
        ASSERT_EQ(o.partly, (QList<TransferPair>{{item, moved}}));
        if (row.meanwhile) row.meanwhile();
        HookScope hook(row.whileUndone);
        EXPECT_EQ(undo(o.partly), row.undone);
        EXPECT_EQ(names(item), row.old);
        EXPECT_EQ(names(item + "/deep"), row.oldDeep);
        EXPECT_EQ(names(moved), row.left);
        EXPECT_EQ(exists(moved), !row.left.isEmpty());
        QDir(item).removeRecursively();
        QDir(moved).removeRecursively();
    }

    // Locked (immutable): deleted by no one, root too; unlocked again for the clean-up.
    const auto lock = TestUtil::setImmutable;
    const QString some = path("src/some"), all = path("src/all");
    const QStringList locked{file("src/some/l", "l"), file("src/all/l", "l")};
    file("src/some/p", "p");
    if (!lock(locked[0], true) || !lock(locked[1], true))
        GTEST_SKIP() << "the test folder's volume takes no lock";
    std::unique_ptr<void, std::function<void(void *)>> unlock(this, [&](void *) {
        for (const QString &l : locked)
            lock(l, false);
    });
    TransferOutcome o = run({some}, vol.path(), true);
    ASSERT_EQ(o.partly, (QList<TransferPair>{{some, vol.path() + "/some"}}));
    EXPECT_EQ(undo(o.partly), "0/1 „l“ gibt es am alten Ort schon.");
    EXPECT_EQ(names(some), (QStringList{"l", "p"}));
    EXPECT_EQ(names(vol.path() + "/some"), QStringList{"l"});
    o = run({all}, vol.path(), true);
    EXPECT_EQ(o.partly, QList<TransferPair>{});
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_TRUE(o.errors[0].startsWith("„all“ wurde kopiert, aber das Original ließ sich nicht löschen."))
        << o.errors[0].toStdString();
}

TEST_F(CrossVolume, FilesRewrittenDuringAMoveStayWithTheirNewContent) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("64m");
    ASSERT_TRUE(vol.valid());
    const QString tree = path("src/tree");
    for (int i = 0; i < 200; ++i)
        file(QString("src/tree/%1").arg(i, 3, 10, QChar('0')), pattern(4096, char(i)));

    // A writer rewrites every other file in place right after its copy, with the same size; half
    // of them get their old modification time back, so that only the change time tells.
    QStringList copied, rewritten;
    auto rewrite = [&](const QString &f) {
        const struct stat st = lstatOf(f);
        ASSERT_TRUE(TestUtil::writeFile(f, pattern(4096, 'N')));
        if (rewritten.size() % 2) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::utimensat(AT_FDCWD, f.toUtf8().constData(), times, 0);
        }
        rewritten << f;
    };
    HookScope writer([&](Step step, const QString &p) {
        if (step == Step::fileCopied) {
            if (copied.size() % 2) rewrite(copied.last());
            copied << p;
        } else if (step == Step::placed) {
            rewrite(copied.last()); // after the whole copy, before the first deletion
        }
    });
    const TransferOutcome o = run({tree}, vol.path(), true);
    ASSERT_EQ(copied.size(), 200);
    ASSERT_GE(rewritten.size(), 100);
    EXPECT_EQ(o.done, 0);
    EXPECT_EQ(o.created, QStringList{vol.path() + "/tree"});
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_TRUE(o.errors[0].startsWith(
        QString(
            "%1 Dateien wurden während des Verschiebens geändert und bleiben am alten Ort, darunter „tree/")
            .arg(rewritten.size())))
        << o.errors[0].toStdString();
    for (const QString &f : copied) {
        const QString moved = vol.path() + "/tree/" + Posix::lastComponent(f);
        if (rewritten.contains(f)) {
            EXPECT_EQ(TestUtil::readFile(f), pattern(4096, 'N')) << f.toStdString();
            EXPECT_FALSE(exists(moved)); // no older state beside it
        } else {
            EXPECT_FALSE(exists(f));
            EXPECT_EQ(TestUtil::readFile(moved), pattern(4096, char(Posix::lastComponent(f).toInt())));
        }
    }
    EXPECT_EQ(names(path("src")), QStringList{"tree"});
}

TEST_F(CrossVolume, KilledAtAnyStepLeavesOneWholeItemUnderItsName) {
    TestUtil::TmpfsMount vol("64m");
    ASSERT_TRUE(vol.valid());
    const QString tree = path("src/tree"), moved = vol.path() + "/tree";
    auto make = [&] {
        QDir(tree).removeRecursively();
        for (int i = 0; i < 4; ++i)
            file(QString("src/tree/d%1/f").arg(i), pattern(3 << 20, char(i)));
    };
    make();
    const auto before = snapshot(tree);
    struct Case {
        Step step;
        bool sourceWhole, copyInPlace;
    };
    for (const Case c : {Case{Step::chunkCopied, true, false}, Case{Step::fileCopied, true, false},
                         Case{Step::placed, true, true}, Case{Step::sourceAside, false, true},
                         Case{Step::fileRemoved, false, true}}) {
        SCOPED_TRACE(int(c.step));
        const pid_t child = TestChild::forkAlone();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FileSteps::setStepHook([&](Step s, const QString &) {
                if (s == c.step) ::raise(SIGKILL);
            });
            TransferProgress p;
            FileOps::runWithProgress({tree}, vol.path(), true, p);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        if (c.sourceWhole)
            EXPECT_EQ(snapshot(tree), before);
        else
            EXPECT_FALSE(exists(tree));
        if (c.copyInPlace)
            EXPECT_EQ(snapshot(moved), before);
        else
            EXPECT_FALSE(exists(moved));
        // What else is left lies under a hidden name of ours.
        for (const QString &n : names(path("src")) + names(vol.path()))
            EXPECT_TRUE(n == "tree" || n.startsWith(".kestrin-")) << n.toStdString();
        // The next transfer into the volume clears a part that no copy holds any more.
        EXPECT_EQ(run({file("small", "s")}, vol.path(), false).done, 1);
        EXPECT_EQ(names(vol.path()), c.copyInPlace ? QStringList({"small", "tree"}) : QStringList({"small"}));
        for (const QString &n : names(vol.path()))
            FileSteps::removeTree(vol.path() + "/" + n);
        QDir(path("src")).removeRecursively();
        make();
    }
}

TEST_F(CrossVolume, BindMountsDoNotHideThatATargetLiesInsideItsSource) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("16m");
    ASSERT_TRUE(vol.valid());
    const QString src = vol.path() + "/src", view = vol.path() + "/view", dst = vol.path() + "/dst";
    ASSERT_TRUE(TestUtil::writeFile(src + "/a/f", "x"));
    QDir().mkpath(src + "/a/deep");
    QDir().mkpath(view);
    QDir().mkpath(dst);
    // A folder inside the source shown elsewhere: ".." from there leads away from the source.
    ASSERT_EQ(QProcess::execute("mount", {"--bind", src + "/a", view}), 0);
    for (const bool move : {false, true}) {
        const TransferOutcome o = run({src}, view + "/deep", move);
        EXPECT_EQ(o.errors, QStringList{"„src“ kann nicht in sich selbst abgelegt werden."});
        EXPECT_TRUE(names(view + "/deep").isEmpty());
    }
    // The source holding a bind mount of itself is refused, not copied forever.
    QDir().mkpath(src + "/b/loop");
    ASSERT_EQ(QProcess::execute("mount", {"--bind", src, src + "/b/loop"}), 0);
    const TransferOutcome o = run({src}, dst, false);
    QProcess::execute("umount", {"-l", src + "/b/loop"});
    QProcess::execute("umount", {"-l", view});
    EXPECT_EQ(o.done, 0);
    EXPECT_EQ(o.errors, QStringList{"„src“: Der Ordner enthält sich selbst (über eine Einhängung)."});
    EXPECT_TRUE(names(dst).isEmpty());
}

TEST_F(CrossVolume, AclsTravelOrTheCopyGetsNoMoreThanTheSourceAllowed) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount from("16m"), with("16m"), without("16m", "ramfs");
    ASSERT_TRUE(from.valid() && with.valid() && without.valid());
    const QString doc = from.path() + "/doc", dir = from.path() + "/dir";
    ASSERT_TRUE(TestUtil::writeFile(doc, "secret"));
    ASSERT_TRUE(TestUtil::writeFile(dir + "/in", "x"));
    ASSERT_EQ(::chmod(doc.toUtf8().constData(), 0640), 0);
    // The group may only read; the mask shows write because a named user has it.
    if (QProcess::execute("setfacl", {"-m", "u:4242:rw,g::r,m::rw", doc}) != 0 ||
        QProcess::execute("setfacl", {"-d", "-m", "u:4242:rx", dir}) != 0)
        GTEST_SKIP() << "setfacl is missing";
    ASSERT_EQ(mode(doc), 0660u);

    TransferOutcome o = run({doc, dir}, with.path(), false);
    EXPECT_TRUE(o.errors.isEmpty()) << o.errors.join('\n').toStdString();
    EXPECT_EQ(xattr(with.path() + "/doc", "system.posix_acl_access"), xattr(doc, "system.posix_acl_access"));
    EXPECT_EQ(xattr(with.path() + "/dir", "system.posix_acl_default"),
              xattr(dir, "system.posix_acl_default"));
    EXPECT_EQ(mode(with.path() + "/doc"), 0660u);

    o = run({doc, dir}, without.path(), true);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(o.errors,
              QStringList{"Das Ziel kann keine Zugriffslisten (ACLs) speichern. Die Kopien haben nur die "
                          "einfachen Rechte, und nie mehr, als das Original erlaubte."});
    EXPECT_EQ(mode(without.path() + "/doc"), 0640u);

    // A destination whose folder hands down rights gives the copy none the source lacked.
    const QString giving = with.path() + "/giving";
    QDir().mkpath(giving);
    ASSERT_EQ(QProcess::execute("setfacl", {"-d", "-m", "u:4242:rwx", giving}), 0);
    const QString plain = file("plain", "p");
    ASSERT_EQ(::chmod(plain.toUtf8().constData(), 0600), 0);
    EXPECT_EQ(run({plain}, giving, false).done, 1);
    EXPECT_TRUE(xattr(giving + "/plain", "system.posix_acl_access").isEmpty());
    EXPECT_EQ(mode(giving + "/plain"), 0600u);
}

// File capabilities travel as cp -a carries them, set after the owner and the data that would clear them;
// a copy that lost them says so, and a move that would lose them keeps its original.
TEST_F(CrossVolume, SecurityAttributesTravelOrTheirLossIsToldAndAMoveKeepsTheOriginal) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_IMAGE_OR_SKIP(ext4, "mkfs.ext4", {"-q", "-F"});
    TestUtil::TmpfsMount with("16m"), without("16m", "ramfs");
    ASSERT_TRUE(with.valid() && without.valid());
    // Version 2, effective, cap_net_raw permitted.
    const QByteArray cap = QByteArray::fromHex("0100000200200000000000000000000000000000");
    const QString prog = ext4.path() + "/prog", tool = ext4.path() + "/tool", inner = tool + "/bin";
    ASSERT_TRUE(TestUtil::writeFile(prog, "elf") && TestUtil::writeFile(inner, "elf2"));
    for (const QString &p : {prog, inner, tool}) {
        // Another owner: the copy's change of owner would clear a capability set before it.
        ASSERT_EQ(::chown(p.toUtf8().constData(), 4242, 4242), 0);
        if (p == tool) continue;
        ASSERT_EQ(::setxattr(p.toUtf8().constData(), "security.capability", cap.constData(), cap.size(), 0),
                  0);
    }
    const auto originals = snapshot(ext4.path());

    struct Case {
        const char *what;
        QString into;
        bool move;
        qsizetype done;
        QStringList errors;
    };
    const QString lost = "Sicherheitsattribute (security.capability) ließen sich am Ziel nicht setzen: Dazu "
                         "fehlen die Rechte, oder das Laufwerk kann sie nicht speichern. ";
    const QString stays =
        "„%1“ bleibt am alten Ort: Seine Sicherheitsattribute (security.capability) ließen "
        "sich am Ziel nicht setzen, und verschoben verlöre es sie. Kopiere es, wenn es ohne "
        "sie ankommen darf.";
    const Case cases[] = {
        {"copy, kept", with.path() + "/copy", false, 2, {}},
        {"copy, lost and told",
         without.path(),
         false,
         2,
         {lost + "2 Objekte kamen ohne sie an: „prog“, „bin“."}},
        {"move, refused", without.path(), true, 0, {stays.arg("prog"), stays.arg("tool")}},
        {"move, kept", with.path() + "/moved", true, 2, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir().mkpath(c.into);
        const TransferOutcome o = run({prog, tool}, c.into, c.move);
        EXPECT_EQ(o.done, c.done);
        EXPECT_EQ(o.errors, c.errors);
        if (c.done == 0) {
            EXPECT_EQ(snapshot(ext4.path()), originals);
            EXPECT_EQ(xattr(prog, "security.capability"), cap);
            EXPECT_EQ(xattr(inner, "security.capability"), cap);
            EXPECT_TRUE(names(c.into).isEmpty());
        } else if (c.errors.isEmpty()) {
            EXPECT_EQ(xattr(c.into + "/prog", "security.capability"), cap);
            EXPECT_EQ(xattr(c.into + "/tool/bin", "security.capability"), cap);
            EXPECT_EQ(lstatOf(c.into + "/tool/bin").st_uid, 4242u);
        }
        if (c.move && c.done) {
            EXPECT_FALSE(exists(prog) || exists(tool));
        }
        if (!c.move) QDir(without.path()).removeRecursively();
    }
    // A one-item move to another volume, as a rename does it, keeps its original the same way.
    ASSERT_TRUE(TestUtil::writeFile(prog, "elf"));
    ASSERT_EQ(::setxattr(prog.toUtf8().constData(), "security.capability", cap.constData(), cap.size(), 0),
              0);
    try {
        FileOps::rename(prog, without.path() + "/prog");
        ADD_FAILURE() << "moved without its capability";
    } catch (const FileError &e) {
        EXPECT_EQ(e.description, stays.arg("prog"));
    }
    EXPECT_EQ(xattr(prog, "security.capability"), cap);
    EXPECT_TRUE(names(without.path()).isEmpty());
}

// A copy within a volume that clones takes no space: it is not refused for space it does not need, where
// the same copy to another volume is.
TEST_F(CrossVolume, ACloneThatNeedsNoSpaceIsNotRefusedForSpace) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_IMAGE_OR_SKIP(btrfs, "mkfs.btrfs", {"-q", "-f"}, qint64(256) << 20);
    const QString big = btrfs.path() + "/big", inner = btrfs.path() + "/folder/inner";
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray chunk = pattern(1 << 20);
        for (int i = 0; i < 140; ++i)
            ASSERT_EQ(f.write(chunk), chunk.size());
    }
    ASSERT_TRUE(TestUtil::writeFile(inner, pattern(1 << 20, 3)));
    ::sync();
    const std::optional<qint64> before = FileOps::freeBytes(btrfs.path());
    ASSERT_TRUE(before && *before < (qint64(140) << 20)) << (before ? *before : -1);
    for (const QString &into : {btrfs.path() + "/copies", btrfs.path() + "/again"}) {
        SCOPED_TRACE(into.toStdString());
        QDir().mkpath(into);
        const TransferOutcome o = run({big, btrfs.path() + "/folder"}, into, false);
        EXPECT_EQ(o.errors, QStringList{});
        EXPECT_EQ(o.done, 2);
        EXPECT_EQ(snapshot(into + "/big"), snapshot(big));
        EXPECT_EQ(snapshot(into + "/folder/inner"), snapshot(inner));
    }
    // Another volume gets no clone: refused before anything is made.
    TestUtil::TmpfsMount small("64m");
    ASSERT_TRUE(small.valid());
    const TransferOutcome refused = run({big}, small.path(), false);
    ASSERT_EQ(refused.errors.size(), 1);
    EXPECT_TRUE(refused.errors[0].startsWith("Nicht genug freier Speicherplatz auf dem Ziel: "))
        << refused.errors[0].toStdString();
    EXPECT_TRUE(names(small.path()).isEmpty());
    // Nor is an item from another volume a clone on it, as a file or inside a folder.
    TestUtil::TmpfsMount other("256m");
    ASSERT_TRUE(other.valid());
    const std::optional<qint64> free = FileOps::freeBytes(btrfs.path());
    ASSERT_TRUE(free);
    const qint64 farSize = *free + (64 << 20);
    {
        QFile f(other.path() + "/far");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray chunk = pattern(1 << 20, 5);
        for (qint64 written = 0; written < farSize; written += chunk.size())
            ASSERT_EQ(f.write(chunk), chunk.size());
    }
    QDir().mkpath(other.path() + "/folder");
    ASSERT_EQ(::link(QFile::encodeName(other.path() + "/far").constData(),
                     QFile::encodeName(other.path() + "/folder/far").constData()),
              0);
    for (const QString &item : {other.path() + "/folder", other.path() + "/far"}) {
        SCOPED_TRACE(item.toStdString());
        const std::optional<qint64> freeNow = FileOps::freeBytes(btrfs.path());
        ASSERT_TRUE(freeNow && *freeNow < farSize) << (freeNow ? *freeNow : -1);
        const QString into = btrfs.path() + "/across";
        QDir().mkpath(into);
        const TransferOutcome across = run({item}, into, false);
        ASSERT_EQ(across.errors.size(), 1);
        EXPECT_TRUE(across.errors[0].startsWith("Nicht genug freier Speicherplatz auf dem Ziel: "))
            << across.errors[0].toStdString();
        EXPECT_TRUE(names(into).isEmpty());
    }
}

// A queued source renamed while an earlier one is copied fails by its own name; the result lists every
// item that failed, and a warning about another item does not stand in for it.
TEST_F(Engine, AQueuedSourceRenamedMeanwhileFailsByItsName) {
    LanguageScope de(AppLanguage::de);
    const QString dst = mkdir("dst");
    const QString big = file("src/big", pattern(3 << 20));
    const QString growing = file("src/growing", pattern(3 << 20, 2));
    const QString queued = file("src/queued", "q");
    bool renamed = false, grown = false;
    HookScope hook([&](Step step, const QString &p) {
        if (step != Step::chunkCopied) return;
        if (p == big && !renamed)
            renamed = ::rename(QFile::encodeName(queued), QFile::encodeName(queued + "2")) == 0;
        if (p == growing && !grown) {
            QFile f(growing);
            grown = f.open(QIODevice::Append) && f.write("more") == 4;
        }
    });
    const TransferOutcome o = run({big, growing, queued}, dst, false);
    ASSERT_TRUE(renamed && grown);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(o.failed, QStringList{"queued"});
    ASSERT_EQ(o.errors.size(), 2);
    // The failure first, by its name; the warning about the complete copy after it.
    EXPECT_EQ(o.errors.first(), "„queued“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_TRUE(o.errors.last().startsWith("„growing“ wurde während des Kopierens geändert."));
}

// Renaming another name of a hard-linked file changes the ctime of all its names: a complete, identical
// copy gets no warning. A change of the bytes still does.
TEST_F(Engine, ACtimeChangeAloneIsNoChangeOfContent) {
    LanguageScope de(AppLanguage::de);
    const QString dst = mkdir("dst");
    const QString linked = file("src/linked", pattern(3 << 20));
    const QString other = path("elsewhere");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(), QFile::encodeName(other).constData()), 0);
    int renames = 0;
    HookScope hook([&](Step step, const QString &p) {
        if (step != Step::chunkCopied || p != linked) return;
        const QString from = renames % 2 ? other + "2" : other, to = renames % 2 ? other : other + "2";
        renames += ::rename(QFile::encodeName(from), QFile::encodeName(to)) == 0;
    });
    TransferOutcome o = run({linked}, dst, false);
    EXPECT_GT(renames, 0);
    EXPECT_EQ(o.done, 1);
    EXPECT_TRUE(o.errors.isEmpty()) << o.errors.value(0).toStdString();
    EXPECT_EQ(TestUtil::readFile(dst + "/linked"), pattern(3 << 20));

    // Same size and time, other bytes (the time put back by hand): the warning stays.
    const QString faked = file("src2/faked", pattern(3 << 20));
    bool rewritten = false;
    HookScope writer([&](Step step, const QString &p) {
        if (step != Step::chunkCopied || p != faked || rewritten) return;
        struct stat st;
        ::stat(QFile::encodeName(faked).constData(), &st);
        QFile f(faked);
        rewritten = f.open(QIODevice::ReadWrite) && f.write("XXXX") == 4;
        f.close();
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, QFile::encodeName(faked).constData(), times, 0);
    });
    o = run({faked}, mkdir("dst2"), false);
    EXPECT_TRUE(rewritten);
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_TRUE(o.errors.first().startsWith("„faked“ wurde während des Kopierens geändert."));
}

// While a copy is written, its rights open it to no one its final group and ACL would not: in a
// set-group-id folder of another group and in folders that hand down an ACL it is private until done; in a
// plain folder it is made with its own rights at once. One job, so that a folder met again answers as the
// first time, not as the folder looked at last.
TEST_F(Engine, CopiesAreNoMoreOpenWhileWrittenThanOnceDone) {
    const QString src = file("src/f", pattern(3000));
    ASSERT_EQ(::chmod(QFile::encodeName(src).constData(), 0640), 0);
    const QString sgid = mkdir("sgid"), acl = mkdir("acl"), plain = mkdir("plain");
    if (QProcess::execute("setfacl", {"-d", "-m", "u:4242:rwx", acl}) != 0)
        GTEST_SKIP() << "setfacl is missing or the file system takes no ACLs";
    // A group other than the one copies are made with: any for root, else one the account is a member of.
    gid_t other = 4242;
    if (!TestUtil::isRoot()) {
        gid_t groups[64];
        const int n = ::getgroups(64, groups);
        other = ::getegid();
        for (int i = 0; i < n; ++i)
            if (groups[i] != ::getegid()) other = groups[i];
    }
    const bool otherGroup = other != ::getegid() &&
                            ::chown(QFile::encodeName(sgid).constData(), -1, other) == 0 &&
                            ::chmod(QFile::encodeName(sgid).constData(), 02777) == 0;
    QStringList targets{acl + "/f", plain + "/f", acl + "/g"};
    if (otherGroup) targets.prepend(sgid + "/f");
    QString writing;
    QHash<QString, mode_t> whileWritten;
    HookScope hook([&](Step step, const QString &p) {
        if (step == Step::chunkCopied && p == src && !whileWritten.contains(writing))
            whileWritten.insert(writing, mode(writing));
    });
    const mode_t umask = ::umask(022);
    TransferProgress progress;
    auto job = FileSteps::newCopyJob(progress);
    for (const QString &target : std::as_const(targets)) {
        writing = target;
        FileSteps::CopyReport report;
        FileSteps::copyTree(*job, src, target, false, report);
    }
    ::umask(umask);
    QStringList got, want;
    for (const QString &target : std::as_const(targets)) {
        const QString name = target.mid(tmp.path().size() + 1);
        got << QString::asprintf("%s %o", qPrintable(name), whileWritten.value(target, 07777));
        want << name + (target.startsWith(plain) ? " 640" : " 600");
        EXPECT_EQ(whileWritten.value(target) & ~mode(target), 0u) << name.toStdString();
        EXPECT_EQ(TestUtil::readFile(target), pattern(3000)) << name.toStdString();
    }
    EXPECT_EQ(got, want);
}
