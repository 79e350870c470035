#include "core/model/FileItem.h"
#include "core/model/FileLoader.h"
#include "core/model/PathIndex.h"
#include "core/model/SearchFilter.h"
#include "core/model/Side.h"
#include "core/model/SortKey.h"
#include "core/model/ViewMode.h"

#include "common/TestUtil.h"

#include <QThreadPool>
#include <gtest/gtest.h>

TEST(Records, RawValuesRoundTripAndUnknownOnesYieldNothing) {
    for (ViewMode m : ViewModes::allCases)
        EXPECT_EQ(viewModeFromRaw(rawValue(m)), m);
    for (SortKey k : SortKeys::allCases)
        EXPECT_EQ(sortKeyFromRaw(rawValue(k)), k);
    for (SearchKind k : SearchKinds::allCases)
        EXPECT_EQ(searchKindFromRaw(rawValue(k)), k);
    EXPECT_FALSE(viewModeFromRaw(QStringLiteral("Icons")));
    EXPECT_FALSE(searchSizeFromRaw(5));
    EXPECT_FALSE(searchAgeFromRaw(-1));
}

TEST(Records, SearchKindMatchesByLowercasedExtension) {
    EXPECT_TRUE(matches(SearchKind::documents, QStringLiteral("Report.PDF"), false, false));
    EXPECT_FALSE(matches(SearchKind::documents, QStringLiteral("x.pdf"), true, false));
    EXPECT_TRUE(matches(SearchKind::archives, QStringLiteral("backup.tar.gz"), false, false));

    // No extension: only "all", and "folders" for a folder.
    for (SearchKind k : SearchKinds::allCases) {
        EXPECT_EQ(matches(k, QStringLiteral("README"), false, false), k == SearchKind::all);
        EXPECT_EQ(matches(k, QStringLiteral("Projekte"), true, false),
                  k == SearchKind::all || k == SearchKind::folders);
    }
    EXPECT_TRUE(matches(SearchKind::apps, QStringLiteral("org.example.Editor.desktop"), false, false));
    EXPECT_FALSE(matches(SearchKind::apps, QStringLiteral("x.desktop"), true, false));
}

