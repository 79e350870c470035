#include "common/HeldJob.h"
#include "common/TestUtil.h"
#include "core/app/JobRunner.h"
#include "core/localisation/Lang.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/TransferBanner.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TransferStatus status(qsizetype index, qsizetype count, std::optional<double> fraction,
                      const QString &name = QStringLiteral("Bild.jpg")) {
    return {QStringLiteral("Kopiere"), name, index, count, fraction};
}

// The banner's bar: the row of pixels through its middle.
struct Bar {
    QImage shot;
    int y = 0, left = 0, right = 0;
};

Bar barOf(TransferBanner &banner) {
    Bar b;
    b.shot = banner.grab().toImage();
    const QWidget *bar = nullptr;
    for (QWidget *w : banner.findChildren<QWidget *>())
        if (w->height() == 6 && !qobject_cast<QLabel *>(w)) bar = w;
    if (!bar) return b;
    b.y = bar->geometry().center().y();
    b.left = bar->geometry().left();
    b.right = bar->geometry().right();
    return b;
}

bool isAccent(QColor c) {
    const QColor a = AppTheme::all().front().a;
    return std::abs(c.red() - a.red()) < 20 && std::abs(c.green() - a.green()) < 20 &&
           std::abs(c.blue() - a.blue()) < 20;
}

} // namespace

TEST(TransferBannerTest, TitleCounterAndName) {
    TestUtil::LanguageScope german(AppLanguage::de);
    TransferBanner banner(status(3, 12, 0.5));
    EXPECT_EQ(banner.titleText(), QStringLiteral("Kopiere 3 von 12"));
    banner.setStatus(status(1, 1, 0.5));
    EXPECT_EQ(banner.titleText(), QStringLiteral("Kopiere"));

    // Fractions are clamped; NaN shows the indeterminate bar.
    for (auto [in, out] : {std::pair{1.3, 1.0}, std::pair{-0.2, 0.0}, std::pair{0.4, 0.4}}) {
        banner.setStatus(status(1, 2, in));
        EXPECT_DOUBLE_EQ(*banner.barValue(), out);
    }
    banner.setStatus(status(1, 2, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(banner.barValue());

    // A very long name is cut in the middle; the card keeps its width.
    const QString longName = QStringLiteral("Anfang-") + QString(300, u'x') + QStringLiteral("-Ende.txt");
    banner.setStatus(status(1, 2, 0.1, longName));
    const QLabel *shown = nullptr;
    for (QLabel *l : banner.findChildren<QLabel *>())
        if (l->text().contains(u"Anfang")) shown = l;
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->text().contains(u'…'));
    EXPECT_TRUE(shown->text().endsWith(QStringLiteral("-Ende.txt")));
    banner.adjustSize();
    EXPECT_EQ(banner.width(), TransferBanner::cardWidth);
}

// The card at 40 % and while the amount is unknown.
TEST(TransferBannerTest, DeterminateAndIndeterminateBars) {
    QWidget root;
    EnvironmentValues::install(&root);
    auto *banner = new TransferBanner(status(3, 12, 0.4), {}, &root);
    banner->adjustSize();
    root.resize(banner->size() + QSize(40, 40));
    banner->move(20, 20);
    root.show();

    Bar bar = barOf(*banner);
    ASSERT_GT(bar.right, bar.left);
    const int span = bar.right - bar.left;
    EXPECT_TRUE(isAccent(QColor(bar.shot.pixel(bar.left + span * 20 / 100, bar.y))));
    EXPECT_TRUE(isAccent(QColor(bar.shot.pixel(bar.left + span * 38 / 100, bar.y))));
    EXPECT_FALSE(isAccent(QColor(bar.shot.pixel(bar.left + span * 45 / 100, bar.y))));
    EXPECT_FALSE(isAccent(QColor(bar.shot.pixel(bar.left + span * 90 / 100, bar.y))));
    // The card: rounded corners stay clear, its inside is the window colour.
    EXPECT_LT(qAlpha(bar.shot.pixel(0, 0)), 10);
    EXPECT_GT(qAlpha(bar.shot.pixel(10, banner->height() / 2)), 240);

    banner->setStatus(status(0, 0, std::nullopt));
    int accent = 0;
    bar = barOf(*banner);
    for (int x = bar.left; x <= bar.right; ++x)
        accent += isAccent(QColor(bar.shot.pixel(x, bar.y)));
    EXPECT_GT(accent, span / 5); // a moving segment, not an empty track
    EXPECT_LT(accent, span / 2); // and not a full bar
}

TEST(TransferBannerTest, FollowsTheRunnerAndCancelsIt) {
    JobRunner jobs({}, [] { return JobRunner::Timing{5, 0}; });
    QWidget root;
    TransferBanner *banner = TransferBanner::forJobs(&jobs, &root);
    root.show();
    EXPECT_FALSE(banner->isVisible());

    HeldJob job;
    const std::shared_ptr<TransferProgress> progress = job.begin(jobs, QStringLiteral("Kopiere"));
    ASSERT_TRUE(progress);
    progress->setTotal(10, 5);
    progress->setItem(2, QStringLiteral("b.txt"));
    progress->add(4);
    QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible() && banner->status() == *jobs.status(), 2000);
    EXPECT_EQ(banner->barValue(), std::optional<double>(0.4));
    EXPECT_EQ(banner->nameText(), "b.txt");

    banner->cancelButton()->click();
    banner->cancelButton()->click(); // again: the flag is only set again
    EXPECT_TRUE(progress->isCancelled());
    EXPECT_TRUE(banner->isVisible()); // until the work has come back
    // At once, before the next poll and whatever the worker still reports: cancelling, no counter, no
    // progress, no second cancel.
    progress->setItem(3, QStringLiteral("c.txt"));
    progress->add(4);
    EXPECT_EQ(banner->titleText(), L("Wird abgebrochen …"));
    EXPECT_EQ(banner->nameText(), L("Unvollständiges wird entfernt …"));
    EXPECT_FALSE(banner->barValue());
    EXPECT_FALSE(banner->cancelButton()->isEnabled());
    QTest::qWait(30);
    EXPECT_EQ(banner->titleText(), L("Wird abgebrochen …"));
    job.end();
    EXPECT_FALSE(banner->isVisible());

    // A cancel in the quiet start (the quit question) shows the banner at once.
    JobRunner quiet({}, [] { return JobRunner::Timing{120, 60000}; });
    TransferBanner *second = TransferBanner::forJobs(&quiet, &root);
    ASSERT_TRUE(job.begin(quiet, QStringLiteral("Kopiere")));
    EXPECT_FALSE(second->isVisible());
    quiet.cancel();
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->titleText(), L("Wird abgebrochen …"));
    job.end();
}
