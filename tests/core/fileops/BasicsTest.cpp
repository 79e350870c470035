#include "Fixture.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TransferProgress.h"
#include "core/filesteps/TrashMemory.h"
#include "core/base/Defaults.h"

#include <cerrno>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

TEST(TransferProgress, SnapshotsAndStatus) {
    TransferProgress p;
    EXPECT_FALSE(TransferStatus::from("Kopiere", p.snapshot()).fraction); // nothing measured yet

    p.add(300);
    p.setTotal(1200, 4); // keeps what was counted
    p.setItem(2, "b.txt");
    EXPECT_EQ(TransferStatus::from("Kopiere", p.snapshot()),
              (TransferStatus{"Kopiere", "b.txt", 2, 4, 0.25}));

    p.add(2000); // grew meanwhile: not clamped here
    EXPECT_GT(*TransferStatus::from("Kopiere", p.snapshot()).fraction, 1.0);

    EXPECT_FALSE(p.isCancelled());
    p.cancel();
    p.cancel();
    EXPECT_TRUE(p.isCancelled());
}

class Basics : public Dir {};

TEST_F(Basics, UniqueNamesWithCopyWordAndNumbers) {
    LanguageScope de(AppLanguage::de);
    const QString d = mkdir("u");
    EXPECT_EQ(FileOps::uniqueURL("a.txt", d), d + "/a.txt");
    file("u/a.txt", "x");
    EXPECT_EQ(FileOps::uniqueURL("a.txt", d), d + "/a Kopie.txt");
    file("u/a Kopie.txt", "x");
    EXPECT_EQ(FileOps::uniqueURL("a.txt", d), d + "/a Kopie 2.txt");
    EXPECT_EQ(FileOps::uniqueURL("a.txt", d, true), d + "/a 2.txt");
    mkdir("u/Ordner");
    EXPECT_EQ(FileOps::uniqueURL("Ordner", d), d + "/Ordner Kopie");
    // A folder's dots are part of its name.
    mkdir("u/folder.with.dots");
    EXPECT_EQ(FileOps::uniqueURL("folder.with.dots", d), d + "/folder.with.dots Kopie");
    mkdir("u/folder.with.dots Kopie");
    EXPECT_EQ(FileOps::uniqueURL("folder.with.dots", d), d + "/folder.with.dots Kopie 2");
    file("u/Archiv.tar.gz", "x");
    EXPECT_EQ(FileOps::uniqueURL("Archiv.tar.gz", d), d + "/Archiv.tar Kopie.gz");
    // A dangling link takes its name as well.
    ASSERT_EQ(::symlink("/nonexistent", (d + "/dangling").toUtf8().constData()), 0);
    EXPECT_EQ(FileOps::uniqueURL("dangling", d), d + "/dangling Kopie");
    {
        LanguageScope en(AppLanguage::en);
        EXPECT_EQ(FileOps::uniqueURL("a.txt", d), d + "/a copy.txt");
    }
}

TEST_F(Basics, LongNamesAreShortenedAtCharacterBoundaries) {
    LanguageScope de(AppLanguage::de);
    const QString d = mkdir("long");
    // 'ä' is two bytes: 125 of them plus ".txt" fill 254 bytes.
    const QString name = QString(125, QChar(0xe4)) + ".txt";
    ASSERT_EQ(name.toUtf8().size(), 254);
    file("long/" + name, "x");
    const QString copy = FileOps::uniqueURL(name, d);
    const QString copyName = copy.mid(d.size() + 1);
    EXPECT_LE(copyName.toUtf8().size(), 255);
    EXPECT_TRUE(copyName.endsWith(" Kopie.txt"));
    EXPECT_EQ(QString::fromUtf8(copyName.toUtf8()), copyName); // no broken character
    ASSERT_TRUE(TestUtil::writeFile(copy, "y"));
    const QString second = FileOps::uniqueURL(name, d);
    EXPECT_TRUE(second.endsWith(" Kopie 2.txt"));
    EXPECT_LE(second.mid(d.size() + 1).toUtf8().size(), 255);
}

TEST_F(Basics, SameVolumeAndTotalSize) {
    const QString a = file("s/a", pattern(1000));
    file("s/sub/b", pattern(24));
    mkdir("s/empty/deeper");
    EXPECT_TRUE(FileOps::sameVolume(a, a));
    EXPECT_FALSE(FileOps::sameVolume(path("missing"), path("missing")));
    EXPECT_FALSE(FileOps::sameVolume(a, "/proc"));

    EXPECT_EQ(FileOps::totalSize({}).bytes, 0);
    const auto t = FileOps::totalSize({path("s"), a, path("missing")});
    EXPECT_EQ(t.bytes, 2024);
    EXPECT_EQ(t.files, 3);
    EXPECT_EQ(FileOps::totalSize({path("s/empty")}).files, 0);
}

