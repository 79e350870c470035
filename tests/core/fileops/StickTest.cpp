// Copies, moves and replaces onto sticks, which hold less than the home volume does: no rename flags,
// links or extended attributes, names without case and without some characters.
#include "Fixture.h"

#include "common/FatFuse.h"
#include "core/filesteps/StepHooks.h"

#include <QScopeGuard>

#include <sys/xattr.h>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

namespace {

class Stick : public Started {
protected:
    // A folder with a link and one with a subfolder whose name FAT refuses.
    QStringList refusedInside() {
        mkdir("src/in-link");
        EXPECT_EQ(::symlink("target", QFile::encodeName(path("src/in-link/link")).constData()), 0);
        file("src/in-dir/a:b/f.txt", "f");
        return {path("src/in-link"), path("src/in-dir")};
    }
};

const QString linkRefused = "„link“: Dieses Laufwerk kann keine Links aufnehmen. (in „in-link“)";
const QString nameRefused = "„%1“: Dieses Laufwerk kann keine Namen mit Zeichen wie : ? * \" < > aufnehmen.";

// A new name typed for an item on the volume: what the rename throws, and the names the folder holds then.
QString renamedTo(const QString &folder, const QString &newName) {
    const QString item = folder + "/gamma.txt";
    EXPECT_TRUE(TestUtil::writeFile(item, "g"));
    QString said;
    try {
        FileOps::rename(ShownItem{item, {}, {}}, newName);
    } catch (const FileError &e) {
        said = e.description;
    }
    return said + " | " + names(folder).join(u',');
}

} // namespace

TEST_F(Stick, AReplaceSendsTheOldItemToTheSticksTrashThoughTheStickRefusesTheRenameFlags) {
    KESTRIN_FAT_OR_SKIP(stick);
    const QString a = file("src/x.txt", "new");
    ASSERT_TRUE(TestUtil::writeFile(stick.path() + "/x.txt", "old"));
    const TransferOutcome o = run({a}, stick.path(), false, {{a, ConflictChoice::replace}});
    EXPECT_EQ(o.errors, QStringList{});
    EXPECT_EQ(TestUtil::readFile(stick.path() + "/x.txt"), "new");
    ASSERT_EQ(o.replaced.size(), 1);
    EXPECT_TRUE(o.replaced[0].inTrash.startsWith(stick.path() + "/.Trash-"));
    EXPECT_EQ(TestUtil::readFile(o.replaced[0].inTrash), "old");
}

// A stick fills a sparse file's holes: its copy needs the file's size, not the blocks it holds, and one
// larger than the stick's free space is refused before anything is written.
TEST_F(Stick, ASparseFileLargerThanTheSticksFreeSpaceIsRefused) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_FAT_OR_SKIP(stick);
    const std::optional<qint64> free = FileOps::freeBytes(stick.path());
    ASSERT_TRUE(free);
    const QString sparse = file("src/disk.img", "");
    if (::truncate(QFile::encodeName(sparse).constData(), *free + (qint64(1) << 30)) != 0 ||
        TestUtil::lstatOf(sparse).st_blocks != 0)
        GTEST_SKIP() << "no holes here";
    // Were it started, the stick is pulled at its first chunk rather than filled.
    const auto reset = qScopeGuard([] { FileSteps::setStepHook({}); });
    FileSteps::setStepHook([&](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::chunkCopied) stick.pull();
    });
    const TransferOutcome o = run({sparse}, stick.path(), false);
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_TRUE(o.errors[0].startsWith("Nicht genug freier Speicherplatz auf dem Ziel: "))
        << o.errors[0].toStdString();
    EXPECT_EQ(names(stick.path()), QStringList{});
}

TEST_F(Stick, AFolderHoldingWhatTheStickCannotTakeNamesTheInnerItemAndTheDrivesLimit) {
    LanguageScope de(AppLanguage::de);
    const QStringList folders = refusedInside();
    // FAT says EINVAL for the name, exfat-fuse ENOENT.
    for (const bool enoentNames : {false, true}) {
        KESTRIN_FAT_OR_SKIP(stick, enoentNames);
        const TransferOutcome o = run(folders, stick.path(), false);
        EXPECT_EQ(o.errors, QStringList({linkRefused, nameRefused.arg("a:b") + " (in „in-dir“)"}))
            << enoentNames;
        EXPECT_EQ(names(stick.path()), QStringList{});
    }
}

