#include "common/TestUtil.h"
#include "core/app/FeedbackMail.h"
#include "core/localisation/Lang.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using TestUtil::LanguageScope;

namespace {

const FeedbackMail::Options none{false, false, false, false};

// The facts come from files of the test's own.
class FeedbackMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        FeedbackMail::setSources({dir.filePath("os-release"), dir.filePath("dmi")});
    }
    void TearDown() override { FeedbackMail::setSources({}); }
    QTemporaryDir dir;
};

QByteArray encodedQuery(const QUrl &url, const char *key) {
    const QByteArray text = url.toEncoded();
    const qsizetype at = text.indexOf(QByteArray(key) + '=');
    const qsizetype end = text.indexOf('&', at);
    return text.mid(at + qstrlen(key) + 1, end < 0 ? -1 : end - at - qstrlen(key) - 1);
}

} // namespace

TEST_F(FeedbackMailTest, BodyIsTheTrimmedMessageAndTheTechnicalLinesAfterTheSeparator) {
    EXPECT_EQ(FeedbackMail::body("  Hallo\n\n\n", none), "Hallo");
    const FeedbackMail::Options lang{false, false, false, true};
    LanguageScope scope(AppLanguage::pl);
    EXPECT_EQ(FeedbackMail::body("Hallo\n\n \n", lang), QString::fromUtf8("Hallo\n\n— — —\nLanguage: pl"));
    EXPECT_EQ(FeedbackMail::body(" \n\t", lang), QString::fromUtf8("\n\n— — —\nLanguage: pl"));
    EXPECT_TRUE(FeedbackMail::technicalLines(none).isEmpty());
}

TEST_F(FeedbackMailTest, TechnicalLinesNameTheLinuxSystemAndMachineAndFollowTheLanguage) {
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("os-release"),
                                    "# comment\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                                    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("dmi"));
    // A strange firmware text can't add lines of its own to the mail.
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("dmi/sys_vendor"), "ACME\r\x01\n"));
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("dmi/product_name"), "Box 3\nLanguage: xx\n"));
    LanguageScope scope(AppLanguage::th);
    // Until the worker has read the files the lines hold a placeholder.
    EXPECT_EQ(FeedbackMail::technicalLines({false, true, false, false}), QStringList{"System: \u2026"});
    FeedbackMail::setFacts(FeedbackMail::readFacts());
    const QStringList lines = FeedbackMail::technicalLines({});
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("App: Kestrin 1.04 (Build ")) << lines[0].toStdString();
    // The build is known: the commit or the day it was made.
    EXPECT_FALSE(lines[0].contains("Build ?")) << lines[0].toStdString();
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{7,}$|^\\d{8}$").match(FeedbackMail::build()).hasMatch())
        << FeedbackMail::build().toStdString();
    EXPECT_TRUE(lines[0].endsWith(", KS-104-261105)")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "System: Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(lines[2], "Machine: ACME Box 3, " + FeedbackMail::architecture());
    EXPECT_EQ(lines[3], "Language: th");
    EXPECT_TRUE(FeedbackMail::architecture() == "x86_64" || FeedbackMail::architecture() == "arm64");

    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("os-release"), "NAME=Fedora\nVERSION_ID=41\n"));
    EXPECT_EQ(FeedbackMail::osVersion(), "Fedora 41");
    QFile::remove(dir.filePath("os-release"));
    QDir(dir.filePath("dmi")).removeRecursively();
    EXPECT_EQ(FeedbackMail::osVersion(), "Linux");
    FeedbackMail::setFacts(FeedbackMail::readFacts());
    EXPECT_EQ(FeedbackMail::technicalLines({false, false, true, false}),
              QStringList({"Machine: unknown, " + FeedbackMail::architecture()}));
}

// A FIFO in place of os-release or a firmware file is never waited on, and the reading happens on a
// worker whose result reaches the lines.
TEST_F(FeedbackMailTest, SystemFilesAreReadOnAWorkerWithoutWaitingOnAFifo) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("os-release")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("dmi"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("dmi/sys_vendor")).constData(), 0600), 0);
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("dmi/product_name"), "Box 3\n"));
    QObject owner;
    bool done = false;
    FeedbackMail::loadFacts(&owner, [&] { done = true; });
    EXPECT_EQ(FeedbackMail::technicalLines({false, true, false, false}), QStringList{"System: \u2026"});
    QTRY_VERIFY_WITH_TIMEOUT(done, 3000);
    if (!done) // let a reader that waits go, so the test can end
        for (const char *fifo : {"os-release", "dmi/sys_vendor"})
            ::close(::open(QFile::encodeName(dir.filePath(fifo)).constData(), O_WRONLY | O_NONBLOCK));
    EXPECT_EQ(FeedbackMail::technicalLines({false, true, true, false}),
              (QStringList{"System: Linux", "Machine: Box 3, " + FeedbackMail::architecture()}));
}

TEST_F(FeedbackMailTest, SubjectKeepsTheEnglishTagInEveryLanguageAndTitlesFollowIt) {
    LanguageScope scope(AppLanguage::en);
    EXPECT_EQ(FeedbackMail::subject(FeedbackKind::bug), QString::fromUtf8("Kestrin 1.04 – Feedback (Bug)"));
    EXPECT_EQ(L(FeedbackKinds::title(FeedbackKind::bug)), "Report a Bug");
    Lang::setCurrent(AppLanguage::th);
    EXPECT_EQ(FeedbackMail::subject(FeedbackKind::other),
              QString::fromUtf8("Kestrin 1.04 – Feedback (Other)"));
    EXPECT_EQ(FeedbackKinds::fromRaw(2), FeedbackKind::question);
    EXPECT_FALSE(FeedbackKinds::fromRaw(4));
    EXPECT_FALSE(FeedbackKinds::fromRaw(-1));
}

// The link is read by another program: every reserved character of the text must arrive as text, and
// every line end as one CR LF pair.
TEST_F(FeedbackMailTest, UrlPercentEncodesEverythingButUnreservedAndEndsLinesInCrLf) {
    const QString body = QString::fromUtf8("Grüße ไทย\r\na&b=c?d#e+f/g@h %\nz\r\n\rx-._~");
    const std::optional<QUrl> url = FeedbackMail::url(FeedbackMail::subject(FeedbackKind::idea), body);
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->toEncoded().startsWith("mailto:" + FeedbackMail::address.toUtf8() + "?subject="));
    EXPECT_EQ(encodedQuery(*url, "subject"), "Kestrin%201.04%20%E2%80%93%20Feedback%20%28Idea%29");
    EXPECT_EQ(encodedQuery(*url, "body"), "Gr%C3%BC%C3%9Fe%20%E0%B9%84%E0%B8%97%E0%B8%A2%0D%0A"
                                          "a%26b%3Dc%3Fd%23e%2Bf%2Fg%40h%20%25%0D%0Az%0D%0A%0Dx-._~");
    EXPECT_EQ(url->toEncoded().count('&'), 1) << "only the separator of the two keys";
    EXPECT_EQ(url->toEncoded().count('#'), 0);
    // Read back, the parts are the texts that went in (with CR LF line ends).
    const QUrlQuery query(*url);
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
              QString::fromUtf8("Grüße ไทย\r\na&b=c?d#e+f/g@h %\r\nz\r\n\rx-._~"));
    EXPECT_EQ(query.queryItems().size(), 2);
}
