#include "common/TestUtil.h"
#include "core/localisation/SystemNames.h"

#include <QDir>
#include <QStandardPaths>
#include <numeric>
#include <QtConcurrent>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

TEST(SystemNames, KnownFoldersFollowTheLanguageOthersKeepTheirName) {
    const QString home = QDir::homePath();
    {
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(localName("/Applications/"), "Aplikacje");
        EXPECT_EQ(localName(home + "/Desktop//"), "Biurko");
    }
    LanguageScope l(AppLanguage::de);
    EXPECT_EQ(localName("/"), "/");
    EXPECT_EQ(localName("/tmp/Documents"), "Documents");
    // The home folder is not a known folder.
    EXPECT_FALSE(SystemNames::name(home));
    EXPECT_EQ(localName(home), QDir(home).dirName());
}

TEST(SystemNames, XdgFoldersAreFoundWhereverTheUserPutThem) {
    const QString home = QDir::homePath();
    QDir().mkpath(home + "/Papiere");
    QDir().mkpath(home + "/Muster");
    const QByteArray dirs = "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\nXDG_TEMPLATES_DIR=\"$HOME/Muster\"\n"
                            "XDG_PUBLICSHARE_DIR=\"$HOME/\"\n";
    const QStringList files{qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs",
                            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                "/user-dirs.dirs"};
    for (const QString &f : files)
        TestUtil::writeFile(f, dirs);
    // Qt reads user-dirs.dirs only outside its test mode; HOME is a private folder all the same.
    QStandardPaths::setTestModeEnabled(false);
    SystemNames::resetForTests();
    LanguageScope l(AppLanguage::en);
    EXPECT_EQ(localName(home + "/Papiere"), "Documents");
    EXPECT_EQ(localName(home + "/Muster"), "Templates");
    EXPECT_FALSE(SystemNames::name(home));
    for (const QString &f : files)
        QFile::remove(f);
    QStandardPaths::setTestModeEnabled(true);
    SystemNames::resetForTests();
}

TEST(SystemNames, ManyThreadsAtOnce) {
    const QString docs = QDir::homePath() + "/Documents";
    LanguageScope l(AppLanguage::pl);
    QList<int> jobs(64);
    std::iota(jobs.begin(), jobs.end(), 0);
    const QList<QString> names = QtConcurrent::blockingMapped(jobs, [&](int) { return localName(docs); });
    for (const QString &n : names)
        EXPECT_EQ(n, "Dokumenty");
}
