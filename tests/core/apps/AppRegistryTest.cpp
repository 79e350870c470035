// Applications for a file, launching, the default for a type and what a double click does, against the
// fixture entries (AppFixtures.h) in a process of their own.
#include "core/apps/AppFixtures.h"

#include "core/localisation/Lang.h"
#include "core/model/MimeKinds.h"
#include "core/model/OpenWithApp.h"
#include "core/model/XattrPlist.h"
#include "platform/AppRegistry.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace AppFixtures;
using TestUtil::LanguageScope;

namespace {

[[maybe_unused]] auto *const env = ::testing::AddGlobalTestEnvironment(new Environment);

class AppRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearOut();
        QDir(root() + "/docs").removeRecursively(); // what an earlier test made there
    }
    QString file(const QString &name, const QByteArray &bytes = "text\n") {
        const QString path = root() + "/docs/" + name;
        TestUtil::writeFile(path, bytes);
        return path;
    }
    static QStringList names(const QList<OpenWithApp> &apps) {
        QStringList n;
        for (const OpenWithApp &a : apps)
            n << a.name;
        return n;
    }
};

} // namespace

TEST_F(AppRegistryTest, ListsDefaultThenRecommendedThenOthersInNameOrder) {
    const LanguageScope de(AppLanguage::de);
    const QList<OpenWithApp> apps = OpenWithApp::list(file("main.c", "int main() { return 0; }\n"));
    // Zeta is the default although it sorts last; Alpha is registered for C itself and comes before
    // Aaron, which only opens plain text; those in natural order ("Tool 2" before "Tool 10").
    EXPECT_EQ(names(apps), (QStringList{"Zeta", "Alpha", "Aaron", "Beta", "Editor", "Tool 2", "Tool 10"}));
    ASSERT_FALSE(apps.isEmpty());
    EXPECT_TRUE(apps[0].isDefault);
    EXPECT_EQ(apps[0].path, entry("zeta"));
    for (qsizetype i = 1; i < apps.size(); ++i)
        EXPECT_FALSE(apps[i].isDefault) << apps[i].name.toStdString();
    // The look-alike outside the application folders, and the link to it inside, are never offered.
    for (const OpenWithApp &a : apps)
        EXPECT_NE(a.name, "Evil");
}

TEST_F(AppRegistryTest, ListsAreCutAt60AndAt40WithTheDefaultKept) {
    const QString paper = file("paper.tex", "\\documentclass{article}\n");
    const QList<OpenWithApp> listed = OpenWithApp::list(paper);
    ASSERT_EQ(listed.size(), 60);
    EXPECT_EQ(listed.first().name, "App 74");
    EXPECT_EQ(listed[1].name, "App 00");
    EXPECT_EQ(listed.last().name, "App 58");
    const QList<OpenWithApp> menu = OpenWithApp::list(paper, OpenWithApp::kMaxMenu);
    ASSERT_EQ(menu.size(), 40);
    EXPECT_EQ(menu.first().name, "App 74");
    EXPECT_EQ(menu.last().name, "App 38");
}

TEST_F(AppRegistryTest, ArrangeKeepsEachEntryOnceAndNothingOpensABlob) {
    OpenWithApp a{"/x/a.desktop", "A", {}, false, false};
    OpenWithApp b{"/x/b.desktop", "B", {}, true, false};
    EXPECT_EQ(OpenWithApp::arrange({a, b, a}, 60), (QList<OpenWithApp>{b, a}));
    EXPECT_TRUE(OpenWithApp::list(file("blob.kestrinunknown", QByteArray("\x00\x01\x02\xff", 4))).isEmpty());
}

TEST_F(AppRegistryTest, LaunchHandsOverFilesAsArgumentsOrNone) {
    const QString one = file("one.c"), two = file("two words.c");
    EXPECT_EQ(OpenWith::launch(entry("alpha"), {one, two}), std::nullopt);
    EXPECT_EQ(waitLaunch(), (QStringList{"alpha", one, two}));
    clearOut();
    EXPECT_EQ(OpenWith::launch(entry("beta"), {}), std::nullopt);
    EXPECT_EQ(waitLaunch(), (QStringList{"beta"}));
}