TEST_F(Stick, TagsAndCommentsTheStickCannotHoldAreToldOncePerJobAndCounted) {
    LanguageScope de(AppLanguage::de);
    const QString a = file("src/a.txt", "a"), b = file("src/b.txt", "b"), c = file("src/c.txt", "c");
    const QString d = file("src/box/d.txt", "d");
    auto set = [](const QString &p, const char *name) {
        return ::setxattr(QFile::encodeName(p).constData(), name, "x", 1, 0) == 0;
    };
    if (!set(a, "user.xdg.tags")) GTEST_SKIP() << "the test folder keeps no extended attributes";
    ASSERT_TRUE(set(b, "user.xdg.comment") && set(c, "user.other") && set(d, "user.xdg.tags"));
    KESTRIN_FAT_OR_SKIP(stick);
    const TransferOutcome o = run({a, b, c, path("src/box")}, stick.path(), true);
    EXPECT_EQ(o.done, 4);
    EXPECT_EQ(o.errors,
              QStringList{"Das Ziel kann keine Tags und Kommentare speichern. 3 Objekte kamen ohne sie "
                          "an: „a.txt“, „b.txt“, „d.txt“."});
}

TEST_F(Stick, ANameTakenInAnotherCaseIsToldAndANameRefusedWithEnoentIsNamedAsRefused) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_FAT_OR_SKIP(stick, true);
    const QString one = file("src/Readme.txt", "1"), two = file("src/README.txt", "2");
    TransferOutcome o = run({one, two}, stick.path(), false);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(o.errors,
              QStringList{"„README.txt“ heißt am Ziel „README Kopie.txt“: Dieses Laufwerk unterscheidet "
                          "nicht zwischen Groß- und Kleinschreibung, und „Readme.txt“ gibt es dort schon."});
    EXPECT_EQ(TestUtil::readFile(stick.path() + "/README Kopie.txt"), "2");

    o = run({file("src/c:d.txt", "c")}, stick.path(), false);
    EXPECT_EQ(o.errors, QStringList{nameRefused.arg("c:d.txt")});
    // So is a new name typed for an item on it; a name it takes is taken.
    EXPECT_EQ(renamedTo(stick.path(), "ga:mma.txt"), "„gamma.txt“ ließ sich nicht umbenennen. " +
                                                         nameRefused.arg("ga:mma.txt") +
                                                         " | README Kopie.txt,Readme.txt,gamma.txt");
    EXPECT_EQ(renamedTo(stick.path(), "delta.txt").section(" | ", 1),
              "README Kopie.txt,Readme.txt,delta.txt");
    // A folder holding a file and a folder whose names differ in case alone: none of it is copied, and why.
    file("src/Akten/Belege/a", "a");
    o = run({file("src/Akten/belege", "b").chopped(7)}, stick.path(), false);
    EXPECT_EQ(o.errors, QStringList{"„belege“: Der Name unterscheidet sich von „Belege“ nur in der Groß- und "
                                    "Kleinschreibung, und das Ziel unterscheidet nicht zwischen Groß- und "
                                    "Kleinschreibung. (in „Akten“)"});
}

TEST_F(Stick, OnARealExfatImageLinksAndRefusedNamesAreNamedRight) {
    LanguageScope de(AppLanguage::de);
    KESTRIN_EXFAT_OR_SKIP(exfat);
    const TransferOutcome o = run(refusedInside() << file("src/c:d.txt", "c"), exfat.path(), false);
    EXPECT_EQ(o.errors, QStringList({linkRefused, nameRefused.arg("a:b") + " (in „in-dir“)",
                                     nameRefused.arg("c:d.txt")}));
    EXPECT_EQ(names(exfat.path()), QStringList{});
    // A typed name the driver answers with ENOENT: said as refused, though the driver numbers the item anew.
    EXPECT_EQ(renamedTo(exfat.path(), "ga:mma.txt"),
              "„gamma.txt“ ließ sich nicht umbenennen. " + nameRefused.arg("ga:mma.txt") + " | gamma.txt");
}
