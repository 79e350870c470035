// What real volumes refuse, said for what it is: folders that take new names only, locked items, names
// without case, quotas and file systems out of entries. Each on a loop image of its own; root only.
#include "Fixture.h"

#include "common/FatFuse.h"

#include "core/fileops/Archives.h"
#include "core/fileops/DuplicateAlias.h"
#include "core/fileops/UndoJournal.h"
#include "core/tools/FolderSync.h"
#include "core/filesteps/StepHooks.h"
#include "platform/Posix.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

namespace {

// chattr +a / +i on an item of an image; false where the volume or the process can't.
bool setFlag(const QString &path, int flag, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

QStringList parts(const QString &folder) {
    return names(folder).filter(QRegularExpression("^\\.kestrin-part-"));
}

const QString appendOnly =
    "„%1“: Der Ordner „dst“ nimmt nur neue Objekte auf (nur anhängen): Darin lässt sich "
    "nichts umbenennen, ersetzen oder entfernen, daher legt Kestrin dort nichts ab.";

} // namespace

class VolumeLimits : public Started {
protected:
    void TearDown() override { FileSteps::setStepHook({}); }
};

TEST_F(VolumeLimits, AnAppendOnlyFolderTakesNoCopyAndAPartThatCannotGoIsNamedByTheJobAndEveryStart) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_IMAGE_OR_SKIP(ext4, "mkfs.ext4", {"-q"});
    const QString dst = ext4.path() + "/dst";
    ASSERT_TRUE(QDir().mkpath(dst) && TestUtil::writeFile(dst + "/x.txt", "old"));
    const QString a = file("src/a.txt", "a"), x = file("src/x.txt", "new"), box = path("src/box");
    file("src/box/in.txt", "in");
    if (!setFlag(dst, FS_APPEND_FL, true)) GTEST_SKIP() << "chattr +a is refused here";
    // A copy, a Replace and a move from another volume: each refused before anything is made.
    TransferOutcome o = run({a, box}, dst, false);
    EXPECT_EQ(o.errors, QStringList({appendOnly.arg("a.txt"), appendOnly.arg("box")}));
    o = run({x}, dst, false, {{x, ConflictChoice::replace}});
    EXPECT_EQ(o.errors, QStringList{appendOnly.arg("x.txt")});
    o = run({a}, dst, true);
    EXPECT_EQ(o.errors, QStringList{appendOnly.arg("a.txt")});
    EXPECT_EQ(names(dst), QStringList{"x.txt"});
    EXPECT_EQ(TestUtil::readFile(dst + "/x.txt"), "old");
    EXPECT_TRUE(exists(a));
    // Nor is anything packed there: the archive's temporary name could take its name no more than go.
    TransferProgress packing;
    const auto packed = FileActions::compressItems({dst + "/x.txt"}, ArchiveFormat::tar, "x", packing);
    EXPECT_TRUE(packed.error && packed.error->contains("(nur anhängen)"))
        << packed.error.value_or("").toStdString();
    EXPECT_EQ(names(dst), QStringList{"x.txt"});
    ASSERT_TRUE(setFlag(dst, FS_APPEND_FL, false));

    // The folder turns append-only while a copy is under way: the part can neither take its name nor go.
    // In a child, whose journal the next start settles.
    const QString said = path("said");
    const pid_t child = TestChild::forkAlone();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileSteps::setStepHook([&](FileSteps::Step s, const QString &) {
            if (s == FileSteps::Step::fileCopied) setFlag(dst, FS_APPEND_FL, true);
        });
        TestUtil::writeFile(said, run({a}, dst, false).errors.join('\n').toUtf8());
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const QStringList left = parts(dst);
    ASSERT_EQ(left.size(), 1);
    // After the copy's own failure.
    const QStringList errors = QString::fromUtf8(TestUtil::readFile(said)).split('\n');
    EXPECT_EQ(errors.value(1), "„a.txt“ liegt noch unter dem versteckten Namen „" + left[0] + "“.")
        << errors.join('\n').toStdString();
    // Every start names it while it stays, and removes it once it can.
    for (int start = 0; start < 2; ++start) {
        const FileOps::Leftovers stuck = FileOps::recoverTransfers();
        EXPECT_EQ(stuck.stuck, QStringList{dst + "/" + left[0]}) << start;
        EXPECT_EQ(FileOps::leftoversText(stuck), "Eine abgebrochene Kopie liegt noch als „" + left[0] +
                                                     "“ in „" + dst +
                                                     "“ und ließ sich nicht entfernen. Kestrin versucht es "
                                                     "bei jedem Start wieder.");
    }
    ASSERT_TRUE(setFlag(dst, FS_APPEND_FL, false));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(dst), QStringList{"x.txt"});
}

