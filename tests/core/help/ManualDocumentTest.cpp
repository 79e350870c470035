#include "common/TestUtil.h"
#include "core/help/ManualChapters.h"
#include "core/help/ManualDocument.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <gtest/gtest.h>

using Kind = ManualBlock::Kind;
using Blocks = QList<ManualBlock>;

void PrintTo(const ManualBlock &b, std::ostream *os) {
    *os << int(b.kind) << " \"" << b.text.toStdString() << '"';
}

TEST(ManualDocumentTest, LinesBecomeTitleHeadingBulletAndParagraphBlocks) {
    EXPECT_EQ(ManualDocument::parse("# Handbuch\n\n## 1. Start\n- Punkt\nText"),
              Blocks({{Kind::title, "Handbuch"},
                      {Kind::heading, "1. Start"},
                      {Kind::bullet, "Punkt"},
                      {Kind::para, "Text"}}));
    EXPECT_EQ(ManualDocument::parse(" \t## 2. Fenster \t\r\n##2. Fenster\n#  Titel\n### x\n* x\n1. x\n   \n"),
              Blocks({{Kind::heading, "2. Fenster"},
                      {Kind::para, "##2. Fenster"},
                      {Kind::title, " Titel"},
                      {Kind::para, "### x"},
                      {Kind::para, "* x"},
                      {Kind::para, "1. x"}}));
    EXPECT_TRUE(ManualDocument::parse({}).isEmpty());
}

TEST(ManualDocumentTest, HeadingsAnchorOnTheirLeadingDigitsElseOnTheirIndex) {
    EXPECT_EQ(ManualDocument::anchor("10. Tipps", 3), "h10");
    EXPECT_EQ(ManualDocument::anchor("12 Tipps", 3), "h12");
    EXPECT_EQ(ManualDocument::anchor("Anhang", 5), "h-5");
    // Thai digits stay as they are, so a request for chapter 3 never lands there.
    EXPECT_EQ(ManualDocument::anchor(QString::fromUtf8("๓. บท"), 1), QString::fromUtf8("h๓"));
    EXPECT_NE(ManualDocument::anchor(QString::fromUtf8("๓. บท"), 1), ManualDocument::chapterAnchor(3));
}

// The file is outside data: nothing in it may become markup or a link the window would follow.
TEST(ManualDocumentTest, InlineMarksAreStyledButTextCannotInjectMarkupOrUnsafeLinks) {
    EXPECT_EQ(ManualDocument::inlineHtml("**fett** und `a<b` und *schräg*"),
              QString::fromUtf8("<b>fett</b> und <code>a&lt;b</code> und <i>schräg</i>"));
    EXPECT_EQ(ManualDocument::inlineHtml("<img src=x onerror=y> & \"q\""),
              "&lt;img src=x onerror=y&gt; &amp; &quot;q&quot;");
    EXPECT_EQ(ManualDocument::inlineHtml("[Web](https://example.org/a?b=1&c=2)"),
              "<a href=\"https://example.org/a?b=1&amp;c=2\">Web</a>");
    EXPECT_EQ(ManualDocument::inlineHtml("[Kapitel](#h3)"), "<a href=\"#h3\">Kapitel</a>");
    for (const char *bad : {"file:///etc/passwd", "javascript:alert", "kestrin://x", "data:text/html,x",
                            "/etc/passwd", "https://a.org/\"onclick=\"x", "#h3\" onclick=\"x"})
        EXPECT_EQ(ManualDocument::inlineHtml(QStringLiteral("[Text](%1)").arg(QString::fromUtf8(bad))),
                  "Text")
            << bad;
    EXPECT_TRUE(ManualDocument::isAllowedLink("mailto:feedback@kestrin-app.org"));
    EXPECT_FALSE(ManualDocument::isAllowedLink("mailto:"));
    EXPECT_FALSE(ManualDocument::isAllowedLink("http://"));
    // Deep nesting ends as text instead of recursing without bound.
    const QString deep = QString("*").repeated(4000) + "x" + QString("*").repeated(4000);
    EXPECT_FALSE(ManualDocument::inlineHtml(deep).isEmpty());
}

TEST(ManualDocumentTest, DocumentCarriesAnAnchorPerChapterAndContentsLinksToThem) {
    const Blocks blocks =
        ManualDocument::parse("# Handbuch <b>\n## 1. Start\nText\n## **2.** Fett\n## Anhang\n");
    const QString html = ManualDocument::html(blocks, {"Inhalt", "Zum Inhalt"});
    EXPECT_TRUE(html.contains("<a name=\"top\"></a>Handbuch &lt;b&gt;"));
    for (const char *anchor : {"h1", "h-4"}) {
        EXPECT_TRUE(html.contains(QStringLiteral("<a name=\"%1\">").arg(anchor))) << anchor;
        EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"#%1\">").arg(anchor))) << anchor;
    }
    // Heading marks show literally; only bullets and paragraphs are styled.
    EXPECT_TRUE(html.contains("**2.** Fett"));
    EXPECT_EQ(html.count("<a href=\"#top\">"), 3);
}

// The help entry points name chapters by number: every number in the code must be a chapter of every
// manual, and every chapter heading must start with plain ASCII digits so that it gets its anchor.
TEST(ManualDocumentTest, BundledManualsAnchorEveryChapterTheCodeAsksFor) {
    static const QRegularExpression caller(QStringLiteral(
        "\\b(?:toolbarHelp|toolbarHelpContext|toolHelp|helpContext|HelpButton|openManual)\\s*\\("
        "(?:[^();]|\\([^()]*\\))*?\\b(\\d+)\\s*(?:,\\s*this\\s*)?\\)"));
    QSet<int> used;
    QDirIterator it(QStringLiteral(KESTRIN_SOURCE_DIR "/src"), {"*.cpp"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString code = QString::fromUtf8(TestUtil::readFile(it.next()));
        for (const QRegularExpressionMatch &m : caller.globalMatch(code))
            used.insert(m.captured(1).toInt());
    }
    EXPECT_GE(used.size(), 4) << "the scan of the help callers finds nothing";
    static const QRegularExpression plainHeading(QStringLiteral("^## [1-9][0-9]*\\. \\S"));
    static const QRegularExpression foreignWords(QStringLiteral("macOS|Finder|TextEdit|⌘|\\bMac\\b|Cmd\\+"));
    for (AppLanguage lang : AppLanguages::allCases) {
        const std::string code = AppLanguages::rawValue(lang).toStdString();
        const std::optional<QString> text = ManualDocument::load(lang);
        ASSERT_TRUE(text) << code;
        for (QStringView line : QStringView(*text).split(u'\n')) {
            if (line.startsWith(u"## ")) {
                EXPECT_TRUE(plainHeading.match(line).hasMatch())
                    << code << ": " << line.toString().toStdString();
            }
        }
        EXPECT_FALSE(foreignWords.match(*text).hasMatch())
            << code << ": " << foreignWords.match(*text).captured().toStdString();
        const QString html = ManualDocument::html(ManualDocument::parse(*text), {"Inhalt", "Zum Inhalt"});
        for (int chapter : used)
            EXPECT_TRUE(
                html.contains(QStringLiteral("<a name=\"%1\">").arg(ManualDocument::chapterAnchor(chapter))))
                << code << " chapter " << chapter;
        EXPECT_GE(ManualDocument::parse(*text).size(), 100) << code << ": the manual is only its headings";
    }
}