TEST(Records, AgeCutoffsUseTheLocalCalendar) {
    const QDateTime now(QDate(2026, 3, 15), QTime(14, 30));
    EXPECT_FALSE(cutoff(SearchAge::any, now));
    EXPECT_EQ(cutoff(SearchAge::year, now), QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    EXPECT_EQ(cutoff(SearchAge::today, now), QDateTime(QDate(2026, 3, 15), QTime(0, 0)));
    EXPECT_EQ(cutoff(SearchAge::week, now), QDateTime(QDate(2026, 3, 8), QTime(14, 30)));
    EXPECT_EQ(cutoff(SearchAge::month, now), QDateTime(QDate(2026, 2, 13), QTime(14, 30)));
}

TEST(Records, FileItemEqualityAndFolderTint) {
    FileItem a = TestUtil::fileItem(QStringLiteral("/x/a"), false, 5);
    FileItem b = a;
    EXPECT_EQ(qHash(a), qHash(b));
    b.size = 6;
    EXPECT_NE(a, b);
    EXPECT_EQ(a.id(), b.id());
    b = a;
    b.setIconPath(QString());
    EXPECT_NE(a, b); // none differs from an empty path

    // The folder tint is the first tag with a colour.
    FileItem f;
    f.setTags({QStringLiteral("Projekt\n0"), QStringLiteral("Rot\n6")});
    EXPECT_EQ(f.folderTint(), 6);
    f.setTags({QStringLiteral("Projekt\n0")});
    EXPECT_FALSE(f.folderTint());
    f.setTags({QStringLiteral("Blau")});
    EXPECT_EQ(f.folderTint(), 4);
}

TEST(Records, APathIsKeptAsFolderAndDiskNameAndComesBackWhole) {
    for (const char *path : {"/", "/a", "/x/a", "/x/y/", "rel", "/x/ä b.txt", "/x/.a"}) {
        FileItem i;
        i.setPath(QString::fromUtf8(path));
        EXPECT_EQ(i.path(), QString::fromUtf8(path));
        EXPECT_TRUE(i.isAt(QString::fromUtf8(path))) << path;
    }
    FileItem x;
    x.setPath(QStringLiteral("/x/a"));
    for (const char *other : {"/x/ab", "/x/a/", "/y/a", "/xa", "/xza", "/x//a", "x/a", "/x/b"})
        EXPECT_FALSE(x.isAt(QString::fromUtf8(other))) << other;
    FileItem top;
    top.setPath(QStringLiteral("/a"));
    EXPECT_FALSE(top.isAt(QStringLiteral("//a")));
    EXPECT_FALSE(top.isAt(QStringLiteral("a")));
    // A translated folder name is only what is shown.
    FileItem desk;
    desk.name = QStringLiteral("Schreibtisch");
    desk.setPath(QStringLiteral("/home/u/Desktop"));
    EXPECT_EQ(desk.path(), QStringLiteral("/home/u/Desktop"));
    EXPECT_NE(desk, TestUtil::fileItem(QStringLiteral("/home/u/Schreibtisch")));
}

TEST(Records, TheRecordsOfAListingShareTheirFolderAndNameCharacters) {
    QTemporaryDir dir;
    for (int i = 0; i < 4200; ++i) { // enough to be listed by several threads
        QFile f(dir.path() + QStringLiteral("/f%1").arg(i));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QList<FileItem> items = FileLoader::list(dir.path()).items;
    ASSERT_EQ(items.size(), 4200);
    EXPECT_GT(items.capacity(), items.size()); // room for files added later, in the same block
    for (const FileItem &i : items) {
        ASSERT_EQ(i.folder.constData(), items.first().folder.constData()) << i.leaf.toStdString();
        ASSERT_EQ(i.leaf.constData(), i.name.constData()) << i.leaf.toStdString();
        ASSERT_EQ(i.path(), dir.path() + u'/' + i.name);
    }
}

TEST(Records, RowsAreFoundByPathHoweverARecordSplitsIt) {
    QList<FileItem> items;
    for (const char *p : {"/x/a", "/x/b", "/", "/y/a", "/x/a", "/top"})
        items << TestUtil::fileItem(QString::fromUtf8(p));
    const QList<FileItem> &list = items;
    FileItem odd; // the same place as row 1, kept whole
    odd.leaf = QStringLiteral("/x/b");
    EXPECT_TRUE(odd.isAt(QStringLiteral("/x/b")));
    const PathIndex index(list);
    EXPECT_EQ(index.row(odd), 1);
    EXPECT_EQ(index.row(QStringLiteral("/x/a")), 0); // the first row of a path wins
    EXPECT_EQ(index.row(QStringLiteral("/y/a")), 3);
    EXPECT_EQ(index.row(QStringLiteral("/")), 2);
    EXPECT_EQ(index.row(QStringLiteral("/top")), 5);
    EXPECT_EQ(index.row(QStringLiteral("/x/c")), -1);
    EXPECT_EQ(index.row(QStringLiteral("/x")), -1);
    EXPECT_EQ(index.row(list[1]), 1);
    EXPECT_EQ(index.row(TestUtil::fileItem(QStringLiteral("/y/b"))), -1);
    EXPECT_TRUE(index.covers(list));
    EXPECT_TRUE(index.covers(QList<FileItem>(list))); // a share of the same records
    QList<FileItem> copy = list;
    copy.detach();
    EXPECT_FALSE(index.covers(copy));
}

TEST(Records, ALongListIsScannedUntilItsIndexArrives) {
    QList<FileItem> items;
    const QString folder = QStringLiteral("/d");
    for (qsizetype i = 0; i < RowLookup::indexAtOnceBelow + 10; ++i) {
        FileItem f;
        f.name = QStringLiteral("f%1").arg(i);
        f.place(folder, f.name);
        items << f;
    }
    items << items[7]; // the same path again: the first row wins either way
    const QList<FileItem> &list = items;
    QList<FileItem> other = list;
    other.remove(0, 10);
    RowLookup rows;
    EXPECT_EQ(rows.row(list, QStringLiteral("/d/f7")), 7);
    EXPECT_FALSE(rows.indexed(list)); // scanned, not made to wait
    // Another list is never answered from the index made for the first.
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(rows.row(std::as_const(other), QStringLiteral("/d/f17")), 7);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(rows.row(list, QStringLiteral("/d/f20005")), 20005);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(rows.row(list, QStringLiteral("/d/f7")), 7);
    EXPECT_TRUE(rows.indexed(list));
    EXPECT_EQ(rows.row(list, QStringLiteral("/d/nope")), -1);
}
