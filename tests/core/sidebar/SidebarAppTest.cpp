#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/SidebarModel.h"
#include "core/localisation/FileFmt.h"

#include <gtest/gtest.h>

using TestUtil::LanguageScope;

// The application's sidebar lists anew when the language changes and after an eject.
TEST(SidebarAppTest, ALanguageChangeAndAnEjectRebuildTheLists) {
    TestUtil::freshSettings();
    LanguageScope english(AppLanguage::en);
    Services s;
    s.sidebar.watchMounts = false;
    auto volumes = std::make_shared<std::vector<Volume>>();
    s.sidebar.volumes = [volumes] { return *volumes; };
    s.sidebar.freeBytes = [](const QByteArray &) -> std::optional<qint64> { return qint64(5'430'000'000); };
    s.desktop.eject = [volumes](const QByteArray &) -> std::optional<QString> {
        volumes->clear();
        return std::nullopt;
    };
    AppState app(s);
    SidebarModel &model = app.sidebar();
    QTRY_VERIFY(!model.building() && !model.devices().isEmpty());
    EXPECT_EQ(model.devices()[0].detail, "5.43 GB");

    app.settings().setLanguage(AppLanguage::de);
    QTRY_COMPARE(model.devices()[0].detail, QString("5,43 GB"));

    // A volume that went with an eject leaves the list once the eject is done.
    *volumes = {{TestUtil::testHome(), "/dev/sdz1", "vfat", true}};
    model.rebuild();
    QTRY_COMPARE(model.devices().size(), 2);
    app.items().eject(TestUtil::testHome(), "Stick");
    QTRY_COMPARE(model.devices().size(), 1);
    app.settings().setLanguage(AppLanguage::en);
}
