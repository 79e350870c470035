#include "core/model/ModelFixture.h"

#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FolderSize.h"
#include "core/model/FullDetails.h"
#include "core/model/MultiSummary.h"
#include "core/model/SizeWalk.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/FileFlags.h"
#include "platform/Xattr.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <atomic>
#include <pwd.h>
#include <unistd.h>

using InfoFacts = ModelFixture;

TEST_F(InfoFacts, DetailsOfFilesFoldersAndMissingItems) {
    EXPECT_EQ(FullDetails::load(at("gone")), FullDetails());

    file("a.txt", QByteArray(1500, 'x'));
    FileOps::setComment(QStringLiteral("Notiz"), at("a.txt"));
    FileOps::setTagNames({QStringLiteral("Rot")}, at("a.txt"));
    ::chmod(QFile::encodeName(at("a.txt")).constData(), 0640);
    const FullDetails f = FullDetails::load(at("a.txt"));
    EXPECT_FALSE(f.isDirectory);
    EXPECT_EQ(f.bytes, 1500);
    EXPECT_GE(f.onDisk, 0);
    EXPECT_EQ(f.mode, 0640);
    // The account's name; none for an account that has no name.
    const passwd *account = ::getpwuid(::geteuid());
    EXPECT_EQ(f.owner, account ? QString::fromUtf8(account->pw_name) : QString());
    EXPECT_FALSE(f.kind.isEmpty());
    ASSERT_TRUE(f.modified);
    EXPECT_FALSE(f.locked);
    EXPECT_FALSE(f.hiddenExtension);
    if (Xattr::list(at("a.txt"))->contains(QStringLiteral("user.xdg.comment"))) {
        EXPECT_EQ(f.comment, "Notiz");
        EXPECT_EQ(f.tags, QStringList{"Rot"});
    }
    // A file system without birth times gives no creation date, never a made-up one.
    EXPECT_EQ(f.created.has_value(), FileFlags::birthTime(at("a.txt")).has_value());

    folder("d");
    file("d/inner", "12345");
    const FullDetails d = FullDetails::load(at("d"));
    EXPECT_TRUE(d.isDirectory);
    EXPECT_EQ(d.bytes, 0);
}

TEST_F(InfoFacts, ContentRowsComeFromTheInstalledReader) {
    file("x.png");
    EXPECT_TRUE(FullDetails::extraInfo(at("x.png")).isEmpty());
    FullDetails::setExtraProvider([](const QString &) {
        return QList<FullDetails::Extra>{{QStringLiteral("Auflösung"), QStringLiteral("4032×3024")}};
    });
    EXPECT_EQ(FullDetails::load(at("x.png")).extra.value(0).value, QStringLiteral("4032×3024"));
    FullDetails::setExtraProvider({});
}

TEST_F(InfoFacts, FormattingOfBytesAndLocation) {
    TestUtil::LanguageScope german(AppLanguage::de);
    EXPECT_EQ(InfoFmt::exactBytes(1234567), QStringLiteral("1.234.567 Byte"));
    {
        // Polish groups every three digits from five digits on, and the word follows the count.
        TestUtil::LanguageScope polish(AppLanguage::pl);
        const QString nbsp(QChar(0x00A0));
        EXPECT_EQ(InfoFmt::exactBytes(1234567), "1" + nbsp + "234" + nbsp + "567 bajtów");
        EXPECT_EQ(InfoFmt::exactBytes(1), "1 bajt");
        EXPECT_EQ(InfoFmt::exactBytes(1024), "1024 bajty");
        TestUtil::LanguageScope english(AppLanguage::en);
        EXPECT_EQ(InfoFmt::exactBytes(1), "1 byte");
    }
    EXPECT_EQ(InfoFmt::location(QStringLiteral("/etc")), localName(QStringLiteral("/")));
    EXPECT_EQ(InfoFmt::location(QStringLiteral("/")), localName(QStringLiteral("/")));
    EXPECT_EQ(InfoFmt::location(QStringLiteral("/usr/share/x")),
              localName("/") + " ▸ " + localName("/usr") + " ▸ " + localName("/usr/share"));
}

TEST_F(InfoFacts, SummaryOfSeveralItems) {
    for (const char *name :
         {"1.txt", "2.txt", "3.txt", "a.png", "b.png", "c.pdf", "d.pdf", "e.zip", "f.html", "g.mp3"})
        file(QString::fromUtf8(name));
    folder("sub");
    setMtime("1.txt", 1000);
    setMtime("2.txt", 5000);
    QStringList paths;
    for (const char *name :
         {"1.txt", "2.txt", "3.txt", "a.png", "b.png", "c.pdf", "d.pdf", "e.zip", "f.html", "g.mp3"})
        paths << at(QString::fromUtf8(name));
    MultiSummary s = MultiSummary::make(paths);
    EXPECT_EQ(s.folders, 0);
    EXPECT_EQ(s.files, 10);
    EXPECT_EQ(s.location, dir());
    // Counts 3, 2, 2, 1, 1, 1: most frequent first, equal counts by name.
    ASSERT_EQ(s.kinds.size(), 6);
    QList<int> counts;
    for (const auto &k : s.kinds)
        counts << k.count;
    EXPECT_EQ(counts, (QList<int>{3, 2, 2, 1, 1, 1}));
    EXPECT_LT(s.kinds[1].name, s.kinds[2].name);
    EXPECT_LT(s.kinds[3].name, s.kinds[4].name);
    EXPECT_LT(s.kinds[4].name, s.kinds[5].name);
    ASSERT_TRUE(s.oldest && s.newest);
    EXPECT_EQ(s.oldest->toSecsSinceEpoch(), 1000);

    file("sub/x.txt");
    s = MultiSummary::make({at("sub"), at("gone"), at("sub/x.txt")});
    EXPECT_EQ(s.folders, 1);
    EXPECT_EQ(s.files, 2);
    EXPECT_FALSE(s.location);
    EXPECT_TRUE(s.kinds.contains(MultiSummary::Kind{QStringLiteral("?"), 1}));
}