TEST_F(Basics, RenameNeverReplacesAndExplainsFailure) {
    const QString a = file("r/a", "A");
    const QString b = file("r/b", "B");
    try {
        FileOps::rename(a, b);
        FAIL() << "rename replaced an existing item";
    } catch (const FileError &e) {
        EXPECT_EQ(e.code, EEXIST);
        EXPECT_FALSE(e.renameNotApplied);
    }
    EXPECT_EQ(TestUtil::readFile(b), "B");
    EXPECT_EQ(TestUtil::readFile(a), "A");

    LanguageScope de(AppLanguage::de);
    try {
        FileOps::rename(path("r/missing"), path("r/c"));
        FAIL();
    } catch (const FileError &e) {
        EXPECT_EQ(e.code, ENOENT);
        EXPECT_TRUE(e.description.startsWith("„missing“ ließ sich nicht umbenennen. "))
            << e.description.toStdString();
        // The reason in our words, not the system's.
        EXPECT_TRUE(e.description.endsWith("Die Datei gibt es nicht mehr oder sie wurde verschoben."));
    }
    FileOps::rename(a, path("r/c"));
    EXPECT_EQ(TestUtil::readFile(path("r/c")), "A");
}

TEST(Explain, SentencesByErrno) {
    LanguageScope de(AppLanguage::de);
    auto ex = [](int code) { return FileOps::explain(FileError::fromErrno(code), "x"); };
    EXPECT_TRUE(ex(EACCES).startsWith("„x“: Keine Berechtigung."));
    EXPECT_EQ(ex(EPERM), ex(EACCES));
    // Every code the engine can meet has our sentence, in every language; the system's words (English
    // here) never stand in for it.
    for (int code :
         {EEXIST,  ENOTEMPTY,  EISDIR, ENOTDIR, EXDEV,     EIO,     ELOOP,  EMLINK, EFBIG,  EINVAL,   EILSEQ,
          ETXTBSY, EOPNOTSUPP, ENOMEM, EMFILE,  ENFILE,    ENODATA, E2BIG,  ERANGE, ESTALE, ENOTCONN, ENXIO,
          ENODEV,  ETIMEDOUT,  EAGAIN, EINTR,   ECANCELED, EBADF,   ENOENT, ENOSPC, EROFS}) {
        const QString system = FileError::fromErrno(code).description;
        const QString german = ex(code);
        for (AppLanguage lang : AppLanguages::allCases) {
            LanguageScope l(lang);
            EXPECT_FALSE(ex(code).contains(system)) << code << " " << ex(code).toStdString();
            if (lang != AppLanguage::de) {
                EXPECT_NE(ex(code), german) << "untranslated: " << german.toStdString();
            }
        }
    }
    // A network drive whose connection broke is one that can no longer be reached, however it broke.
    for (int code : {ECONNABORTED, ECONNRESET, ETIMEDOUT, EHOSTUNREACH, ENOTCONN})
        EXPECT_EQ(ex(code), "„x“: Das Laufwerk ist nicht mehr erreichbar.") << code;
    // An unforeseen code: ours first, the system's text only as a detail; a description of our own stays.
    EXPECT_EQ(ex(EDOM), "„x“: Der Vorgang ist fehlgeschlagen (Fehler " + QString::number(EDOM) + ": " +
                            FileError::fromErrno(EDOM).description + ").");
    EXPECT_EQ(FileOps::explain(FileError{EOPNOTSUPP, "Eigener Satz.", false}, "x"), "„x“: Eigener Satz.");

    EXPECT_TRUE(FileOps::isPermissionDenied(FileError::fromErrno(EACCES)));
    EXPECT_FALSE(FileOps::isPermissionDenied(FileError::fromErrno(EROFS)));
    EXPECT_FALSE(FileOps::isPermissionDenied(FileError{}));

    const CopyFailure deep{"/src/Fotos/2020/bild.jpg", FileError::fromErrno(ENOSPC)};
    EXPECT_EQ(FileOps::describe(deep, "Fotos"),
              "„bild.jpg“: Nicht genug freier Speicherplatz auf dem Ziel. (in „Fotos“)");
    const CopyFailure single{"/src/bild.jpg", FileError::fromErrno(ENOSPC)};
    EXPECT_EQ(FileOps::describe(single, "bild.jpg"),
              "„bild.jpg“: Nicht genug freier Speicherplatz auf dem Ziel.");
}

TEST(TrashMemory, NewestWinsCapAndCorruptList) {
    Defaults::remove("trashOrigins");
    TrashMemory::remember("/a/one", "/t/x");
    TrashMemory::remember("/a/two", "/t/x");
    EXPECT_EQ(TrashMemory::origin("/t/x"), "/a/two");
    EXPECT_EQ(Defaults::value("trashOrigins").toList().size(), 1);
    TrashMemory::forget("/t/x");
    EXPECT_FALSE(TrashMemory::origin("/t/x"));

    QVariantList many;
    for (int i = 0; i < TrashMemory::limit; ++i)
        many << QVariant(QVariantList{QString("/t/%1").arg(i), "/o"});
    Defaults::setValue("trashOrigins", many);
    TrashMemory::remember("/o/new", "/t/new");
    EXPECT_EQ(Defaults::value("trashOrigins").toList().size(), TrashMemory::limit);
    EXPECT_FALSE(TrashMemory::origin("/t/0"));
    EXPECT_EQ(TrashMemory::origin("/t/1"), "/o");
    EXPECT_EQ(TrashMemory::origin("/t/new"), "/o/new");

    Defaults::setValue("trashOrigins", QVariantList{QVariant(QVariantList{"/t/a", "/o/a"}), QVariant(5)});
    EXPECT_FALSE(TrashMemory::origin("/t/a"));
    TrashMemory::remember("/o/b", "/t/b"); // the next write replaces the corrupt value
    EXPECT_EQ(Defaults::value("trashOrigins").toList().size(), 1);
    Defaults::remove("trashOrigins");
}
