#include "ModelFixture.h"

#include "core/model/FileLoader.h"

namespace {

FileItem rec(const QString &name, bool dir = false, qint64 size = 0, std::optional<qint64> mtime = {},
             const QString &kind = {}, bool package = false) {
    FileItem f;
    f.path = QStringLiteral("/x/") + name;
    f.name = name;
    f.isDirectory = dir;
    f.isPackage = package;
    f.size = size;
    if (mtime) f.modified = QDateTime::fromSecsSinceEpoch(*mtime);
    f.kind = kind;
    return f;
}

QStringList order(const QList<FileItem> &items) {
    QStringList out;
    for (const FileItem &i : items)
        out << i.name;
    return out;
}

// Both forms, which must agree.
QStringList sortedNames(const QList<FileItem> &items, SortKey key, bool reversed = false) {
    const QStringList copied = order(FileLoader::sorted(items, key, reversed));
    QList<FileItem> own = items;
    own.detach();
    EXPECT_EQ(order(FileLoader::sorted(std::move(own), key, reversed)), copied);
    return copied;
}

} // namespace

TEST(Sorting, FoldersFirstNaturalCaseInsensitiveNames) {
    const QList<FileItem> items{rec("b.txt"), rec("Zeta", true), rec("A.txt"), rec("alpha", true)};
    EXPECT_EQ(sortedNames(items, SortKey::name), (QStringList{"alpha", "Zeta", "A.txt", "b.txt"}));
    EXPECT_EQ(sortedNames(items, SortKey::name, true), (QStringList{"Zeta", "alpha", "b.txt", "A.txt"}));
    // The collator gets the language's locale, so numeric mode works even under a C locale.
    for (AppLanguage lang : AppLanguages::allCases) {
        TestUtil::LanguageScope scope(lang);
        EXPECT_EQ(sortedNames({rec("file10"), rec("file9"), rec("Bild 10"), rec("Bild 2")}, SortKey::name),
                  (QStringList{"Bild 2", "Bild 10", "file9", "file10"}));
    }
}

TEST(Sorting, SizeLargestFirstTiesByNameFoldersStillFirst) {
    const QList<FileItem> items{rec("small", false, 5), rec("big", false, 1000),
                                rec("b", false, 7),     rec("a", false, 7),
                                rec("Dir", true, 0),    rec("App.app", false, 2, {}, {}, true)};
    EXPECT_EQ(sortedNames(items, SortKey::size), (QStringList{"Dir", "big", "a", "b", "small", "App.app"}));
    EXPECT_EQ(sortedNames(items, SortKey::size, true),
              (QStringList{"Dir", "App.app", "small", "b", "a", "big"}));
}

TEST(Sorting, DatesNewestFirstUndatedLastTypeByKindThenName) {
    const QList<FileItem> items{rec("old", false, 0, 100), rec("none"), rec("new", false, 0, 200),
                                rec("also-new", false, 0, 200)};
    EXPECT_EQ(sortedNames(items, SortKey::date), (QStringList{"also-new", "new", "old", "none"}));
    EXPECT_EQ(sortedNames(items, SortKey::date, true), (QStringList{"none", "old", "new", "also-new"}));
    const QList<FileItem> kinds{rec("z", false, 0, {}, "Text"), rec("a", false, 0, {}, "Text"),
                                rec("m", false, 0, {}, "Bild")};
    EXPECT_EQ(sortedNames(kinds, SortKey::type), (QStringList{"m", "a", "z"}));
    EXPECT_TRUE(FileLoader::sorted({}, SortKey::created, true).isEmpty());
}

using SortingOnDisk = ModelFixture;

TEST_F(SortingOnDisk, LastOpenedUsesAccessTimeAndMissingFilesGoLast) {
    file(QStringLiteral("early"));
    file(QStringLiteral("late"));
    struct timespec early[2] = {{1000, 0}, {1000, 0}};
    struct timespec late[2] = {{5000, 0}, {1000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(at("early")).constData(), early, 0);
    ::utimensat(AT_FDCWD, QFile::encodeName(at("late")).constData(), late, 0);
    QList<FileItem> items{FileLoader::item(at("early")), FileLoader::item(at("late"))};
    FileItem gone = rec("gone");
    gone.path = at(QStringLiteral("gone"));
    items.prepend(gone);
    EXPECT_EQ(sortedNames(items, SortKey::lastOpened), (QStringList{"late", "early", "gone"}));
    EXPECT_EQ(FileLoader::lastUsedDate(at("late")), QDateTime::fromSecsSinceEpoch(5000));
    EXPECT_FALSE(FileLoader::lastUsedDate(at("gone")));
    // Birth times of the same second tie and fall back to names; the missing file is last.
    EXPECT_EQ(sortedNames(items, SortKey::created).last(), "gone");
}
