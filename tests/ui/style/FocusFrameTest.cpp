// Controls that paint themselves show the keyboard focus, as the style's own controls do.
#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/settings/SettingsParts.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/style/ButtonStyles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>

TEST(FocusFrameTest, ControlsThatPaintThemselvesShowTheFocus) {
    AppState app;
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    auto *start = new QLineEdit(&host);
    auto *tags = new TagPicker(&host);
    auto *section = new InspectorSection(K("Allgemein"), &host);
    auto *chip = new ChoiceChip(
        QStringLiteral("Hell"), [] { return false; }, [] {}, &host);
    auto *icon = new IconButton(QStringLiteral("gearshape"), false, 12, &host);
    auto *themes = new ThemeGrid(app.settings(), &host);
    auto *sidebar =
        new SidebarView(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts(), &host);
    for (QWidget *w : std::initializer_list<QWidget *>{start, sidebar, tags, section, chip, icon, themes})
        column->addWidget(w);
    sidebar->setMinimumHeight(300);
    host.resize(500, 1200);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    QTRY_VERIFY_WITH_TIMEOUT(!sidebar->rows().isEmpty() && sidebar->rows().constFirst()->isVisible(), 5000);

    const QList<QWidget *> controls{
        tags->findChildren<QAbstractButton *>().value(0),   section->header(),       chip, icon,
        themes->findChildren<QAbstractButton *>().value(0), sidebar->rows().value(0)};
    for (QWidget *control : controls) {
        ASSERT_TRUE(control);
        SCOPED_TRACE(control->metaObject()->className());
        start->setFocus();
        const QImage plain = control->grab().toImage();
        // Reached with the Tab key, as a keyboard user reaches it.
        for (int i = 0; i < 100 && !control->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(control->hasFocus());
        EXPECT_FALSE(control->grab().toImage() == plain) << "no focus mark";
    }
}
