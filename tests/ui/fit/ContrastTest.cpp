// Every themed text of the main window keeps 4.5:1 against what lies behind it, in every theme, light
// and dark, also after switching from one to the other while the window is open.
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/style/AppTheme.h"
#include "ui/tools/RulesSheet.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/ActionBar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PaneMessages.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QStyleOptionButton>
#include <iostream>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QColor tint(QColor c, double opacity, const QColor &below) {
    c.setAlphaF(float(opacity));
    return AppTheme::over(c, below);
}

std::string describe(const QString &what, const AppTheme &theme, const QString &scheme) {
    return (what + " in " + theme.id + " " + scheme).toStdString();
}

void expectReadable(const QColor &text, const QList<QColor> &backgrounds, const std::string &what) {
    for (const QColor &bg : backgrounds)
        EXPECT_GE(AppTheme::contrast(text, bg), 4.5)
            << what << ": " << qPrintable(text.name(QColor::HexArgb)) << " on " << qPrintable(bg.name());
}

class ContrastTest : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
};

TEST_P(ContrastTest, EveryThemedTextIsReadable) {
    const QString scheme = GetParam();
    QTemporaryDir dir, empty;
    TestUtil::writeFile(dir.path() + "/a.txt", "x");
    TestUtil::writeFile(dir.path() + "/b.txt", "x");
    AppState app;
    app.left()->go(dir.path());
    app.right()->go(empty.path());
    QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 2, 5000);
    app.left()->setSelection({dir.path() + "/a.txt"});
    // Built in the other scheme first: colours worked out once at creation would be stale.
    app.settings().setAppearance(scheme == "dark" ? "light" : "dark");
    MainWindow w(&app);
    w.resize(1200, 700);
    w.show();
    QApplication::processEvents();
    app.settings().setAppearance(scheme);
    for (const AppTheme &theme : AppTheme::all()) {
        app.settings().setThemeID(theme.id);
        QApplication::processEvents();
        const QPalette pal = w.palette();
        const QColor window = pal.color(QPalette::Window);
        ASSERT_EQ(AppTheme::schemeOf(pal) == ColorScheme::dark, scheme == "dark");

        // Header: the plain bar and both ends of the active pane's tint.
        const QList<QColor> header = {window, tint(theme.a, 0.22, window), tint(theme.b, 0.22, window)};
        for (PaneHeader *h : w.findChildren<PaneHeader *>()) {
            expectReadable(h->statusLabel()->palette().color(QPalette::WindowText), header,
                           describe("status line", theme, scheme));
            for (PlainLinkButton *crumb : h->breadcrumbs()->buttons())
                expectReadable(crumb->palette().color(QPalette::WindowText), header,
                               describe("crumb " + crumb->plainText(), theme, scheme));
        }
        // The list's column titles, its rows plain and selected.
        for (ListContent *list : w.findChildren<ListContent *>()) {
            for (SortKey key : {SortKey::name, SortKey::date, SortKey::size})
                expectReadable(list->headerButton(key)->palette().color(QPalette::WindowText),
                               {list->palette().color(QPalette::Window)},
                               describe("column title", theme, scheme));
        }
        const QColor base = pal.color(QPalette::Base);
        const QList<QColor> selected = FileRowDelegate::selectedBackgrounds(pal, theme);
        expectReadable(pal.color(QPalette::Text), QList<QColor>{base}, describe("name", theme, scheme));
        expectReadable(FileRowDelegate::secondaryColor(pal, theme), QList<QColor>{base} + selected,
                       describe("date and size", theme, scheme));
        // The empty folder's sentence.
        for (MessageView *m : w.findChildren<MessageView *>())
            for (QLabel *label : m->findChildren<QLabel *>())
                if (label->isVisible() && !label->text().isEmpty())
                    expectReadable(label->palette().color(QPalette::WindowText), {window, base},
                                   describe("message", theme, scheme));
        // Bar buttons, the prominent ones on their gradient.
        auto *bar = w.findChild<ActionBar *>();
        const QColor barBackground = window.darker(103);
        for (BarButton *b : bar->findChildren<BarButton *>()) {
            if (!b->isEnabled()) continue; // disabled controls are exempt
            const ButtonLook look = b->look();
            QList<QColor> behind;
            if (look.fill == ButtonLook::Fill::gradient) {
                const AppTheme fill = theme.forText();
                behind = {tint(fill.a, look.fillOpacity, barBackground),
                          tint(fill.b, look.fillOpacity, barBackground)};
            } else {
                behind = {tint(pal.color(QPalette::WindowText), look.fillOpacity, barBackground)};
            }
            expectReadable(look.foreground, behind,
                           describe("bar button " + b->accessibleName(), theme, scheme));
        }
    }
}

