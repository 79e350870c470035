#include "ModelFixture.h"

#include "core/model/FileLoader.h"

#include <QSet>
#include <thread>

class Search : public ModelFixture {
protected:
    QList<FileItem> run(const QString &query, SearchFilter f = {}, int limit = 400) {
        CancelFlag flag;
        return FileLoader::search(dir(), query, f, flag, limit);
    }
};

TEST_F(Search, NameFragmentIgnoresCase) {
    file(QStringLiteral("Report.pdf"));
    file(QStringLiteral("deep/annual-REPORT.txt"));
    file(QStringLiteral("rep-ort.txt"));
    file(QStringLiteral("Über-Bericht.txt"));
    EXPECT_EQ(nameSet(run(QStringLiteral("report"))), (QSet<QString>{"Report.pdf", "annual-REPORT.txt"}));
    EXPECT_EQ(nameSet(run(QStringLiteral("über"))), QSet<QString>{"Über-Bericht.txt"});
    EXPECT_EQ(run(QString()).size(), 5); // the folder "deep" too
    // A name stored decomposed and a decomposed query match as their composed forms do.
    file(QStringLiteral("Gru\u0308\u00dfe Mu\u0308ller.txt"));
    EXPECT_EQ(run(QStringLiteral("müller")).size(), 1);
    EXPECT_EQ(nameSet(run(QStringLiteral("u\u0308ber"))), QSet<QString>{"Über-Bericht.txt"});
}

TEST_F(Search, FiltersByKindSizeAndAge) {
    file(QStringLiteral("a.jpg"));
    file(QStringLiteral("sub/b.png"));
    file(QStringLiteral("c.txt"));
    folder(QStringLiteral("pics.jpg"));
    EXPECT_EQ(nameSet(run({}, {SearchKind::images, SearchSize::any, SearchAge::any, true})),
              (QSet<QString>{"a.jpg", "b.png"}));

    file(QStringLiteral("exact.bin"), QByteArray(1'000'000, 'x'));
    file(QStringLiteral("under.bin"), QByteArray(999'999, 'x'));
    folder(QStringLiteral("big.bin"));
    EXPECT_EQ(nameSet(run(QStringLiteral(".bin"), {SearchKind::all, SearchSize::mb1, SearchAge::any, true})),
              QSet<QString>{"exact.bin"});

    setMtime(QStringLiteral("c.txt"), 1000);
    const auto today =
        nameSet(run(QStringLiteral(".txt"), {SearchKind::all, SearchSize::any, SearchAge::today, true}));
    EXPECT_FALSE(today.contains(QStringLiteral("c.txt")));
}

TEST_F(Search, SubfoldersHiddenAndLinksAreNotEntered) {
    file(QStringLiteral("top-x"));
    file(QStringLiteral("sub/deep-x"));
    file(QStringLiteral(".secret/in-x"));
    folder(QStringLiteral("loop"));
    link(dir(), QStringLiteral("loop/back")); // a cycle through a link
    link(at(QStringLiteral("sub")), QStringLiteral("alias-x"));
    EXPECT_EQ(nameSet(run(QStringLiteral("-x"), {SearchKind::all, SearchSize::any, SearchAge::any, false})),
              (QSet<QString>{"top-x", "alias-x"}));
    // The link itself is a hit, but what lies behind it is found only once, through the real folder.
    EXPECT_EQ(nameSet(run(QStringLiteral("-x"))), (QSet<QString>{"top-x", "deep-x", "alias-x"}));
    EXPECT_EQ(run(QStringLiteral("-x")).size(), 3);
    EXPECT_EQ(run(QStringLiteral("back")).size(), 1);
}

TEST_F(Search, LimitBudgetAndCancel) {
    for (int i = 0; i < 1000; ++i)
        file(QStringLiteral("hit-%1").arg(i));
    EXPECT_EQ(run(QStringLiteral("hit")).size(), 400);
    EXPECT_EQ(run(QStringLiteral("hit"), {}, 10).size(), 10);
    CancelFlag flag;
    flag.setCancelled();
    EXPECT_TRUE(FileLoader::search(dir(), QStringLiteral("hit"), {}, flag).isEmpty());
    CancelFlag none;
    EXPECT_TRUE(FileLoader::search(at(QStringLiteral("missing")), {}, {}, none).isEmpty());
}

TEST_F(Search, StopsAfterEightyThousandEntries) {
    // An empty query matches everything, so the hits show how many entries were looked at.
    folder(QStringLiteral("a"));
    const QByteArray base = bytesAt("a/");
    for (int i = 0; i < 80'004; ++i) {
        const int fd = ::open((base + QByteArray::number(i)).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    EXPECT_EQ(run(QString(), {}, 200'000).size(), 80'000);
    // The caller is told that entries were left unlooked at, also when none of those seen matched.
    CancelFlag flag;
    bool cutShort = false;
    EXPECT_TRUE(FileLoader::search(dir(), QStringLiteral("nowhere"), {}, flag, 400, &cutShort).isEmpty());
    EXPECT_TRUE(cutShort);
    // Stopping at the hit limit, or a walk of everything, is not cut short by the budget.
    EXPECT_EQ(FileLoader::search(dir(), QString(), {}, flag, 10, &cutShort).size(), 10);
    EXPECT_FALSE(cutShort);
    file(QStringLiteral("b/one"));
    cutShort = true;
    EXPECT_EQ(FileLoader::search(at(QStringLiteral("b")), QString(), {}, flag, 400, &cutShort).size(), 1);
    EXPECT_FALSE(cutShort);
}

TEST_F(Search, NamesThatAreNotUtf8AreNeverHits) {
    folder(QStringLiteral("x"));
    for (const char *raw : {"x/frag\xff", "frag\xfe"}) {
        const int fd = ::open(bytesAt(raw).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    file(QStringLiteral("x/frag-ok"));
    // Nor is a valid name below such a folder: its path could not be shown.
    ASSERT_EQ(::mkdir(bytesAt("bad\xfd").constData(), 0755), 0);
    const int fd = ::open(bytesAt("bad\xfd/frag-below").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(nameSet(run(QStringLiteral("frag"))), QSet<QString>{"frag-ok"});
}