TEST_F(InfoFacts, TagsOnAllItemsMatchCanonically) {
    file("a");
    file("b");
    if (Xattr::set(at("a"), QStringLiteral("user.probe"), "1") != 0) GTEST_SKIP() << "no user xattrs here";
    // "Grün" written with a combining diaeresis on one item.
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Rot\n6"), QStringLiteral("Gru\u0308n\n2")}, at("a")));
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Grün\n2")}, at("b")));
    EXPECT_EQ(tagsOnAllOf({at("a"), at("b")}), QSet<QString>{QStringLiteral("Grün")});
    EXPECT_EQ(tagsOnAllOf({at("a")}), (QSet<QString>{QStringLiteral("Rot"), QStringLiteral("Grün")}));
    EXPECT_TRUE(tagsOnAllOf({}).isEmpty());
    EXPECT_EQ(MultiSummary::make({at("a"), at("b")}).tagsOnAll, QSet<QString>{QStringLiteral("Grün")});
}

TEST_F(InfoFacts, SelectionSizeCountsNestedItemsOnceAndStops) {
    folder("d/e");
    file("d/one", "1234");
    file("d/e/two", "123456");
    file("three", "12");
    FileOps::SelectionSize r =
        FileOps::selectionSize({at("d"), at("d/one"), at("d/e"), at("d/e/two"), at("three"), at("three")});
    EXPECT_EQ(r.bytes, 12);
    EXPECT_EQ(r.files, 3);
    // A name that merely starts like a selected folder is no item inside it.
    file("d2", "1");
    r = FileOps::selectionSize({at("d"), at("d2")});
    EXPECT_EQ(r.files, 3);
    CancelFlag flag;
    flag.setCancelled();
    EXPECT_TRUE(FileOps::selectionSize({at("d")}, &flag).cancelled);
}

TEST_F(InfoFacts, FolderOfExactlyTheLimitIsComplete) {
    folder("f");
    for (int i = 0; i < 3; ++i)
        file(QStringLiteral("f/%1").arg(i), "12");
    FileOps::FolderSize r = FileOps::folderSize(at("f"), 3);
    EXPECT_FALSE(r.truncated);
    EXPECT_EQ(r.files, 3);
    file("f/3", "12");
    r = FileOps::folderSize(at("f"), 3);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.bytes, 6);
}

// A count that runs until it is cancelled, so tests see how walks overlap.
struct BlockingCount {
    struct Counters {
        std::atomic<int> started{0}, sawCancel{0};
    };
    // Shared with the walks, which may still be returning when the test ends.
    std::shared_ptr<Counters> c = std::make_shared<Counters>();
    std::atomic<int> &started = c->started;
    std::atomic<int> &sawCancel = c->sawCancel;
    SizeWalk::Count fn() {
        return [c = c](const QStringList &paths, const CancelFlag &cancel) {
            ++c->started;
            for (int i = 0; i < 500 && !cancel.cancelled(); ++i)
                QThread::msleep(2);
            if (cancel.cancelled()) ++c->sawCancel;
            return FileOps::SelectionSize{qint64(paths.size()), 0, false, cancel.cancelled()};
        };
    }
};

TEST_F(InfoFacts, OneWalkAtATimeAndOnlyTheNewestIsReported) {
    BlockingCount count;
    SizeWalk::setCountForTests(count.fn());
    SizeWalk::resetRunningMost();
    {
        SizeWalk walk;
        QSignalSpy done(&walk, &SizeWalk::finished);
        walk.start({"a"});
        QTRY_VERIFY(count.started == 1);
        walk.start({"a", "b"});
        walk.start({"a", "b", "c"});
        QTRY_VERIFY(count.started == 2);
        EXPECT_EQ(count.sawCancel, 1);
        EXPECT_EQ(SizeWalk::runningMost(), 1);
        // The last request is counted to its end (the blocking count ends by itself after a second).
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 5000);
        EXPECT_EQ(done.first().first().value<FileOps::SelectionSize>().bytes, 3);

        walk.start({"x"});
        QTRY_VERIFY(count.started == 3);
    }
    // Gone with its owner: the walk stops.
    QTRY_VERIFY(count.sawCancel == 2);
    QTRY_VERIFY(SizeWalk::runningNow() == 0);
    SizeWalk::setCountForTests({});
}