TEST_F(AppRegistryTest, EntriesOutsideTheApplicationFoldersAreRefusedAndNeverRun) {
    const LanguageScope de(AppLanguage::de);
    const QString evil = downloads() + "/evil.desktop";
    EXPECT_FALSE(AppRegistry::isApplicationEntry(evil));
    EXPECT_FALSE(AppRegistry::isApplicationEntry(appsDir() + "/linked.desktop"));
    EXPECT_FALSE(AppRegistry::isApplicationEntry(appsDir() + "/../../Downloads/evil.desktop"));
    EXPECT_TRUE(AppRegistry::isApplicationEntry(entry("zeta")));
    // A folder whose name merely starts like an application folder's is another folder.
    const QString sibling = appsDir() + "-evil/x.desktop";
    ASSERT_TRUE(TestUtil::writeFile(sibling, desktopFile("sibling", "Sibling", "text/x-csrc;")));
    EXPECT_FALSE(AppRegistry::isApplicationEntry(sibling));
    const QString refusal = "Das ist keine App. Ziehe ein Programm (Endung .desktop) hierher.";
    EXPECT_EQ(OpenWith::launch(evil, {file("x.c")}), refusal);
    EXPECT_EQ(OpenWith::launch(appsDir() + "/linked.desktop", {}), refusal);
    EXPECT_EQ(OpenWith::launch(sibling, {}), refusal);
    EXPECT_EQ(AppRegistry::setDefaultFor(evil, "text/x-csrc").has_value(), true);
    EXPECT_TRUE(nothingLaunched());
    EXPECT_EQ(AppRegistry::defaultFor("text/x-csrc"), entry("zeta"));
}

TEST_F(AppRegistryTest, LaunchErrorsAreSentencesOfTheInterfaceLanguage) {
    const QString gone = appsDir() + "/gone.desktop";
    {
        const LanguageScope de(AppLanguage::de);
        EXPECT_EQ(OpenWith::launch(gone, {}), "gone wurde nicht gefunden.");
    }
    const LanguageScope en(AppLanguage::en);
    EXPECT_EQ(OpenWith::launch(gone, {}), L("%@ wurde nicht gefunden.").replace("%@", "gone"));
    EXPECT_NE(OpenWith::launch(gone, {}), "gone wurde nicht gefunden.");
}

TEST_F(AppRegistryTest, SettingTheDefaultIsReadBack) {
    ASSERT_EQ(AppRegistry::setDefaultFor(entry("alpha"), "text/x-csrc"), std::nullopt);
    EXPECT_EQ(AppRegistry::defaultFor("text/x-csrc"), entry("alpha"));
    ASSERT_EQ(AppRegistry::setDefaultFor(entry("zeta"), "text/x-csrc"), std::nullopt);
    EXPECT_EQ(AppRegistry::defaultFor("text/x-csrc"), entry("zeta"));
    // The desktop's own list names Zeta for Java: the call goes through, the default stays.
    EXPECT_EQ(AppRegistry::setDefaultFor(entry("alpha"), "text/x-java"), std::nullopt);
    EXPECT_EQ(AppRegistry::defaultFor("text/x-java"), entry("zeta"));
}

TEST_F(AppRegistryTest, DoubleClickNeverHandsAProgramToALauncher) {
    // A script opens as text in the editor; had it run, it would have left its mark.
    const QString mark = root() + "/docs/ran";
    const QString script = file("tidy", ("#!/bin/sh\ntouch " + mark + "\n").toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(OpenWith::openDocument(script), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"editor", script}));
    EXPECT_FALSE(QFile::exists(mark));
    clearOut();
    // A .desktop file of a download is text to read, not an entry to start.
    EXPECT_EQ(OpenWith::openDocument(downloads() + "/evil.desktop"), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"editor", downloads() + "/evil.desktop"}));
    clearOut();
    // A binary has nothing to show.
    const QString binary = root() + "/docs/prog";
    ASSERT_TRUE(QFile::copy("/bin/true", binary));
    EXPECT_EQ(OpenWith::openDocument(binary), OpenWith::Opened::program);
    EXPECT_TRUE(nothingLaunched());
}

TEST_F(AppRegistryTest, DoubleClickHonoursTheFilesOwnChoiceOnlyForRealEntries) {
    const QString doc = file("chosen.c");
    ASSERT_EQ(FileOps::setOpenWithOverride(entry("alpha"), doc), 0);
    EXPECT_EQ(OpenWith::openDocument(doc), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"alpha", doc}));
    clearOut();
    // A choice naming a download is ignored: the default opens it.
    ASSERT_EQ(FileOps::setOpenWithOverride(downloads() + "/evil.desktop", doc), 0);
    EXPECT_EQ(OpenWith::openDocument(doc), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"zeta", doc}));
}

