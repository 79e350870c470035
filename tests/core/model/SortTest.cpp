#include "ModelFixture.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <QCollator>
#include <algorithm>

namespace {

FileItem rec(const QString &name, bool dir = false, qint64 size = 0, std::optional<qint64> mtime = {},
             const QString &kind = {}, bool package = false) {
    FileItem f;
    f.setPath(QStringLiteral("/x/") + name);
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

namespace {

QStringList paths(const QList<FileItem> &items) {
    QStringList out;
    for (const FileItem &i : items)
        out << i.path();
    return out;
}

// Names that collate alike in different spellings (case, digit runs, accents, punctuation), each many
// times over, so that stability decides the order of equal names; every record has its own path.
QList<FileItem> trickyRecords(int count) {
    const char *const names[] = {"Bild 2", "bild 2", "Bild 10", "BILD 02", "Ärger", "Arger", "ärger",
                                 "a-b",    "a_b",    "ab",      "ß",       "ss",    "file9", "file10",
                                 "",       " lead",  "Zeta",    "zeta",    "é",     "e"};
    QList<FileItem> out;
    for (int i = 0; i < count; ++i) {
        FileItem f = rec(QString::fromUtf8(names[i % std::size(names)]), i % 7 == 0, (i * 37) % 5);
        f.setPath(QStringLiteral("/x/%1").arg(i));
        f.kind = i % 3 ? QStringLiteral("Text") : QStringLiteral("Bild");
        out << f;
    }
    return out;
}

// The order one stable sort on one thread gives, compared pair by pair with the collator.
QList<FileItem> referenceSort(const QList<FileItem> &items, SortKey key, bool reversed) {
    QCollator c(AppLanguages::locale(Lang::current()));
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    c.setIgnorePunctuation(false);
    QList<FileItem> out = items;
    std::stable_sort(out.begin(), out.end(), [&](const FileItem &a, const FileItem &b) {
        if (a.isDirectory != b.isDirectory) return a.isDirectory;
        if (key == SortKey::size && a.size != b.size) return a.size > b.size;
        if (key == SortKey::type)
            if (const int k = c.compare(a.kind, b.kind); k != 0) return k < 0;
        return c.compare(a.name, b.name) < 0;
    });
    if (reversed) {
        const auto firstFile =
            std::find_if(out.begin(), out.end(), [](const FileItem &f) { return !f.isDirectory; });
        std::reverse(out.begin(), firstFile);
        std::reverse(firstFile, out.end());
    }
    return out;
}

} // namespace

TEST(Sorting, LargeListsSortOnSeveralThreadsAsOneStableSortWould) {
    // Above the size from which the keys are made and the runs sorted on several threads.
    const QList<FileItem> items = trickyRecords(24'001);
    for (SortKey key : {SortKey::name, SortKey::size, SortKey::type})
        for (bool reversed : {false, true})
            EXPECT_EQ(paths(FileLoader::sorted(items, key, reversed)),
                      paths(referenceSort(items, key, reversed)))
                << rawValue(key).toStdString() << (reversed ? " reversed" : "");
}

TEST(Sorting, MergedChangesGiveWhatSortingTheNewStateGives) {
    // A folder of folders and files; the watch then names entries that were added, removed, renamed or
    // changed, at the ends of the list and where the folders end.
    QList<FileItem> state;
    for (int i = 0; i < 300; ++i) {
        FileItem f = rec(QStringLiteral("item %1").arg(i), i % 10 == 0, i % 13, 1000 + i % 17);
        f.kind = i % 2 ? QStringLiteral("Text") : QStringLiteral("Bild");
        state << f;
    }
    // The same name in another folder (a merged trash listing) is not the changed entry.
    FileItem elsewhere = rec(QStringLiteral("item 5"));
    elsewhere.setPath(QStringLiteral("/y/item 5"));
    state << elsewhere;
    const auto byName = [](QList<FileItem> &list, const QString &name) {
        return std::find_if(list.begin(), list.end(),
                            [&](const FileItem &f) { return f.path() == QStringLiteral("/x/") + name; });
    };
    for (SortKey key : {SortKey::name, SortKey::size, SortKey::date, SortKey::type})
        for (bool reversed : {false, true}) {
            const QList<FileItem> before = FileLoader::sorted(state, key, reversed);
            QList<FileItem> after = state;
            QList<FileItem> records;
            const QStringList changed{"item 0", "item 299", "item 290", "item 5",  "renamed", "!first",
                                      "~last",  "item 7",   "never",    "new dir", "item 20"};
            after.erase(byName(after, "item 0"));   // the first folder goes
            after.erase(byName(after, "item 299")); // and the last file
            after.erase(byName(after, "item 290")); // and the last folder
            after.erase(byName(after, "item 5"));   // renamed
            records << rec("renamed", false, 4, 1004);
            records << rec("!first", false, 99, 9999) << rec("~last", false, 0, 1) << rec("new dir", true);
            auto seven = byName(after, "item 7"); // changed in place: bigger and newer
            seven->size = 50;
            seven->modified = QDateTime::fromSecsSinceEpoch(5000);
            const FileItem sevenNow = *seven;
            records << sevenNow;
            records << *byName(after, "item 20"); // reported, but unchanged
            after << records[0] << records[1] << records[2] << records[3];
            const QList<FileItem> merged =
                FileLoader::merged(before, QStringLiteral("/x"), changed, records, key, reversed);
            EXPECT_EQ(paths(merged), paths(FileLoader::sorted(after, key, reversed)))
                << rawValue(key).toStdString() << (reversed ? " reversed" : "");
            EXPECT_GE(merged.indexOf(sevenNow), 0);
        }
    // From nothing, and down to nothing.
    const QList<FileItem> two{rec("b"), rec("a", true)};
    EXPECT_EQ(paths(FileLoader::merged({}, "/x", {"a", "b"}, two, SortKey::name, false)),
              (QStringList{"/x/a", "/x/b"}));
    EXPECT_TRUE(FileLoader::merged(FileLoader::sorted(two, SortKey::name, false), "/x", {"a", "b"}, {},
                                   SortKey::name, false)
                    .isEmpty());
}

using SortingOnDisk = ModelFixture;

// A change is made where the items are: rows leave and come in the same block, the very top included
// (where Qt would otherwise move the whole list to a new block with room in front).
TEST(Sorting, APlanChangesTheItemsInTheirOwnBlock) {
    QList<FileItem> items;
    items.reserve(64);
    for (const char *n : {"b", "c", "d", "e", "f"})
        items << rec(QString::fromLatin1(n));
    const FileItem *block = items.constData();
    FileLoader::MergePlan plan = FileLoader::mergePlan(items, QStringLiteral("/x"), {"a", "d", "g"},
                                                       {rec("a"), rec("g")}, SortKey::name, false);
    EXPECT_EQ(plan.drop, std::vector<qsizetype>{2});
    EXPECT_EQ(plan.rows, (std::vector<qsizetype>{0, 5}));
    QStringList steps;
    FileLoader::applyPlan(items, plan, [&](const FileLoader::MergeStep &s) {
        if (s.done) steps << QStringLiteral("%1 %2-%3").arg(s.insert ? "+" : "-").arg(s.first).arg(s.last);
    });
    EXPECT_EQ(order(items), (QStringList{"a", "b", "c", "e", "f", "g"}));
    EXPECT_EQ(steps, (QStringList{"- 2-2", "+ 0-0", "+ 5-5"}));
    EXPECT_EQ(items.constData(), block);
}

TEST_F(SortingOnDisk, LastOpenedUsesAccessTimeAndMissingFilesGoLast) {
    file(QStringLiteral("early"));
    file(QStringLiteral("late"));
    struct timespec early[2] = {{1000, 0}, {1000, 0}};
    struct timespec late[2] = {{5000, 0}, {1000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(at("early")).constData(), early, 0);
    ::utimensat(AT_FDCWD, QFile::encodeName(at("late")).constData(), late, 0);
    QList<FileItem> items{FileLoader::item(at("early")), FileLoader::item(at("late"))};
    FileItem gone = rec("gone");
    gone.setPath(at(QStringLiteral("gone")));
    items.prepend(gone);
    EXPECT_EQ(sortedNames(items, SortKey::lastOpened), (QStringList{"late", "early", "gone"}));
    EXPECT_EQ(FileLoader::lastUsedDate(at("late")), QDateTime::fromSecsSinceEpoch(5000));
    EXPECT_FALSE(FileLoader::lastUsedDate(at("gone")));
    // Birth times of the same second tie and fall back to names; the missing file is last.
    EXPECT_EQ(sortedNames(items, SortKey::created).last(), "gone");
}
