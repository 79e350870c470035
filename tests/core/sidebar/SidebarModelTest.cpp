#include "common/TestUtil.h"
#include "core/app/Settings.h"
#include "core/app/SidebarModel.h"
#include "core/base/Defaults.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QMutex>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

QStringList paths(const QList<SidebarItem> &items) {
    QStringList out;
    for (const SidebarItem &i : items)
        out << i.path;
    return out;
}

const SidebarItem *find(const QList<SidebarItem> &items, const QString &path) {
    for (const SidebarItem &i : items)
        if (i.path == path) return &i;
    return nullptr;
}

// Every test builds its own home folders below the test home and removes them again.
class SidebarModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        home = FileLoader::norm(QDir::homePath());
        for (const char *made : {"Desktop", "Documents", "Downloads", "Pictures", "Music", "Videos",
                                 "Library", "Dropbox", "pCloud Drive", "Projekte", "Mobile"})
            QDir(home + u'/' + QLatin1String(made)).removeRecursively();
    }
    void TearDown() override { SetUp(); }

    static SidebarModel::Sources quiet(std::vector<Volume> volumes = {}) {
        SidebarModel::Sources s;
        s.watchMounts = false;
        s.volumes = [volumes] { return volumes; };
        s.freeBytes = [](const QByteArray &path) -> std::optional<qint64> {
            if (path == "/") return qint64(5'000'000'000);
            return std::nullopt;
        };
        return s;
    }
    static void waitBuilt(SidebarModel &m) { QTRY_VERIFY(!m.building()); }

    QString home;
};

} // namespace