TEST_F(VolumeLimits, ACaseOnlyRenameOnACaseInsensitiveVolumeRenamesTheItemAndAnotherItemStillRefuses) {
    int tried = 0;
    const auto check = [&](const QString &root) {
        ++tried;
        const QString a = root + "/a.txt";
        ASSERT_TRUE(TestUtil::writeFile(a, "a") && TestUtil::writeFile(root + "/b.txt", "b"));
        const ShownItem renamed = FileOps::rename(ShownItem{a, {}, {}}, "A.txt");
        EXPECT_EQ(renamed.path, root + "/A.txt");
        EXPECT_EQ(names(root), QStringList({"A.txt", "b.txt"}));
        EXPECT_EQ(TestUtil::readFile(root + "/A.txt"), "a");
        // Another item under the name in another case is no case-only rename.
        try {
            FileOps::rename(ShownItem{root + "/b.txt", {}, {}}, "a.TXT");
            ADD_FAILURE() << "renamed over another item on " << root.toStdString();
        } catch (const FileError &e) {
            EXPECT_EQ(e.code, EEXIST);
        }
        EXPECT_EQ(names(root), QStringList({"A.txt", "b.txt"}));
        EXPECT_EQ(TestUtil::readFile(root + "/A.txt"), "a");
        // Its undo: the old name finds the item itself, so it goes back; an old name that finds another
        // item stays that item's.
        TransferProgress progress;
        const auto undo = [&](const TransferPair &pair, const ShownItem &as) {
            return FileActions::reverse(UndoAction::makeRenamed({pair}, {as}), progress);
        };
        EXPECT_EQ(undo({a, renamed.path}, renamed).errors, QStringList());
        EXPECT_EQ(names(root), QStringList({"a.txt", "b.txt"}));
        EXPECT_EQ(undo({root + "/A.TXT", root + "/b.txt"}, {root + "/b.txt", {}, {}}).errors.size(), 1);
        EXPECT_EQ(names(root), QStringList({"a.txt", "b.txt"}));
        EXPECT_EQ(TestUtil::readFile(root + "/a.txt") + TestUtil::readFile(root + "/b.txt"), "ab");
    };
    // exfat-fuse and the tests' FAT number each name of an item apart; ext4's casefold shows one inode.
    if (TestUtil::ExfatImage exfat; exfat.valid()) check(exfat.path());
    if (TestUtil::FatFuse stick; stick.valid()) check(stick.path());
    if (TestUtil::KernelImage ext4("mkfs.ext4", {"-q", "-O", "casefold"}); ext4.valid()) {
        const QString folder = ext4.path() + "/folded";
        if (QDir().mkpath(folder) && setFlag(folder, FS_CASEFOLD_FL, true)) check(folder);
    }
    if (tried == 0) GTEST_SKIP() << "no case-insensitive volume could be mounted";
}

