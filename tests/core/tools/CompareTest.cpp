#include "../fileops/Fixture.h"

#include "common/FatFuse.h"

#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"
#include "platform/Posix.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileOpsTest;
using S = CompareRow::Status;
using A = SyncAction;

namespace {

// Sets the modification time of an entry itself (a link is not followed).
void setTime(const QString &path, qint64 sec, long nsec = 0) {
    const timespec ts[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW), 0);
}

class Compare : public Dir {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QString L(const QString &rel = {}) const { return rel.isEmpty() ? path("L") : path("L/" + rel); }
    QString R(const QString &rel = {}) const { return rel.isEmpty() ? path("R") : path("R/" + rel); }
    void SetUp() override {
        Dir::SetUp();
        mkdir("L");
        mkdir("R");
    }
    // A file on both sides; the right one dt seconds older.
    void pair(const QString &rel, const QByteArray &l, const QByteArray &r, qint64 dtSec, long dtNs = 0) {
        file("L/" + rel, l);
        file("R/" + rel, r);
        setTime(L(rel), 1'700'000'000 + dtSec, dtNs);
        setTime(R(rel), 1'700'000'000);
    }
    CompareResult scan() {
        return FolderCompare::scan(L(), R(), [] { return false; });
    }
    static QStringList sorted(QStringList names) {
        names.sort();
        return names;
    }
    QStringList ids(const CompareResult &r) const {
        QStringList out;
        for (const CompareRow &row : r.rows)
            out << row.id;
        return out;
    }
};

} // namespace

TEST_F(Compare, TimeToleranceAndSizes) {
    pair("exact2", "x", "x", 2);
    pair("half", "x", "yyy", 2, 500'000'000);
    pair("older", "xx", "x", -3);
    pair("sizes", "x", "yy", 1);
    const CompareResult r = scan();
    ASSERT_TRUE(r.error.isEmpty());
    ASSERT_EQ(ids(r), (QStringList{"half", "older", "sizes"}));
    EXPECT_EQ(r.rows[0].status, S::leftNewer);
    EXPECT_EQ(r.rows[1].status, S::rightNewer);
    EXPECT_EQ(r.rows[2].status, S::different);
    EXPECT_EQ(r.rows[2].leftSize, 1);
    EXPECT_EQ(r.rows[2].rightSize, 2);
    EXPECT_TRUE(r.rows[2].leftDate && r.rows[2].rightDate);
    EXPECT_FALSE(r.rows[2].isDir);
}

TEST_F(Compare, OneSidedFoldersClashesOrderAndIgnoredNames) {
    file("L/only/deep/a", "1");
    mkdir("L/clash/inner");
    file("L/clash/inner/x", "1");
    file("R/clash", "f");
    for (const char *n : {".DS_Store", ".localized", "._a"})
        file(QString("L/") + n, "1");
    file("L/.hidden", "1");
    file("L/img10", "1");
    file("L/img2", "1");
    mkdir("L/img3");
    mkdir("R/img3");
    file("R/img3/z", "1");
    const CompareResult r = scan();
    EXPECT_EQ(ids(r), (QStringList{".hidden", "clash", "img2", "img3/z", "img10", "only"}));
    EXPECT_EQ(r.rows[1].status, S::different);
    EXPECT_FALSE(r.rows[1].isDir);
    EXPECT_EQ(r.rows[3].status, S::onlyRight);
    EXPECT_EQ(r.rows[5].status, S::onlyLeft);
    EXPECT_TRUE(r.rows[5].isDir);
}

TEST_F(Compare, EqualTreesGiveNoRows) {
    pair("a", "same", "same", 1);
    mkdir("L/empty");
    mkdir("R/empty");
    EXPECT_TRUE(scan().rows.isEmpty());
}

TEST_F(Compare, LinksAndSpecialFilesAreTheirOwnKind) {
    pair("t", "x", "x", 0);
    ASSERT_EQ(::symlink("t", QFile::encodeName(L("link")).constData()), 0);
    file("R/link", "t"); // same size as the link text
    setTime(L("link"), 1'700'000'000);
    setTime(R("link"), 1'700'000'000);
    ASSERT_EQ(::mkfifo(QFile::encodeName(L("fifo")).constData(), 0644), 0);
    ASSERT_EQ(::symlink("/nowhere", QFile::encodeName(R("dangling")).constData()), 0);
    // A pipe is no empty document to copy, nor to put a file over: a row no sync acts on.
    ASSERT_EQ(::mkfifo(QFile::encodeName(R("piped")).constData(), 0644), 0);
    file("L/piped", "a file");
    const CompareResult r = scan();
    ASSERT_EQ(ids(r), (QStringList{"dangling", "fifo", "link", "piped"}));
    EXPECT_EQ(r.rows[0].status, S::onlyRight);
    EXPECT_EQ(r.rows[1].status, S::special);
    EXPECT_EQ(r.rows[2].status, S::different);
    EXPECT_EQ(r.rows[3].status, S::special);
    for (const int i : {1, 3}) {
        EXPECT_EQ(r.rows[i].note, "Pipe, Socket oder Gerät – wird nicht abgeglichen");
        for (const SyncMode mode : SyncModes::allCases)
            EXPECT_EQ(FolderCompare::action(r.rows[i], mode, true), A::none);
    }
    EXPECT_EQ(FolderCompare::action(r.rows[0], SyncMode::rightToLeft, false), A::toLeft);
    EXPECT_EQ(FolderCompare::leftOut(r.rows), (QStringList{"fifo", "piped"}));
}

TEST_F(Compare, UnreadableFolderIsOneRowNeverOneSided) {
    if (!TestUtil::NoFileRights().active()) GTEST_SKIP();
    file("L/sub/a", "1");
    file("L/sub/b", "1");
    mkdir("R/sub");
    ::chmod(QFile::encodeName(R("sub")).constData(), 0);
    CompareResult r;
    {
        TestUtil::NoFileRights drop;
        r = scan();
    }
    ::chmod(QFile::encodeName(R("sub")).constData(), 0755);
    ASSERT_EQ(ids(r), (QStringList{"sub"}));
    EXPECT_EQ(r.rows[0].status, S::unreadable);
    EXPECT_EQ(FolderCompare::action(r.rows[0], SyncMode::rightToLeft, true), A::none);
    EXPECT_FALSE(r.rows[0].note.isEmpty());
}

TEST_F(Compare, UnreadableRootStopsWithAnError) {
    const CompareResult r = FolderCompare::scan(L(), path("missing"), [] { return false; });
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(r.rows.isEmpty());
}

TEST_F(Compare, NestedRootsAreRefused) {
    mkdir("L/in");
    ASSERT_EQ(::symlink(QFile::encodeName(L("in")).constData(), QFile::encodeName(path("alias")).constData()),
              0);
    for (const QString &other : {L("in"), path("alias"), L()}) {
        const CompareResult r = FolderCompare::scan(L(), other, [] { return false; });
        EXPECT_EQ(r.error, "Ein Ordner liegt im anderen.") << other.toStdString();
        const CompareResult back = FolderCompare::scan(other, L(), [] { return false; });
        EXPECT_FALSE(back.error.isEmpty()) << other.toStdString();
    }
    EXPECT_TRUE(scan().error.isEmpty());
}

// On a volume that keeps them apart (the tests' ext4 or tmpfs) such names are items of their own: compared,
// synced and trashed as two.
TEST_F(Compare, NamesApartOnlyInCaseOrFormAreTwoItemsWhereTheVolumeKeepsThemApart) {
    const QString composed = QString::fromUtf8("\xc3\xa4"), decomposed = QString::fromUtf8("a\xcc\x88");
    file("L/Photo.jpg", "1");
    file("R/photo.jpg", "1");
    file("L/" + composed, "1");
    file("R/" + decomposed, "1");
    file("L/Pod/x", "1");
    file("L/pod/new", "1");
    pair("Pod/x", "1", "1", 0);
    mkdir("R/pod");
    file("R/FAQ.html", "gone from the source");
    pair("faq.html", "1", "1", 0);
    const CompareResult r = scan();
    EXPECT_EQ(sorted(ids(r)),
              sorted({composed, decomposed, "FAQ.html", "Photo.jpg", "photo.jpg", "pod/new"}));
    for (const CompareRow &row : r.rows)
        EXPECT_EQ(row.status, row.rightFacts ? S::onlyRight : S::onlyLeft) << row.id.toStdString();

    // A mirror leaves the right as the left is.
    QList<SyncStep> steps;
    for (const CompareRow &row : r.rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, true)};
    TransferProgress progress;
    const SyncResult done = FolderSync::run(L(), R(), steps, progress, {r.leftId, r.rightId});
    EXPECT_TRUE(done.errors.isEmpty()) << done.errors.join('\n').toStdString();
    EXPECT_EQ(done.done, 6);
    EXPECT_TRUE(scan().rows.isEmpty());
    EXPECT_EQ(sorted(TestUtil::names(R())), sorted({"Photo.jpg", "Pod", "faq.html", "pod", composed}));
}

// Where the target's volume takes them for one name, they are one: rows shown, never synced, and named as
// left out when a sync runs.
TEST_F(Compare, NamesApartOnlyInCaseAreOneWhereTheVolumeFoldsCase) {
    KESTRIN_FAT_OR_SKIP(stick);
    const QString right = stick.path() + "/R";
    ASSERT_TRUE(TestUtil::writeFile(right + "/faq.html", "1"));
    ASSERT_TRUE(TestUtil::writeFile(right + "/Photo.jpg", "1"));
    file("L/FAQ.html", "1");
    file("L/faq.html", "1");
    file("L/photo.jpg", "1");
    file("L/PHOTO.JPG", "1");
    const CompareResult r = FolderCompare::scan(L(), right, [] { return false; });
    EXPECT_EQ(ids(r), (QStringList{"FAQ.html", "faq.html", "PHOTO.JPG", "Photo.jpg", "photo.jpg"}));
    for (const CompareRow &row : r.rows) {
        EXPECT_EQ(row.status, S::conflict) << row.id.toStdString();
        EXPECT_EQ(FolderCompare::action(row, SyncMode::leftToRight, true), A::none);
    }
    EXPECT_EQ(FolderCompare::leftOutText(FolderCompare::leftOut(r.rows)),
              "Ausgelassen: 5 Zeilen, die sich nicht synchronisieren lassen: „FAQ.html“, „faq.html“, "
              "„PHOTO.JPG“ und 2 Objekte.");
}

TEST_F(Compare, NamesThatAreNotUtf8AreErrorRows) {
    const QByteArray bad = QFile::encodeName(L()) + "/bad\xff";
    const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const CompareResult r = scan();
    ASSERT_EQ(r.rows.size(), 1);
    EXPECT_EQ(r.rows[0].status, S::badName);
    EXPECT_EQ(r.rows[0].id, "bad\\xFF");
}

TEST_F(Compare, CancelStopsTheWalk) {
    file("L/a", "1");
    EXPECT_TRUE(FolderCompare::scan(L(), R(), [] { return true; }).rows.isEmpty());
    EXPECT_TRUE(FolderCompare::scan(L(), R(), [] { return true; }).cancelled);
}

TEST_F(Compare, DepthIsBounded) {
    QString rel = "d";
    for (int i = 0; i < FolderCompare::maxDepth + 3; ++i)
        rel += "/d";
    mkdir("L/" + rel);
    mkdir("R/" + rel);
    file("L/" + rel + "/x", "1");
    const CompareResult r = scan();
    ASSERT_EQ(r.rows.size(), 1);
    EXPECT_EQ(r.rows[0].status, S::unreadable);
}

TEST(CompareActions, TablePerMode) {
    const std::map<S, std::array<A, 3>> table{
        {S::onlyLeft, {A::toRight, A::toRight, A::none}},  {S::onlyRight, {A::none, A::toLeft, A::toLeft}},
        {S::leftNewer, {A::toRight, A::toRight, A::none}}, {S::rightNewer, {A::none, A::toLeft, A::toLeft}},
        {S::different, {A::toRight, A::none, A::toLeft}},  {S::unreadable, {A::none, A::none, A::none}},
        {S::conflict, {A::none, A::none, A::none}},        {S::badName, {A::none, A::none, A::none}},
    };
    for (const auto &[status, actions] : table)
        for (int m = 0; m < 3; ++m) {
            CompareRow row;
            row.status = status;
            EXPECT_EQ(FolderCompare::action(row, SyncMode(m), false), actions[size_t(m)]) << int(status) << m;
        }
    CompareRow row;
    row.status = S::onlyRight;
    EXPECT_EQ(FolderCompare::action(row, SyncMode::leftToRight, true), A::trashRight);
    EXPECT_EQ(FolderCompare::action(row, SyncMode::both, true), A::toLeft);
    row.status = S::onlyLeft;
    EXPECT_EQ(FolderCompare::action(row, SyncMode::rightToLeft, true), A::trashLeft);
    EXPECT_EQ(SyncModes::fromRaw(3), std::nullopt);
}
