#include "common/TestUtil.h"
#include "core/help/ManualChapters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readable chapters in failure messages.
void PrintTo(const ManualChapter &c, std::ostream *os) {
    *os << c.number << " \"" << c.title.toStdString() << '"';
}

namespace {

using Chapters = QList<ManualChapter>;

// Restores the bundled manuals after a test that reads another folder.
struct FolderScope {
    explicit FolderScope(const QString &folder) { ManualChapters::setFolder(folder); }
    ~FolderScope() { ManualChapters::setFolder({}); }
};

} // namespace

TEST(ManualChaptersTest, AChapterIsASecondLevelHeadingThatBeginsWithANumberAndAFullStop) {
    EXPECT_EQ(ManualChapters::parse("## 12. Titel"), Chapters({{12, "Titel"}}));
    for (const char *no : {"##12. Titel", "## 12 Titel", "## . Titel", "## Titel. Mehr", "### 3. Titel",
                           "# 3. Titel", "## 12 . Titel", "## 1 2. Titel", "## +. Titel", "## ３. Titel",
                           "## 99999999999. Titel", "Text ## 3. Titel"})
        EXPECT_TRUE(ManualChapters::parse(QString::fromUtf8(no)).isEmpty()) << no;
}

TEST(ManualChaptersTest, NumberEndsAtTheFirstFullStopAndTheTitleIsTrimmed) {
    const Chapters got = ManualChapters::parse(QString::fromUtf8("## 1.2. Titel\n"
                                                                 "## 4.Ohne Blank\n"
                                                                 "## 5.\n"
                                                                 "  \t## 6.  Eingerückt \t\n"
                                                                 "\u00a0## 7.\u2003Breite Blanks\u00a0\n"
                                                                 "## 8. Windows\r\n"
                                                                 "## -2. Minus\n"
                                                                 "## +3. Plus\n"
                                                                 "## 6. Noch einmal"));
    EXPECT_EQ(got, Chapters({{1, "2. Titel"},
                             {4, "Ohne Blank"},
                             {5, ""},
                             {6, "Eingerückt"},
                             {7, "Breite Blanks"},
                             {8, "Windows"},
                             {-2, "Minus"},
                             {3, "Plus"},
                             {6, "Noch einmal"}}));
    EXPECT_TRUE(ManualChapters::parse(QString()).isEmpty());
}

TEST(ManualChaptersTest, MissingUnreadableOversizedOrNonUtf8FilesHaveNoChapters) {
    QTemporaryDir dir;
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.pl.md"),
                                    "# Podręcznik\n\n## 1. Start\n- Punkt\n## 2. Kosz\n"));
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.th.md"), "## 1. Start\n## 2. Gr\xff\xfe\n"));
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.en.md"),
                                    "## 1. Start\n" + QByteArray(ManualChapters::maxBytes, '\n')));
    FolderScope scope(dir.path());
    EXPECT_EQ(ManualChapters::path(AppLanguage::pl), dir.filePath("manual.pl.md"));
    EXPECT_EQ(ManualChapters::list(AppLanguage::pl), Chapters({{1, "Start"}, {2, "Kosz"}}));
    EXPECT_TRUE(ManualChapters::list(AppLanguage::th).isEmpty()) << "not UTF-8";
    EXPECT_TRUE(ManualChapters::list(AppLanguage::en).isEmpty()) << "too large";
    EXPECT_TRUE(ManualChapters::list(AppLanguage::de).isEmpty()) << "missing";
    EXPECT_TRUE(ManualChapters::fromFile(dir.path()).isEmpty()) << "a folder";
}

// Every caller names its chapter by number, so each language's manual must carry chapters 1 to 13, once
// each and in order, with a title; the bundled files and the sources they are built from agree.
TEST(ManualChaptersTest, EveryBundledManualHasTheThirteenChaptersWithTitles) {
    for (AppLanguage lang : AppLanguages::allCases) {
        const QString code = AppLanguages::rawValue(lang);
        const Chapters bundled = ManualChapters::list(lang);
        ASSERT_EQ(bundled.size(), 13) << code.toStdString();
        for (int i = 0; i < 13; ++i) {
            EXPECT_EQ(bundled[i].number, i + 1) << code.toStdString();
            EXPECT_FALSE(bundled[i].title.isEmpty()) << code.toStdString() << " chapter " << i + 1;
        }
        const QString source =
            QStringLiteral(KESTRIN_SOURCE_DIR "/resources/Handbuch/manual.%1.md").arg(code);
        EXPECT_EQ(ManualChapters::fromFile(source), bundled) << code.toStdString();
    }
    EXPECT_NE(ManualChapters::list(AppLanguage::de)[4].title, ManualChapters::list(AppLanguage::th)[4].title)
        << "the Thai manual carries the German titles";
}
