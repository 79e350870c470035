// The banner bound to the application core (a file of its own: the core and the style headers
// cannot be included together).
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "ui/window/TransferBanner.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

TEST(TransferBannerAppTest, FollowsTheJobAndCancelsIt) {
    AppState app;
    QWidget root;
    TransferBanner *banner = TransferBanner::forApp(&app, &root);
    root.show();
    EXPECT_FALSE(banner->isVisible());

    const std::shared_ptr<TransferProgress> progress = app.beginJob(QStringLiteral("Kopiere"));
    ASSERT_TRUE(progress);
    TransferStatus s;
    s.title = QStringLiteral("Kopiere");
    s.name = QStringLiteral("a.txt");
    s.index = 2;
    s.count = 5;
    s.fraction = 0.4;
    app.setTransferStatus(s);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->status(), s);

    reinterpret_cast<QAbstractButton *>(banner->cancelButton())->click();
    EXPECT_TRUE(progress->isCancelled());
    EXPECT_TRUE(banner->isVisible()); // until the core ends the job
    app.endJob();
    EXPECT_FALSE(banner->isVisible());
}
