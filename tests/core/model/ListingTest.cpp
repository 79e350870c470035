#include "ModelFixture.h"

#include "core/model/FileLoader.h"
#include "core/model/FileLoaderDetail.h"
#include "core/model/MimeKinds.h"
#include "core/model/Tags.h"
#include "platform/TrashRoots.h"

#include <QSet>

namespace {

const FileItem *find(const QList<FileItem> &items, const QString &name) {
    for (const FileItem &i : items)
        if (i.name == name) return &i;
    return nullptr;
}

} // namespace

using Listing = ModelFixture;

TEST_F(Listing, RecordsCarryTypeSizeDateKindTagsAndHiddenFollowsTheSwitch) {
    file(QStringLiteral("a.txt"), "hello");
    folder(QStringLiteral("Sub"));
    setMtime(QStringLiteral("a.txt"), 1'700'000'000);
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Rot\n6")}, at(QStringLiteral("a.txt"))));

    const auto l = FileLoader::list(dir() + QStringLiteral("/./"));
    ASSERT_FALSE(l.error);
    ASSERT_EQ(l.items.size(), 2);
    const FileItem *a = find(l.items, QStringLiteral("a.txt"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->path(), at(QStringLiteral("a.txt")));
    EXPECT_TRUE(a->size == 5 && !a->isDirectory && !a->kind.isEmpty());
    EXPECT_EQ(a->modified, QDateTime::fromSecsSinceEpoch(1'700'000'000));
    EXPECT_EQ(a->tags(), QStringList{QStringLiteral("Rot\n6")});
    EXPECT_TRUE(find(l.items, QStringLiteral("Sub"))->isDirectory);
    EXPECT_EQ(FileLoader::item(at(QStringLiteral("a.txt"))), *a);

    // Hidden entries follow the switch.
    file(QStringLiteral(".hidden"));
    const bool shown = FileLoader::showHidden();
    FileLoader::setShowHidden(false);
    EXPECT_EQ(FileLoader::list(dir()).items.size(), 2);
    FileLoader::setShowHidden(true);
    EXPECT_TRUE(find(FileLoader::list(dir()).items, QStringLiteral(".hidden")));
    FileLoader::setShowHidden(shown);
}

TEST_F(Listing, AwkwardNamesAndSpecialFilesAreListedNeverOpened) {
    file(QStringLiteral("line\nbreak"));
    file(QStringLiteral("-rf"));
    const QString longName = QString(251, u'x') + QStringLiteral(".txt");
    file(longName);
    link(QStringLiteral("/nonexistent/target"), QStringLiteral("dangling"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at(QStringLiteral("pipe"))).constData(), 0644), 0);

    // The listing returns (a FIFO opened for reading would block it).
    const auto l = FileLoader::list(dir());
    ASSERT_FALSE(l.error);
    EXPECT_TRUE(find(l.items, QStringLiteral("line\nbreak")));
    EXPECT_TRUE(find(l.items, QStringLiteral("-rf")));
    ASSERT_TRUE(find(l.items, longName));
    EXPECT_EQ(find(l.items, longName)->path().toUtf8().size(), dir().toUtf8().size() + 1 + 255);
    ASSERT_TRUE(find(l.items, QStringLiteral("dangling")) && find(l.items, QStringLiteral("pipe")));
    EXPECT_FALSE(find(l.items, QStringLiteral("dangling"))->isDirectory);
    EXPECT_FALSE(find(l.items, QStringLiteral("pipe"))->isDirectory);
}

TEST_F(Listing, NamesThatAreNotUtf8AreReportedNotConfused) {
    // Two names that a lossy decoding would turn into the same text.
    for (const char *raw : {"bad\xff", "bad\xfe"}) {
        const int fd = ::open(bytesAt(raw).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    // A real sibling named with the replacement character: the report must not name it.
    file(QStringLiteral("bad\uFFFD"));
    const auto l = FileLoader::list(dir());
    ASSERT_FALSE(l.error);
    EXPECT_EQ(nameSet(l.items), QSet<QString>{"bad\uFFFD"});
    EXPECT_EQ(QSet<QString>(l.unrepresentable.cbegin(), l.unrepresentable.cend()),
              QSet<QString>({"bad\\xFF", "bad\\xFE"}));
    TestUtil::LanguageScope en(AppLanguage::en);
    EXPECT_TRUE(FileLoader::describeUnrepresentable(l.unrepresentable).startsWith(u"2 items"));
    EXPECT_TRUE(FileLoader::describeUnrepresentable({l.unrepresentable[0]}).contains(u"bad\\xF"));
    EXPECT_TRUE(FileLoader::describeUnrepresentable({}).isEmpty());
}

TEST_F(Listing, LinkToAFolderListsAsAFolderAndOpensAsOne) {
    folder(QStringLiteral("real"));
    file(QStringLiteral("real/inside"));
    link(at(QStringLiteral("real")), QStringLiteral("alias"));
    const auto l = FileLoader::list(dir());
    const FileItem *a = find(l.items, QStringLiteral("alias"));
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isDirectory);
    EXPECT_EQ(a->path(), at(QStringLiteral("alias")));
    EXPECT_EQ(nameSet(FileLoader::list(a->path()).items), QSet<QString>{"inside"});
}

TEST_F(Listing, FailuresAreExplained) {
    TestUtil::LanguageScope en(AppLanguage::en);
    const auto missing = FileLoader::list(at(QStringLiteral("gone")));
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->code, ENOENT);
    file(QStringLiteral("plain"));
    const auto notDir = FileLoader::list(at(QStringLiteral("plain")));
    ASSERT_TRUE(notDir.error);
    EXPECT_EQ(notDir.error->code, ENOTDIR);
    EXPECT_NE(FileLoader::describe(*missing.error), FileLoader::describe({EACCES, {}}));
    EXPECT_TRUE(FileLoader::describe({ENOSPC, {}}).contains(u"ENOSPC"));
}

TEST(ListingAccess, UnreadableFolderGivesThePermissionError) {
    QTemporaryDir open(QStringLiteral("/tmp/kestrin-perm-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    ::chmod(QFile::encodeName(open.path()).constData(), 0755);
    const QString locked = open.path() + QStringLiteral("/locked");
    const QString readable = open.path() + QStringLiteral("/readable");
    ASSERT_TRUE(QDir().mkdir(locked) && QDir().mkdir(readable));
    ::chmod(QFile::encodeName(locked).constData(), 0);
    const auto result = asNobody([&] {
        const auto l = FileLoader::list(locked);
        return l.error && l.error->code == EACCES && !FileLoader::list(readable).error;
    });
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    if (!result) GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_TRUE(*result);
}

TEST_F(Listing, OnlyRealTrashFoldersAreTheTrash) {
    const QString trash = FileLoader::mainTrash();
    EXPECT_TRUE(trash.startsWith(TrashRoots::homeTrash()));
    EXPECT_TRUE(FileLoader::isInTrash(trash + QStringLiteral("/a.txt")));
    EXPECT_TRUE(FileLoader::isInTrash(TrashRoots::homeTrash() + QStringLiteral("/info/a.txt.trashinfo")));
    EXPECT_FALSE(FileLoader::isInTrash(trash));
    EXPECT_FALSE(FileLoader::isInTrash(TrashRoots::homeTrash()));
    // A user folder named .Trash is just a folder.
    folder(QStringLiteral("proj/.Trash/sub"));
    EXPECT_FALSE(FileLoader::isInTrash(at(QStringLiteral("proj/.Trash/sub"))));
    EXPECT_FALSE(FileLoader::isInTrash(QDir::homePath() + QStringLiteral("/.Trash/a")));
    EXPECT_FALSE(FileLoader::isInTrash(QStringLiteral("/Users/x/My.Trash/a")));
    const QString uid = QString::number(getuid());
    EXPECT_TRUE(
        FileLoader::isInTrash(QStringLiteral("/Volumes/Stick/.Trashes/") + uid + QStringLiteral("/a.txt")));
    EXPECT_FALSE(FileLoader::isInTrash(QStringLiteral("/Volumes/Stick/.Trashes/") + uid));
    EXPECT_TRUE(
        FileLoader::isInTrash(QDir::homePath() + QStringLiteral("/Library/Mobile Documents/.Trash/x")));
}

TEST_F(Listing, HomeTrashShowsEveryTrashFolderOnce) {
    const QString home = QDir::homePath();
    const QString cloudTrash = home + QStringLiteral("/Library/Mobile Documents/.Trash");
    ASSERT_TRUE(QDir().mkpath(FileLoader::mainTrash()) && QDir().mkpath(cloudTrash));
    TestUtil::writeFile(FileLoader::mainTrash() + QStringLiteral("/home.txt"), "1");
    TestUtil::writeFile(cloudTrash + QStringLiteral("/cloud.txt"), "2");
    // A volume mounted anywhere, not only under the media folders: its Trash is shown too.
    TestUtil::TmpfsMount vol;
    const TestUtil::OnlyMounts onlyThisVolume({vol.path()});
    QSet<QString> want{"home.txt", "cloud.txt"};
    if (vol.valid()) {
        want << "stick.txt";
        const QString volTrash =
            vol.path() + QStringLiteral("/.Trash-") + QString::number(getuid()) + "/files";
        ASSERT_TRUE(QDir().mkpath(volTrash));
        TestUtil::writeFile(volTrash + QStringLiteral("/stick.txt"), "3");
        EXPECT_TRUE(FileLoader::isInTrash(volTrash + QStringLiteral("/stick.txt")));
        EXPECT_FALSE(FileLoader::isInTrash(volTrash));
    }
    const auto l = FileLoader::list(FileLoader::mainTrash());
    EXPECT_EQ(nameSet(l.items), want);
    EXPECT_EQ(l.items.size(), want.size());
    QDir(cloudTrash).removeRecursively();
    QDir(FileLoader::mainTrash()).removeRecursively();
}

TEST_F(Listing, LargeFoldersKeepTheFileSystemOrder) {
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(TestUtil::writeFile(at(QStringLiteral("f%1.txt").arg(i)), QByteArray(i % 7, 'x')));
    const auto l = FileLoader::list(dir());
    ASSERT_EQ(l.items.size(), 5000);
    QStringList got;
    for (const FileItem &i : l.items) {
        got << i.name;
        EXPECT_EQ(i.size, i.name.mid(1, i.name.size() - 5).toInt() % 7);
    }
    EXPECT_EQ(got, QDir(dir()).entryList(QDir::Files, QDir::Unsorted));
}

TEST(ListingKinds, NeighboursSharingAnExtensionStillGetTheirOwnKind) {
    // The cache answers a repeated extension at once; a compressed tar archive after a plain compressed
    // file, or the same letters in other case, must not take the neighbour's kind.
    FileLoader::detail::KindCache kinds;
    for (const char *name : {"a.gz", "b.tar.gz", "c.gz", "d.TAR.GZ", "e.gz", "f.txt", "g.TXT", "h", "i.",
                             "j.txt", "k.tar.xz", "l.xz"}) {
        const QString n = QString::fromLatin1(name);
        EXPECT_EQ(kinds.forFile(n), MimeKinds::kindForFile(n)) << name;
    }
}

// Kinds come from the shared MIME database, whose texts follow Qt's default locale: that must be the
// interface language, not the system's.
TEST(ListingKinds, KindsSpeakTheInterfaceLanguage) {
    const QLocale before;
    const AppLanguage was = Lang::current();
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); // as a Polish system starts
    {
        TestUtil::LanguageScope en(AppLanguage::en);
        EXPECT_EQ(MimeKinds::kindForFile(QStringLiteral("clip.mp4")), "MPEG-4 video");
    }
    {
        TestUtil::LanguageScope de(AppLanguage::de);
        EXPECT_EQ(MimeKinds::kindForFile(QStringLiteral("clip.mp4")), "MPEG-4-Video");
        EXPECT_EQ(MimeKinds::kindForMimeName("inode/directory"), "Ordner");
    }
    // At start, before anything switched the language: the stored one holds from the first kind on.
    Defaults::setValue("language", "en");
    Lang::resetForTests();
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    EXPECT_EQ(MimeKinds::kindForFile(QStringLiteral("clip.mp4")), "MPEG-4 video");
    TestUtil::freshSettings();
    Lang::setCurrent(was);
    QLocale::setDefault(before);
}

// Linux names the user folders on disk in the user's language; the listing shows that name in every
// interface language, as the crumbs and the path bar do.
TEST_F(Listing, KnownFoldersAreListedByTheirNameOnDisk) {
    const QString home = QDir::homePath();
    for (const char *name : {"Pictures", "Documents", "Desktop"})
        QDir(home).mkpath(QString::fromLatin1(name));
    for (const AppLanguage lang : {AppLanguage::de, AppLanguage::pl, AppLanguage::th, AppLanguage::en}) {
        TestUtil::LanguageScope scope(lang);
        const auto l = FileLoader::list(home);
        ASSERT_FALSE(l.error);
        for (const char *name : {"Pictures", "Documents", "Desktop"}) {
            const FileItem *item = find(l.items, QString::fromLatin1(name));
            ASSERT_TRUE(item) << name << " in " << int(lang);
            EXPECT_EQ(item->name, item->path().section(u'/', -1));
            EXPECT_EQ(FileLoader::item(item->path()).name, name);
        }
    }
}