// The strongest contrast of any pixel of rect against bg, and how many pixels differ from it visibly.
struct Ink {
    double strongest = 1;
    int pixels = 0;
};
Ink inkIn(const QImage &image, const QRect &rect, const QColor &bg) {
    Ink ink;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const double c = AppTheme::contrast(image.pixelColor(x, y), bg);
            ink.strongest = std::max(ink.strongest, c);
            if (c >= 1.5) ++ink.pixels;
        }
    return ink;
}

// Disabled menu entries look dimmer than enabled ones, never etched; a check box and the chosen segment
// keep 3:1 against what lies around them (the figures are printed for the record), and marks that are
// text 4.5:1.
TEST_P(ContrastTest, ControlsShowWhatIsEnabledAndChosen) {
    const QString scheme = GetParam();
    AppState app;
    app.settings().setAppearance(scheme);
    MainWindow w(&app);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QColor window = QApplication::palette().color(QPalette::Window);

    QMenu menu(&w);
    menu.addAction("Kopieren");
    menu.addAction("Kopieren")->setEnabled(false);
    menu.popup(w.mapToGlobal(QPoint(40, 40)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QImage shot = menu.grab().toImage();
    const QRect on = menu.actionGeometry(menu.actions()[0]), off = menu.actionGeometry(menu.actions()[1]);
    const QColor menuBg = shot.pixelColor(on.topLeft() + QPoint(1, 1));
    const Ink enabled = inkIn(shot, on, menuBg), disabled = inkIn(shot, off, menuBg);
    std::cout << qPrintable(scheme) << " menu: enabled " << enabled.strongest << ":1 (" << enabled.pixels
              << " px), disabled " << disabled.strongest << ":1 (" << disabled.pixels << " px)\n";
    EXPECT_LT(disabled.strongest, enabled.strongest);
    EXPECT_LE(disabled.pixels, enabled.pixels);
    menu.close();

    QCheckBox box("Spiegeln", w.centralWidget());
    box.show();
    QStyleOptionButton opt;
    opt.initFrom(&box);
    const QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, &box);
    const double boxContrast = inkIn(box.grab().toImage(), indicator, window).strongest;
    std::cout << qPrintable(scheme) << " check box edge: " << boxContrast << ":1\n";
    EXPECT_GE(boxContrast, 3.0);
    // So does one on a section of Get Info, whose tint is a touch lighter than the window in dark.
    InspectorSection section(K("Allgemein"), w.centralWidget());
    auto *locked = new QCheckBox("Geschützt");
    section.body()->addWidget(locked);
    section.show();
    section.adjustSize();
    const QImage onSection = section.grab().toImage();
    const QRect at = indicator.translated(locked->mapTo(&section, QPoint()));
    EXPECT_GE(inkIn(onSection, at, onSection.pixelColor(at.left() - 3, at.center().y())).strongest, 3.0);

    QPushButton chosen("A", w.centralWidget()), other("B", w.centralWidget());
    for (QPushButton *b : {&chosen, &other}) {
        b->setCheckable(true);
        b->resize(80, 30);
        b->show();
    }
    chosen.setChecked(true);
    const QPoint inside(8, 15);
    const QColor chosenFill = chosen.grab().toImage().pixelColor(inside);
    const QColor otherFill = other.grab().toImage().pixelColor(inside);
    const double segment =
        std::min(AppTheme::contrast(chosenFill, otherFill), AppTheme::contrast(chosenFill, window));
    std::cout << qPrintable(scheme) << " chosen segment " << qPrintable(chosenFill.name()) << " against "
              << qPrintable(otherFill.name()) << " / window " << qPrintable(window.name()) << ": " << segment
              << ":1\n";
    EXPECT_GE(segment, 3.0);

    // The cleanup rules' mark of an incomplete rule is text: 4.5:1 on its row, chosen or not.
    app.cleanupRules().setRules({CleanRule(), CleanRule()});
    RulesSheet rules(&app, &w);
    rules.show();
    auto *list = rules.findChild<QListWidget *>();
    list->setCurrentRow(0);
    const QImage rows = list->viewport()->grab().toImage();
    for (int row : {0, 1}) {
        const QLabel *mark = list->itemWidget(list->item(row))->findChildren<QLabel *>().constLast();
        const QRect r(mark->mapTo(list->viewport(), QPoint()), mark->size());
        EXPECT_GE(inkIn(rows, r, rows.pixelColor(r.topLeft() + QPoint(2, 1))).strongest, 4.5) << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Schemes, ContrastTest, ::testing::Values(QString("light"), QString("dark")),
                         [](const auto &info) { return info.param.toStdString(); });

} // namespace
