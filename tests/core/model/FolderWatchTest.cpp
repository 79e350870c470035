#include "ModelFixture.h"

#include "core/model/FolderWatch.h"

#include <QSignalSpy>
#include <QTest>
#include <unistd.h>

namespace {

class FolderWatchTest : public ModelFixture {
protected:
    // The names reported for path until pred holds; empty list entries stand for "the whole folder".
    QStringList changesOf(const QString &path, QSignalSpy &spy) const {
        QStringList out;
        for (const QList<QVariant> &args : spy)
            if (args[0].toString() == path) {
                const QStringList names = args[1].toStringList();
                out << (names.isEmpty() ? QStringList{QStringLiteral("*")} : names);
            }
        return out;
    }
};

} // namespace

TEST_F(FolderWatchTest, NamesWhatChangedAndSurvivesQuickAddsAndRemoves) {
    FolderWatch &watch = FolderWatch::shared();
    folder(QStringLiteral("w"));
    const QString w = at(QStringLiteral("w"));
    QSignalSpy spy(&watch, &FolderWatch::folderChanged);
    // Asked for, given up and asked for again before the worker got to it: watched once at the end.
    ASSERT_TRUE(watch.add(w));
    watch.remove(w);
    ASSERT_TRUE(watch.add(w));
    watch.waitUntilWatched(w, 2000);
    file(QStringLiteral("w/new.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changesOf(w, spy).contains(QStringLiteral("new.txt")); }, 3000));
    spy.clear();
    ASSERT_EQ(::rename(QFile::encodeName(at("w/new.txt")).constData(),
                       QFile::encodeName(at("w/old.txt")).constData()),
              0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList c = changesOf(w, spy);
            return c.contains(QStringLiteral("new.txt")) && c.contains(QStringLiteral("old.txt"));
        },
        3000));

    // A second path to the same folder shares the kernel's watch; giving up one keeps the other.
    link(w, QStringLiteral("alias"));
    const QString alias = at(QStringLiteral("alias"));
    ASSERT_TRUE(watch.add(alias));
    watch.waitForIdle();
    watch.remove(w);
    watch.waitForIdle();
    spy.clear();
    file(QStringLiteral("w/third.txt"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return changesOf(alias, spy).contains(QStringLiteral("third.txt")); }, 3000));
    EXPECT_TRUE(changesOf(w, spy).isEmpty());

    // The folder itself going away is a change of everything; one made again is watched anew.
    spy.clear();
    ASSERT_TRUE(QDir(w).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return changesOf(alias, spy).contains(QStringLiteral("*")); }, 3000));
    watch.remove(alias);
    folder(QStringLiteral("w"));
    ASSERT_TRUE(watch.add(w));
    watch.waitUntilWatched(w, 2000);
    spy.clear();
    file(QStringLiteral("w/back.txt"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return changesOf(w, spy).contains(QStringLiteral("back.txt")); }, 3000));
    watch.remove(w);
    watch.waitForIdle();
}
