// The tag submenu: its marks for mixed selections, reading that stops early and never holds the menu up,
// and what choosing an entry changes.
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/Tags.h"
#include "ui/panecontent/TagMenu.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

namespace {

using Tags = QHash<QString, QStringList>;

TagMenu::Reader readerOf(const Tags &tags, std::atomic_int *reads = nullptr) {
    return [tags, reads](const QString &path) {
        if (reads) ++*reads;
        return tags.value(path);
    };
}

TEST(TagMenuMarks, OnlyTagsEveryPathCarriesAreMarked) {
    const Tags tags{{"/a", {"Rot", "Blau"}}, {"/b", {"Blau"}}, {"/c", {"Blau", "Red"}}, {"/d", {}}};
    EXPECT_EQ(TagMenu::marks({"/a", "/b"}, nullptr, readerOf(tags)), QSet<QString>{"Blau"});
    EXPECT_EQ(TagMenu::marks({"/a"}, nullptr, readerOf(tags)), (QSet<QString>{"Rot", "Blau"}));
    EXPECT_TRUE(TagMenu::marks({"/a", "/d"}, nullptr, readerOf(tags)).isEmpty());
    EXPECT_TRUE(TagMenu::marks({}, nullptr, readerOf(tags)).isEmpty());
    // A name in another language is no choice of ours.
    EXPECT_EQ(TagMenu::marks({"/c"}, nullptr, readerOf(tags)), QSet<QString>{"Blau"});
}

// Listed items bring their tags along: only paths the listing does not show are read.
TEST(TagMenuMarks, ListedItemsAreTakenAsListedAndOnlyTheOthersRead) {
    QList<FileItem> listed;
    for (int i = 0; i < 1000; ++i) {
        FileItem item;
        item.setPath(QStringLiteral("/f%1").arg(i));
        item.setTags({"Rot\n6", i % 2 ? "Blau\n4" : "Grün\n2"}); // as listed: name and colour
        listed << item;
    }
    const Tags onDisk{{"/f1", {}}, {"/f2", {}}, {"/x", {"Rot"}}};
    std::atomic_int reads = 0;
    EXPECT_EQ(TagMenu::marks({"/f1", "/f3"}, nullptr, readerOf(onDisk, &reads), listed),
              (QSet<QString>{"Rot", "Blau"}));
    EXPECT_EQ(TagMenu::marks({"/f1", "/f2", "/x"}, nullptr, readerOf(onDisk, &reads), listed),
              QSet<QString>{"Rot"});
    EXPECT_EQ(reads, 1);
    // An untagged item among them ends every mark.
    listed[5].setTags({});
    QStringList all;
    for (const FileItem &item : std::as_const(listed))
        all << item.path();
    EXPECT_TRUE(TagMenu::marks(all, nullptr, readerOf(onDisk, &reads), listed).isEmpty());
    EXPECT_EQ(reads, 1);
}

TEST(TagMenuMarks, ReadingStopsOnceNoMarkIsPossible) {
    QStringList paths{"/untagged"};
    for (int i = 0; i < 100000; ++i)
        paths << QStringLiteral("/f%1").arg(i);
    std::atomic_int reads = 0;
    Tags tags{{"/untagged", {}}};
    EXPECT_TRUE(TagMenu::marks(paths, nullptr, readerOf(tags, &reads)).isEmpty());
    EXPECT_EQ(reads.load(), 1);
    // Cancelled: no further reads.
    std::atomic_bool cancel = true;
    reads = 0;
    TagMenu::marks(paths, &cancel, readerOf(tags, &reads));
    EXPECT_EQ(reads.load(), 0);
}

class TagMenuTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    TestUtil::LanguageScope german{AppLanguage::de};
    AppState app;
};

TEST_F(TagMenuTest, OpeningNeverWaitsForTheReading) {
    QSemaphore gate;
    TagMenu menu(app.items(), [] { return QStringList{"/a", "/b"}; });
    const Tags tags{{"/a", {"Grün"}}, {"/b", {"Grün", "Rot"}}};
    menu.setReader([&gate, tags](const QString &path) {
        gate.tryAcquire(1, 3000); // a reader that held the menu up would be let go after a while
        return tags.value(path);
    });
    QSignalSpy read(&menu, &TagMenu::marksRead);
    emit menu.aboutToShow(); // as opening does; returns while the reader still waits
    EXPECT_FALSE(menu.readMarks().has_value());
    EXPECT_TRUE(menu.entry("Grün")->icon().isNull());
    gate.release(2);
    QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 5000);
    EXPECT_EQ(*menu.readMarks(), QSet<QString>{"Grün"});
    EXPECT_FALSE(menu.entry("Grün")->icon().isNull());
    EXPECT_TRUE(menu.entry("Rot")->icon().isNull());
}

TEST_F(TagMenuTest, ChoosingAddsToThoseWithoutAndShowsTheTranslatedName) {
    TestUtil::LanguageScope english{AppLanguage::en};
    QTemporaryDir dir(TestUtil::testHome() + "/tags-XXXXXX");
    const QString a = dir.path() + "/a", b = dir.path() + "/b";
    ASSERT_TRUE(TestUtil::writeFile(a, "1") && TestUtil::writeFile(b, "2"));
    if (FileOps::setTagNames({"Rot"}, a)) GTEST_SKIP() << "no user attributes here";
    int picks = 0;
    TagMenu menu(
        app.items(),
        [a, b] {
            return QStringList{a, b};
        },
        [&picks] { ++picks; });
    EXPECT_EQ(menu.entry("Rot")->text(), "Red");
    menu.entry("Rot")->trigger();
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(FileOps::tags(a), QStringList{"Rot"});
    EXPECT_EQ(FileOps::tags(b), QStringList{"Rot"});
    EXPECT_EQ(TagMenu::marks({a, b}), QSet<QString>{"Rot"});
    menu.actions().constLast()->trigger(); // "Tags entfernen"
    EXPECT_TRUE(FileOps::tags(a).isEmpty() && FileOps::tags(b).isEmpty());
}

} // namespace
