#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/help/ManualChapters.h"
#include "core/localisation/Lang.h"
#include "ui/app/SceneWindows.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

// A manual with long chapters, so every chapter has its own scroll position.
QByteArray longManual() {
    QByteArray text = "# Handbuch\n";
    for (int chapter = 1; chapter <= 13; ++chapter) {
        text += "## " + QByteArray::number(chapter) + ". Kapitel\n";
        for (int line = 0; line < 40; ++line)
            text += "Absatz " + QByteArray::number(line) + "\n";
    }
    return text;
}

class ManualWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        language = Lang::current();
        ASSERT_TRUE(dir.isValid());
        ManualChapters::setFolder(dir.path());
        app = std::make_unique<AppState>();
        app->setLanguage(AppLanguage::de);
        app->openManualWindow = [this] { window = ManualWindow::open(app.get()); };
    }
    void TearDown() override {
        delete window;
        ManualChapters::setFolder({});
        Lang::setCurrent(language);
    }
    int scroll() const { return window->document()->verticalScrollBar()->value(); }

    QTemporaryDir dir;
    std::unique_ptr<AppState> app;
    QPointer<ManualWindow> window;
    AppLanguage language = AppLanguage::de;
};

} // namespace

TEST_F(ManualWindowTest, AChapterRequestScrollsThereAgainWhileTheWindowIsOpen) {
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.de.md"), longManual()));
    app->openManual(4);
    ASSERT_TRUE(window && window->document());
    EXPECT_FALSE(app->manualSection()) << "the request is taken";
    QTRY_VERIFY(scroll() > 0);
    const int atFour = scroll();

    QScrollBar *bar = window->document()->verticalScrollBar();
    bar->setValue(bar->maximum());
    ManualWindow *first = window;
    app->openManual(4);
    EXPECT_EQ(window, first) << "one manual window";
    QTRY_COMPARE(scroll(), atFour);

    // Without a chapter the window comes forward and stays where it is.
    bar->setValue(atFour / 2);
    app->openManual(std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(scroll(), atFour / 2);
    app->openManual(9);
    QTRY_VERIFY(scroll() > atFour);
}

TEST_F(ManualWindowTest, AMissingFileShowsTheNotFoundLineAndKeepsTheRequestForAnotherLanguage) {
    app->setLanguage(AppLanguage::pl);
    app->openManual(3);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->document());
    QLabel *missing = nullptr;
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->text().contains("manual.pl.md")) missing = l;
    ASSERT_TRUE(missing);
    EXPECT_EQ(app->manualSection(), 3) << "pending until a manual is shown";

    // Neither a file that is too large nor one that isn't UTF-8 is a manual.
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.th.md"), "## 1. \xff\xfe\n"));
    window->setLanguage(AppLanguage::th);
    EXPECT_FALSE(window->document());
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.en.md"), longManual()));
    window->setLanguage(AppLanguage::en);
    ASSERT_TRUE(window->document());
    EXPECT_FALSE(app->manualSection());
    QTRY_VERIFY(scroll() > 0);
    EXPECT_EQ(app->language(), AppLanguage::pl) << "the window's own switch leaves the app's language";
}

// The bundled manuals load and show every chapter's anchor in each language.
TEST_F(ManualWindowTest, BundledManualsShowInEveryLanguage) {
    ManualChapters::setFolder({});
    app->openManual(13);
    for (AppLanguage lang : AppLanguages::allCases) {
        window->setLanguage(lang);
        ASSERT_TRUE(window->document()) << AppLanguages::rawValue(lang).toStdString();
        EXPECT_TRUE(window->document()->toHtml().contains("name=\"h13\""));
    }
}
