#include "common/TestUtil.h"
#include "core/localisation/SystemNames.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QStandardPaths>
#include <numeric>
#include <QtConcurrent>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {
QString homeTrashFiles() {
    return TrashRoots::homeTrash() + "/files";
}
} // namespace

TEST(SystemNames, KnownFoldersKeepTheirNameOnDisk) {
    const QString home = QDir::homePath();
    for (const AppLanguage lang : {AppLanguage::de, AppLanguage::pl, AppLanguage::th}) {
        LanguageScope l(lang);
        EXPECT_EQ(localName("/Applications/"), "Applications");
        EXPECT_EQ(localName(home + "/Desktop//"), "Desktop");
        EXPECT_EQ(localName(home + "/Pictures"), "Pictures");
        EXPECT_EQ(localName(home + "/Documents"), "Documents");
        EXPECT_FALSE(SystemNames::name(home + "/Documents"));
    }
    LanguageScope l(AppLanguage::de);
    EXPECT_EQ(localName("/"), "/");
    EXPECT_EQ(localName("/tmp/Documents"), "Documents");
    // The home folder is not a known folder.
    EXPECT_FALSE(SystemNames::name(home));
    EXPECT_EQ(localName(home), QDir(home).dirName());
}

// A German home as the desktop's tools make it: the folders are named Bilder, Musik … on disk and listed in
// user-dirs.dirs; each shows by that name in every language. The Trash, whose folder is called "files",
// has a name in each language.
TEST(SystemNames, XdgFoldersAreFoundWhereverTheUserPutThem) {
    const QString home = QDir::homePath();
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
    TestUtil::writeFile(file, "# written by xdg-user-dirs-update\n"
                              "XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n"
                              "XDG_VIDEOS_DIR=\"/srv/Filmarchiv\"\nXDG_TEMPLATES_DIR=\"$HOME/\"\n");
    SystemNames::resetForTests();
    {
        LanguageScope l(AppLanguage::en);
        EXPECT_EQ(SystemNames::folderKey(home + "/Bilder"), "Pictures");
        EXPECT_EQ(SystemNames::folderKey("/srv/Filmarchiv/"), "Videos");
        EXPECT_EQ(localName(home + "/Bilder"), "Bilder");
        EXPECT_EQ(localName(home + "/Musik/"), "Musik");
        EXPECT_EQ(localName("/srv/Filmarchiv"), "Filmarchiv");
        EXPECT_FALSE(SystemNames::folderKey(home)); // the switched-off templates folder
        EXPECT_FALSE(SystemNames::userDir("Templates"));
        EXPECT_EQ(SystemNames::userDir("Downloads"), home + "/Downloads"); // not listed: the usual place
        EXPECT_EQ(localName(homeTrashFiles()), "Trash");
    }
    {
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(localName(home + "/Bilder"), "Bilder");
        EXPECT_EQ(localName("/srv/Filmarchiv"), "Filmarchiv");
        EXPECT_EQ(localName(homeTrashFiles()), "Kosz");
    }
    {
        LanguageScope l(AppLanguage::th);
        EXPECT_EQ(localName(home + "/Musik"), "Musik");
        EXPECT_EQ(localName(homeTrashFiles()), "ถังขยะ");
    }
    LanguageScope l(AppLanguage::de);
    EXPECT_EQ(localName(home + "/Bilder"), "Bilder");
    EXPECT_EQ(localName(homeTrashFiles()), "Papierkorb");
    QFile::remove(file);
    SystemNames::resetForTests();
}

// The file comes from outside: quoting and escapes as the desktop's reader takes them, anything else
// skipped, and only its first 64 KiB read.
TEST(SystemNames, UserDirsFileIsReadSafely) {
    const QString home = "/home/u";
    const auto dirs = SystemNames::parseUserDirs("XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\\\"\n"
                                                 "  XDG_DOCUMENTS_DIR=\"/data/docs/\"  \n"
                                                 "XDG_MUSIC_DIR=\"$HOMEmusic\"\n"
                                                 "XDG_PICTURES_DIR=\"relative/pics\"\n"
                                                 "XDG_VIDEOS_DIR=\"$HOME/unclosed\n"
                                                 "XDG_UNKNOWN_DIR=\"$HOME/x\"\n"
                                                 "XDG_DOWNLOAD_DIR=\"$HOME/../../etc\"\n"
                                                 "XDG_PUBLICSHARE_DIR=\"$HOME\"\n"
                                                 "XDG_DIR=\"$HOME/y\"\n",
                                                 home);
    EXPECT_EQ(dirs.value("Desktop"), "/home/u/My \"Desk\\");
    EXPECT_EQ(dirs.value("Documents"), "/data/docs");
    EXPECT_EQ(dirs.value("Downloads"), "/etc");
    EXPECT_TRUE(dirs.contains("Public"));
    EXPECT_EQ(dirs.value("Public"), QString());
    for (const char *skipped : {"Music", "Pictures", "Videos"})
        EXPECT_FALSE(dirs.contains(skipped)) << skipped;
    EXPECT_EQ(dirs.size(), 4);
    QByteArray big(70 * 1024, '#');
    big += "\nXDG_MUSIC_DIR=\"$HOME/late\"\n";
    EXPECT_TRUE(SystemNames::parseUserDirs(big, home).isEmpty());
    EXPECT_TRUE(SystemNames::parseUserDirs("XDG_=\"\nXDG__DIR=\nXDG_MUSIC_DIR=\"", home).isEmpty());
}

TEST(SystemNames, ManyThreadsAtOnce) {
    const QString trash = homeTrashFiles();
    LanguageScope l(AppLanguage::pl);
    QList<int> jobs(64);
    std::iota(jobs.begin(), jobs.end(), 0);
    const QList<QString> names = QtConcurrent::blockingMapped(jobs, [&](int) { return localName(trash); });
    for (const QString &n : names)
        EXPECT_EQ(n, "Kosz");
}