// One rule wherever an entry is started: inside the application folders, of Type=Application, not
// hidden. A link, a script under an entry's name and a hidden entry start nothing, even in the right place.
TEST_F(AppRegistryTest, OnlyApplicationEntriesAreStarted) {
    const LanguageScope de(AppLanguage::de);
    const QString refusal = "Das ist keine App. Ziehe ein Programm (Endung .desktop) hierher.";
    for (const char *name : {"weblink", "script", "hidden"}) {
        EXPECT_FALSE(AppRegistry::isApplicationEntry(entry(name))) << name;
        EXPECT_FALSE(AppRegistry::entry(entry(name), "de")) << name;
        EXPECT_EQ(OpenWith::launch(entry(name), {}), refusal) << name;
    }
    EXPECT_TRUE(nothingLaunched());
    EXPECT_TRUE(AppRegistry::isApplicationEntry(entry("quiet")));
    // Offered nowhere in the lists, though registered for the type.
    EXPECT_FALSE(names(OpenWithApp::list(file("main.c"))).contains("Quiet"));
    EXPECT_FALSE(names(OpenWithApp::list(file("main.c"))).contains("Hidden"));
}

TEST_F(AppRegistryTest, AnEntryWhoseProgramIsGoneSaysSo) {
    const LanguageScope de(AppLanguage::de);
    EXPECT_EQ(OpenWith::launch(entry("vanished"), {file("x.c")}),
              "Das Programm von „Vanished“ ist nicht installiert.");
}

// What a type's own handler would run is never handed to it, also when the type descends from text:
// a Java Web Start file opens as text, not in its launcher. Dialects of scripts and packages count at any
// depth below a program class; data the database files below a script, and launcher look-alikes, do not.
TEST_F(AppRegistryTest, ExecutableTypesAreKnownByTheirAncestorsToo) {
    for (const char *type :
         {"application/x-java-jnlp-file", "application/x-desktop", "application/x-shellscript",
          "text/x-python3", "application/x-msi", "application/x-ms-dos-executable",
          "application/vnd.debian.binary-package", "application/x-executable", "application/x-sharedlib",
          "application/x-awk", "text/x-lua", "application/javascript", "application/x-markaby",
          "text/x-scons", "application/x-source-rpm", "application/vnd.android.package-archive"})
        EXPECT_TRUE(MimeKinds::isExecutableType(type)) << type;
    for (const char *type : {"text/plain", "application/xml", "text/x-csrc", "image/png", "application/pdf",
                             "", "application/json", "application/x-ipynb+json", "model/gltf+json",
                             "application/geo+json", "application/x-theme"})
        EXPECT_FALSE(MimeKinds::isExecutableType(type)) << type;
    const QString jnlp =
        file("start.jnlp", "<?xml version=\"1.0\"?>\n<jnlp codebase=\"file:/tmp\"></jnlp>\n");
    EXPECT_EQ(OpenWith::openDocument(jnlp), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"editor", jnlp}));
}

// JSON and its kinds are data: each opens with the application chosen for it, never in the text editor.
TEST_F(AppRegistryTest, JsonNotebooksAndScenesOpenWithTheirChosenApplication) {
    const QString json = file("daten.json", "{\"a\": [1, 2]}\n");
    const QString notebook = file("analyse.ipynb", "{\"cells\": [], \"nbformat\": 4}\n");
    const QString scene = file("szene.gltf", "{\"asset\": {\"version\": \"2.0\"}}\n");
    const QList<std::pair<QString, QString>> chosen{{json, "alpha"}, {notebook, "beta"}, {scene, "aaron"}};
    for (const auto &[path, app] : chosen) {
        ASSERT_EQ(FileOps::setOpenWithOverride(entry(app), path), 0);
        EXPECT_EQ(OpenWith::openDocument(path), OpenWith::Opened::opened) << path.toStdString();
        EXPECT_EQ(waitLaunch(), (QStringList{app, path}));
        clearOut();
    }
    // A script still opens as text, whatever was chosen for it.
    const QString script = file("werkzeug.js", "console.log(1);\n");
    ASSERT_EQ(FileOps::setOpenWithOverride(entry("alpha"), script), 0);
    EXPECT_EQ(OpenWith::openDocument(script), OpenWith::Opened::opened);
    EXPECT_EQ(waitLaunch(), (QStringList{"editor", script}));
}