TEST_F(SidebarModelTest, RebuildListsWhatExistsInSectionOrderAndHonoursHiddenAndOwnFavourites) {
    QDir().mkpath(home + "/Desktop");
    QDir().mkpath(home + "/Downloads");
    QDir().mkpath(home + "/Music");
    QDir().mkpath(home + "/Library/CloudStorage/Box");
    QDir().mkpath(home + "/Library/CloudStorage/Dropbox");
    QDir().mkpath(home + "/Library/CloudStorage/.cache");
    QDir().mkpath(home + "/Dropbox");
    QDir().mkpath(home + "/pCloud Drive");
    QDir().mkpath(home + "/Projekte");
    QTemporaryDir stick;
    Defaults::setValue("hiddenFavorites", QStringList{home + "/Downloads"});
    Defaults::setValue("userFavorites", QStringList{home + "/Projekte", home + "/gone", home + "/Desktop",
                                                    home + "/Projekte"});
    Settings settings;
    SidebarModel model(settings, quiet({{stick.path(), "/dev/sdz1", "vfat", true},
                                        {stick.path(), "/dev/sdz1", "vfat", true},
                                        {"/", "/dev/sda1", "ext4", false}}));
    waitBuilt(model);

    // Devices: the root first with its free space, the volume once, then the pCloud folder.
    ASSERT_EQ(paths(model.devices()), (QStringList{"/", stick.path(), home + "/pCloud Drive"}));
    EXPECT_EQ(model.devices()[0].detail, FileFmt::size(5'000'000'000));
    EXPECT_FALSE(model.devices()[0].ejectable);
    EXPECT_TRUE(model.devices()[1].ejectable);
    EXPECT_EQ(model.devices()[1].detail, QString()); // no free space known
    EXPECT_TRUE(model.devices()[2].ejectable);

    // Favourites: home, the cloud folders (no dot entries; the home Dropbox gives way to the cloud one),
    // the standard folders that exist but the hidden one, the own favourites that exist, each once.
    const QStringList expected{
        home,
        home + "/Library/CloudStorage/Box",
        home + "/Library/CloudStorage/Dropbox",
        FileLoader::norm(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)),
        FileLoader::norm(QStandardPaths::writableLocation(QStandardPaths::MusicLocation)),
        home + "/Projekte"};
    EXPECT_EQ(paths(model.favorites()), expected);
    EXPECT_EQ(find(model.favorites(), expected[3])->name, localName(expected[3]));
    EXPECT_FALSE(find(model.favorites(), expected[3])->removable);
    EXPECT_TRUE(find(model.favorites(), home + "/Projekte")->removable);
    // No cloud folder that isn't there, no Applications folder on this machine.
    EXPECT_EQ(find(model.favorites(), home + "/Library/Mobile Documents/com~apple~CloudDocs"), nullptr);
    EXPECT_EQ(find(model.favorites(), "/Applications"), nullptr);

    ASSERT_EQ(model.places().size(), 1);
    EXPECT_EQ(model.places()[0].path, FileLoader::mainTrash());
    EXPECT_EQ(model.places()[0].name, "Papierkorb");

    // A missing favourite stays stored and shows once its folder exists.
    QDir().mkpath(home + "/gone");
    model.rebuild();
    waitBuilt(model);
    EXPECT_TRUE(model.isFavorite(home + "/gone"));
    QDir(home + "/gone").removeRecursively();
}

// The desktop's own folders where user-dirs.dirs puts them, under the names they have on disk in every
// interface language: ~/Bilder stays "Bilder" in English, as its crumb and path say.
TEST_F(SidebarModelTest, DesktopFoldersAreFoundAndShownByTheirNamesOnDisk) {
    QDir().mkpath(home + "/Bilder");
    QDir().mkpath(home + "/Filme");
    const QString dirs = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
    TestUtil::writeFile(dirs, "XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    SystemNames::resetForTests();
    for (const AppLanguage lang : {AppLanguage::en, AppLanguage::pl}) {
        TestUtil::LanguageScope scope(lang);
        Settings settings;
        SidebarModel model(settings, quiet({}));
        waitBuilt(model);
        const SidebarItem *pictures = find(model.favorites(), home + "/Bilder");
        const SidebarItem *videos = find(model.favorites(), home + "/Filme");
        ASSERT_TRUE(pictures && videos);
        EXPECT_EQ(pictures->name, "Bilder");
        EXPECT_EQ(videos->name, "Filme");
    }
    QFile::remove(dirs);
    SystemNames::resetForTests();
}

// Two desktop folders set to one place show once; the places for work leave the media folders out.
TEST_F(SidebarModelTest, TheFixedFavouritesListEachPlaceOnce) {
    QDir().mkpath(home + "/Desktop");
    QDir().mkpath(home + "/Music");
    const QString dirs = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
    TestUtil::writeFile(dirs, "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Desktop\"\n"
                              "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    SystemNames::resetForTests();
    EXPECT_EQ(paths(SidebarModel::fixedFavorites(home, SidebarModel::standardFolders(home, true))),
              (QStringList{home, home + "/Desktop", home + "/Music"}));
    EXPECT_EQ(paths(SidebarModel::fixedFavorites(home, SidebarModel::standardFolders(home, false))),
              (QStringList{home, home + "/Desktop"}));
    QFile::remove(dirs);
    SystemNames::resetForTests();
}

TEST_F(SidebarModelTest, ACloudDriveFolderShowsOnlyWhereItExists) {
    Settings settings;
    const QString icloud = home + "/Library/Mobile Documents/com~apple~CloudDocs";
    {
        SidebarModel model(settings, quiet());
        waitBuilt(model);
        EXPECT_EQ(paths(model.favorites()), QStringList{home});
    }
    QDir().mkpath(icloud);
    SidebarModel model(settings, quiet());
    waitBuilt(model);
    EXPECT_EQ(paths(model.favorites()), (QStringList{home, icloud}));
}

TEST_F(SidebarModelTest, ToggleHidesUnhidesAddsAndRemovesAndStoresBothSettings) {
    QDir().mkpath(home + "/Downloads");
    QDir().mkpath(home + "/Projekte");
    const QString downloads =
        FileLoader::norm(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    Settings settings;
    SidebarModel model(settings, quiet());
    waitBuilt(model);
    ASSERT_TRUE(model.isFavorite(downloads + "/")); // matched after normalising

    // A shown standard entry is hidden, a second toggle shows it again.
    EXPECT_FALSE(model.toggleFavorite(downloads + "/."));
    waitBuilt(model);
    EXPECT_FALSE(model.isFavorite(downloads));
    settings.save();
    EXPECT_EQ(Defaults::value("hiddenFavorites").toStringList(), QStringList{downloads});
    EXPECT_TRUE(model.toggleFavorite(downloads));
    waitBuilt(model);
    EXPECT_TRUE(model.isFavorite(downloads));
    settings.save();
    EXPECT_EQ(Defaults::value("hiddenFavorites").toStringList(), QStringList());

    // A folder neither shown nor hidden is added; toggling it again removes every copy.
    EXPECT_TRUE(model.toggleFavorite(home + "/Projekte/"));
    waitBuilt(model);
    EXPECT_TRUE(model.isFavorite(home + "/Projekte"));
    settings.save();
    EXPECT_EQ(Defaults::value("userFavorites").toStringList(), QStringList{home + "/Projekte"});
    EXPECT_FALSE(model.toggleFavorite(home + "/Projekte"));
    waitBuilt(model);
    EXPECT_FALSE(model.isFavorite(home + "/Projekte"));
    settings.save();
    EXPECT_EQ(Defaults::value("userFavorites").toStringList(), QStringList());
}

TEST_F(SidebarModelTest, AHangingVolumeNeitherBlocksTheCallerNorClearsTheLastList) {
    QTemporaryDir stick;
    auto gate = std::make_shared<QSemaphore>();
    auto blocking = std::make_shared<bool>(false);
    SidebarModel::Sources s = quiet({{stick.path(), "nfs:/x", "nfs", true}});
    s.freeBytes = [gate, blocking](const QByteArray &path) -> std::optional<qint64> {
        // As a dead network mount would, until released (bounded, so a fault can't hang the test).
        if (*blocking && path != "/") gate->tryAcquire(1, 3000);
        return qint64(1000);
    };
    Settings settings;
    SidebarModel model(settings, s);
    waitBuilt(model);
    const QList<SidebarItem> before = model.devices();
    ASSERT_EQ(before.size(), 2);

    *blocking = true;
    QDir().mkpath(home + "/pCloud Drive");
    QElapsedTimer clock;
    clock.start();
    model.rebuild();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(model.devices(), before); // the last good list stays meanwhile
    EXPECT_TRUE(model.building());
    gate->release();
    QTRY_VERIFY(model.devices().size() == 3);
    EXPECT_EQ(model.devices()[2].path, home + "/pCloud Drive");
}

// A dead mount answers nothing: it is listed by its mount point without free space, the others (the root
// too) with theirs, and its question is asked once however often the list is built meanwhile.
TEST_F(SidebarModelTest, ADeadVolumeIsListedWithoutFreeSpaceAndHoldsUpNoOther) {
    QTemporaryDir media;
    const QString dead = media.path() + "/NAS", stick = media.path() + "/STICK";
    auto gate = std::make_shared<QSemaphore>();
    auto asked = std::make_shared<std::atomic<int>>(0);
    SidebarModel::Sources s = quiet({{dead, "nas:/x", "nfs", true}, {stick, "/dev/sdz1", "vfat", true}});
    s.answerMs = 200;
    s.freeBytes = [gate, asked, dead = dead.toUtf8()](const QByteArray &path) -> std::optional<qint64> {
        if (path != dead) return qint64(7'000'000'000);
        ++*asked;
        gate->tryAcquire(1, 20000); // as a dead network mount would, until released at the end
        return qint64(1);
    };
    Settings settings;
    SidebarModel model(settings, s);
    QElapsedTimer clock;
    clock.start();
    waitBuilt(model);
    EXPECT_LT(clock.elapsed(), 3000);
    ASSERT_EQ(paths(model.devices()), QStringList({"/", dead, stick}));
    EXPECT_EQ(model.devices()[0].detail, FileFmt::size(7'000'000'000));
    EXPECT_EQ(model.devices()[1].detail, QString());
    EXPECT_EQ(model.devices()[2].detail, FileFmt::size(7'000'000'000));
    for (int i = 0; i < 4; ++i) {
        model.rebuild();
        waitBuilt(model);
    }
    EXPECT_EQ(asked->load(), 1);
    gate->release(10);
}

// A mount point whose name is not UTF-8 is asked for its free space by its own bytes and shown with the
// stray bytes written out, never under a path with replacement characters.
TEST_F(SidebarModelTest, AMountPointThatIsNotUtf8KeepsItsBytes) {
    QTemporaryDir media;
    const QByteArray bytes = QFile::encodeName(media.path()) + "/caf\xe9";
    QTemporaryFile table;
    ASSERT_TRUE(table.open());
    table.write("36 25 0:99 / / rw - ext4 /dev/sda1 rw\n"
                "37 36 0:98 / " +
                QFile::encodeName(media.path()) + "/caf\\351 rw - vfat /dev/sdz1 rw\n");
    table.close();
    Volumes::setMountInfoFile(table.fileName());
    const std::vector<Volume> volumes = Volumes::userVolumes({media.path()});
    Volumes::setMountInfoFile({});
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].pathBytes(), bytes);
    EXPECT_FALSE(volumes[0].mountPoint.contains(QChar(0xFFFD)));

    SidebarModel::Sources s = quiet(volumes);
    auto seen = std::make_shared<QList<QByteArray>>();
    auto lock = std::make_shared<QMutex>();
    s.freeBytes = [seen, lock](const QByteArray &path) -> std::optional<qint64> {
        QMutexLocker l(lock.get());
        seen->append(path);
        return qint64(3'000'000'000);
    };
    Settings settings;
    SidebarModel model(settings, s);
    waitBuilt(model);
    ASSERT_EQ(model.devices().size(), 2);
    const SidebarItem &item = model.devices()[1];
    EXPECT_EQ(item.pathBytes, bytes);
    EXPECT_EQ(item.name, "caf\\xE9");
    EXPECT_EQ(item.detail, FileFmt::size(3'000'000'000));
    QMutexLocker l(lock.get());
    EXPECT_TRUE(seen->contains(bytes));
}

// As root: a volume mounted below a media folder appears in the devices, and goes after its unmount,
// through the system's own mount table and its change notice.
TEST_F(SidebarModelTest, AVolumeMountedUnderTheMediaFolderAppearsAndGoesAfterUnmount) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to mount";
    QTemporaryDir media;
    const QString point = media.path() + "/STICK";
    QDir().mkpath(point);
    SidebarModel::Sources s = SidebarModel::systemSources();
    s.volumes = [root = media.path()] { return Volumes::userVolumes({root}); };
    s.settleMs = 20;
    Settings settings;
    SidebarModel model(settings, s);
    waitBuilt(model);
    ASSERT_EQ(find(model.devices(), point), nullptr);

    ASSERT_EQ(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4m", "kestrintest", point}), 0);
    // Unmounted whatever happens below.
    auto unmount = [point] { QProcess::execute("umount", {"-l", point}); };
    std::unique_ptr<void, std::function<void(void *)>> guard(&media, [unmount](void *) { unmount(); });
    QTRY_VERIFY_WITH_TIMEOUT(find(model.devices(), point) != nullptr, 10000);
    const SidebarItem *item = find(model.devices(), point);
    EXPECT_EQ(item->name, "STICK");
    EXPECT_TRUE(item->ejectable);
    EXPECT_FALSE(item->detail.isEmpty()); // its free space

    unmount();
    QTRY_VERIFY_WITH_TIMEOUT(find(model.devices(), point) == nullptr, 10000);
}
