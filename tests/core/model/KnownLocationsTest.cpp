#include "ModelFixture.h"

#include "core/model/FileLoader.h"
#include "core/model/ICloud.h"
#include "core/model/LocationRoots.h"

// The test home is private to this program, so the cloud folders can be built in it.
class KnownLocations : public ::testing::Test {
protected:
    QString home = QDir::homePath();
    void TearDown() override { QDir(home + QStringLiteral("/Library")).removeRecursively(); }
    void mk(const QString &rel) { ASSERT_TRUE(QDir().mkpath(home + u'/' + rel)); }
};

TEST_F(KnownLocations, AppLibrariesAndVirtualItems) {
    mk(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs"));
    mk(QStringLiteral("Library/Mobile Documents/.Trash"));
    mk(QStringLiteral("Library/Mobile Documents/iCloud~com~example~Notes/Documents"));
    mk(QStringLiteral("Library/Mobile Documents/Other"));
    mk(QStringLiteral("Desktop"));
    // Neither the drive nor dot containers are libraries.
    const auto libs = ICloud::appLibraries();
    ASSERT_EQ(libs.size(), 2);
    EXPECT_EQ(libs[0].path, ICloud::containers() + QStringLiteral("/Other"));
    EXPECT_EQ(libs[1].path, ICloud::containers() + QStringLiteral("/iCloud~com~example~Notes/Documents"));
    EXPECT_FALSE(libs[1].appPath);

    // Virtual items avoid names already shown (a link to Desktop, a folder named like a library).
    ASSERT_EQ(::symlink(QFile::encodeName(home + QStringLiteral("/Desktop")).constData(),
                        QFile::encodeName(ICloud::root() + QStringLiteral("/Desktop")).constData()),
              0);
    FileItem existing;
    existing.name = QStringLiteral("OTHER");
    QStringList paths;
    for (const FileItem &i : ICloud::virtualItems({existing}))
        paths << i.path();
    EXPECT_EQ(paths, (QStringList{home + QStringLiteral("/Desktop"),
                                  ICloud::containers() + "/iCloud~com~example~Notes/Documents"}));
    // The listing of the root appends them; in English the link already shows the name "Desktop".
    TestUtil::LanguageScope en(AppLanguage::en);
    EXPECT_EQ(FileLoader::list(ICloud::root()).items.size(), 3); // the link, Other and Notes
}

TEST_F(KnownLocations, ICloudCrumbs) {
    mk(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs/A/B"));
    mk(QStringLiteral("Library/Mobile Documents/App/Documents/Sub"));
    EXPECT_EQ(ICloud::crumbs(ICloud::root()), (QList<Crumb>{{ICloud::root(), "iCloud Drive"}}));
    EXPECT_EQ(ICloud::crumbs(ICloud::root() + QStringLiteral("/A/B"))->size(), 3);
    const QString docs = ICloud::containers() + QStringLiteral("/App/Documents");
    EXPECT_EQ(ICloud::crumbs(docs + QStringLiteral("/Sub")).value_or(QList<Crumb>{}).value(1).first, docs);
    EXPECT_FALSE(ICloud::crumbs(ICloud::containers() + QStringLiteral("/App")));
    EXPECT_FALSE(ICloud::crumbs(QStringLiteral("/etc")));
}

TEST_F(KnownLocations, RootsStartAtCloudStorageOrTheFolderOfHomes) {
    mk(QStringLiteral("Library/CloudStorage/Box/Work"));
    const auto cloud = LocationRoots::crumbs(home + QStringLiteral("/Library/CloudStorage/Box/Work"));
    ASSERT_TRUE(cloud);
    EXPECT_EQ(cloud->first().first, home + QStringLiteral("/Library/CloudStorage/Box"));
    const auto inHome = LocationRoots::crumbs(home + QStringLiteral("/x"));
    ASSERT_TRUE(inHome);
    EXPECT_EQ(inHome->first().first, home.section(u'/', 0, -2));
    for (const Crumb &r : LocationRoots::roots())
        EXPECT_NE(QFileInfo(r.first).canonicalFilePath(), "/") << r.first.toStdString();
}