TEST_F(VolumeLimits, AFullQuotaAndAVolumeOutOfEntriesAreToldApartFromAFullDisk) {
    const struct {
        const char *mkfs;
        QStringList options;
        qint64 bytes;
        QString said;
    } volumes[] = {
        {"mkfs.ext4",
         {"-q", "-N", "16"},
         8 << 20,
         "Das Laufwerk kann keine weiteren Objekte aufnehmen: Alle Einträge seines Dateisystems sind belegt, "
         "obwohl noch Speicherplatz frei ist."},
        {"mkfs.btrfs", {"-q"}, 128 << 20, "Das Kontingent (Quota) auf diesem Laufwerk ist aufgebraucht."},
    };
    LanguageScope de(AppLanguage::de);
    // Sixteen files, and one of 4 MB: more than either volume takes.
    for (int i = 0; i < 16; ++i)
        file(QString("src/many/%1").arg(i), "x");
    const QString big = file("src/big", pattern(4 << 20));
    int tried = 0;
    for (const auto &v : volumes) {
        TestUtil::KernelImage image(v.mkfs, v.options, v.bytes);
        if (!image.valid()) continue;
        if (QString(v.mkfs) == "mkfs.btrfs" &&
            (QProcess::execute("btrfs", {"quota", "enable", image.path()}) != 0 ||
             QProcess::execute("btrfs", {"qgroup", "limit", "1M", image.path()}) != 0))
            continue;
        ++tried;
        const TransferOutcome o = run({path("src/many"), big}, image.path(), false);
        ASSERT_FALSE(o.errors.isEmpty()) << v.mkfs;
        for (const QString &error : o.errors)
            EXPECT_TRUE(error.contains(v.said)) << error.toStdString();
        EXPECT_TRUE(parts(image.path()).isEmpty()) << v.mkfs;
        if (QString(v.mkfs) != "mkfs.ext4") continue;
        // A new folder there, once every entry is taken, is told the same.
        for (int i = 0; i < 64 && TestUtil::writeFile(image.path() + QString("/fill%1").arg(i), "x"); ++i) {
        }
        try {
            FileOps::createIn(image.path(), {}, "Neu", true);
            ADD_FAILURE() << "a folder was made on a volume out of entries";
        } catch (const FileError &e) {
            EXPECT_EQ(FileOps::explain(e, "Neu"), "„Neu“: " + v.said);
        }
        // So are a duplicate there, a rename onto it from another volume, and a sync onto it.
        TransferProgress progress;
        QList<SyncStep> steps;
        for (const CompareRow &row :
             FolderCompare::scan(path("src"), image.path(), [] { return false; }).rows)
            steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
        const SyncResult synced = FolderSync::run(path("src"), image.path(), steps, progress);
        ASSERT_FALSE(synced.errors.isEmpty());
        EXPECT_TRUE(synced.errors[0].contains(v.said)) << synced.errors[0].toStdString();
        const auto duplicated =
            FileActions::duplicateItems(FileOps::unlisted({image.path() + "/fill0"}), progress);
        ASSERT_EQ(duplicated.errors.size(), 1);
        EXPECT_TRUE(duplicated.errors[0].contains(v.said)) << duplicated.errors[0].toStdString();
        try {
            FileOps::rename(path("src/many/0"), image.path() + "/moved");
        } catch (const FileError &e) {
            EXPECT_TRUE(e.description.contains(v.said)) << e.description.toStdString();
        }
    }
    if (tried == 0) GTEST_SKIP() << "no loop image could be made";
}

TEST_F(VolumeLimits, ALockedTrashEntryIsSaidLockedWhenItsDeleteIsRefused) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_IMAGE_OR_SKIP(ext4, "mkfs.ext4", {"-q"});
    ASSERT_TRUE(TestUtil::writeFile(ext4.path() + "/a.txt", "a") &&
                TestUtil::writeFile(ext4.path() + "/b.txt", "b") &&
                TestUtil::writeFile(ext4.path() + "/c.txt", "c"));
    const auto trashed = FileOps::trash(FileOps::unlisted({ext4.path() + "/a.txt", ext4.path() + "/b.txt"}));
    ASSERT_EQ(trashed.done, 2);
    const QString a = trashed.moved[0].inTrash, b = trashed.moved[1].inTrash, c = ext4.path() + "/c.txt";
    if (!setFlag(a, FS_IMMUTABLE_FL, true) || !setFlag(b, FS_IMMUTABLE_FL, true) ||
        !setFlag(c, FS_IMMUTABLE_FL, true))
        GTEST_SKIP() << "chattr +i is refused here";
    // Locked before it went: said so, with where to unlock it.
    EXPECT_EQ(
        FileOps::trash(FileOps::unlisted({c})).errors,
        QStringList{"„c.txt“ ist geschützt und lässt sich nicht in den Papierkorb legen. Schalte in seinen "
                    "Informationen „Geschützt“ aus und versuche es dann noch einmal."});
    const QString locked = "„%1“ ist geschützt und lässt sich nicht löschen. Schalte in seinen Informationen "
                           "„Geschützt“ aus und versuche es dann noch einmal.";
    const FileOps::DeleteResult one = FileOps::deletePermanently({a});
    EXPECT_EQ(one.errors, QStringList{locked.arg("a.txt")});
    // No administrator's rights overcome a lock: nothing is offered for them.
    EXPECT_TRUE(one.denied.isEmpty());
    const FileOps::TrashListing listing = FileOps::listTrashes({Posix::parentOf(a)});
    const FileOps::TrashDeleteResult all = FileOps::deleteTrashed(listing.entries);
    QStringList errors = all.errors;
    errors.sort();
    EXPECT_EQ(errors, QStringList({locked.arg("a.txt"), locked.arg("b.txt")}));
    EXPECT_TRUE(all.denied.isEmpty());
    EXPECT_TRUE(exists(a) && exists(b));
}
