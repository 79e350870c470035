#include "PaneTestUtil.h"

#include "core/localisation/FileFmt.h"

#include <limits>

using namespace PaneTest;

namespace {
class PaneSelection : public PaneFixture {
protected:
    // Folder "d", files f1 … f5 in name order.
    std::unique_ptr<PaneModel> fivePane() {
        mkdir(QStringLiteral("d"));
        for (int i = 1; i <= 5; ++i)
            touch(root + QStringLiteral("/f%1").arg(i));
        auto pane = openPane(root);
        pane->setApp(&rec.hooks);
        return pane;
    }
    QString p(const QString &name) const { return root + u'/' + name; }
    RecordingHooks rec;
};
} // namespace

TEST_F(PaneSelection, ClicksWithCtrlAndShift) {
    auto pane = fivePane();
    const QList<FileItem> items = pane->items();
    ASSERT_EQ(names(items), (QStringList{"d", "f1", "f2", "f3", "f4", "f5"}));

    // Shift on a fresh pane (no anchor) is a plain click.
    pane->click(items[2], items, Qt::ShiftModifier);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f2")});
    EXPECT_EQ(rec.activated, QList<Side>{Side::left});
    pane->click(items[4], items, Qt::ShiftModifier);
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f2"), p("f3"), p("f4")}));
    EXPECT_EQ(pane->anchor(), p("f2"));
    pane->click(items[1], items, Qt::ShiftModifier); // the other direction, both ends included
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f1"), p("f2")}));

    // Ctrl toggles and wins over Shift; a Ctrl double click never opens.
    pane->click(items[5], items, Qt::ControlModifier | Qt::ShiftModifier, 2);
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f1"), p("f2"), p("f5")}));
    pane->click(items[5], items, Qt::ControlModifier);
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f1"), p("f2")}));
    EXPECT_EQ(pane->anchor(), p("f5"));
    EXPECT_TRUE(rec.opened.isEmpty());

    // Anchor no longer in the list: a plain click, which opens on a double click.
    pane->click(items[4], items.mid(0, 5), Qt::ShiftModifier, 2);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f4")});
    EXPECT_EQ(rec.opened, QStringList{p("f4")});
    pane->click(items[5], items, Qt::ShiftModifier, 2); // with a usable anchor it never opens
    EXPECT_EQ(rec.opened.size(), 1);

    // Columns: a click in a parent column goes there without history; a right click keeps a selection
    // it falls in and otherwise selects its item alone.
    pane->go(p("d"));
    pane->columnClick(root, items[2], items, Qt::NoModifier);
    EXPECT_EQ(pane->currentPath(), root);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f2")});
    EXPECT_EQ(pane->backStack().size(), 1);
    pane->setSelection({p("f1"), p("f2")});
    pane->contextSelect(items[2]);
    EXPECT_EQ(pane->selection().size(), 2);
    pane->contextSelect(items[5]);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f5")});
}

TEST_F(PaneSelection, OpeningFoldersArchivesAndFiles) {
    auto pane = fivePane();
    const QList<FileItem> items = pane->items();
    pane->click(items[0], items, Qt::NoModifier, 2);
    EXPECT_EQ(pane->currentPath(), p("d"));
    pane->openItem(fileItem(p("a.zip")));
    EXPECT_EQ(rec.extracted, QStringList{p("a.zip")});
    FileItem app = fileItem(p("Tool.app"));
    app.isPackage = true; // packages open, never navigate
    pane->openItem(app);
    EXPECT_EQ(rec.opened, QStringList{p("Tool.app")});
    EXPECT_EQ(pane->currentPath(), p("d"));
    pane->setApp(nullptr); // without a core nothing happens
    pane->openItem(fileItem(p("f1")));
    EXPECT_EQ(rec.opened.size(), 1);
}

TEST_F(PaneSelection, KeyboardMoves) {
    auto pane = fivePane();
    pane->moveSelection(-1, false); // no cursor: from the end
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f5")});
    pane->moveSelection(-10, false);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("d")});
    pane->moveSelection(1000000, false);
    EXPECT_EQ(pane->cursor(), p("f5"));
    pane->moveSelection(-2, true);
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f3"), p("f4"), p("f5")}));
    pane->moveSelection(-1000000, true);
    EXPECT_EQ(pane->selection().size(), 6);

    // A cursor that is not in the list counts as none; extending without an anchor selects the target only.
    pane->setCursor(p("elsewhere"));
    pane->moveSelection(1, false);
    EXPECT_EQ(pane->cursor(), p("d"));
    pane->go(p("d"));
    ASSERT_TRUE(waitUntil([&] { return pane->items().isEmpty(); }));
    pane->go(root);
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 6; }));
    pane->moveSelection(2, true); // the cursor survived the folder change; there is no anchor
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f2")});
}

TEST_F(PaneSelection, TypeToSelectIgnoresCaseAndDiacritics) {
    for (const QString &n : QStringLiteral("apfel|Éclair|eule|Zürich|IMG_0001.JPG|IMG_0015.JPG|Herbst_01.jpg|"
                                           "Herbst_05.jpg|herbst05.jpg|2026-11 Herbstkonzert|2026-12 Probe|"
                                           "Chorsätze.7z")
                                .split(u'|'))
        touch(root + u'/' + n);
    mkdir(QStringLiteral("Chorsätze"));
    auto pane = openPane(root);
    // A miss keeps the last hit; decomposed input (e + combining accent) matches as well. A name that
    // starts with every typed character wins; only without one do letters and digits alone decide.
    const std::pair<const char *, const char *> cases[] = {{"IMG0015", "IMG_0015.JPG"},
                                                           {"herbst05", "herbst05.jpg"},
                                                           {"chorsatze.", "Chorsätze.7z"},
                                                           {"chorsatze", "Chorsätze"},
                                                           {"202612", "2026-12 Probe"},
                                                           {"e", "Éclair"},
                                                           {"EU", "eule"},
                                                           {"zu", "Zürich"},
                                                           {"q", "Zürich"},
                                                           {"e\u0301c", "Éclair"}};
    for (const auto &[typed, hit] : cases) {
        pane->selectByPrefix(QString::fromUtf8(typed));
        EXPECT_EQ(pane->selection(), QSet<QString>{p(QString::fromUtf8(hit))}) << typed;
    }
    EXPECT_EQ(pane->anchor(), p("Éclair"));
}

TEST_F(PaneSelection, DerivedValues) {
    TestUtil::LanguageScope en(AppLanguage::en);
    mkdir(QStringLiteral("folder"));
    touch(p("File 10"), QByteArray(1500, 'a'));
    touch(p("File 2"), QByteArray(2500, 'a'));
    auto pane = openPane(root);
    EXPECT_EQ(pane->footerText(), FileFmt::count(3));
    pane->setSelection({p("File 10"), p("File 2"), p("folder")});
    EXPECT_EQ(pane->footerText(),
              LF("%d von %d ausgewählt", 3, 3) + QStringLiteral(" · ") + FileFmt::size(4000));
    EXPECT_EQ(pane->selectedPaths(), (QStringList{p("File 2"), p("File 10"), p("folder")}));
    EXPECT_EQ(pane->targetFolder(), root);
    EXPECT_FALSE(pane->previewPath().has_value());
    pane->setSelection({p("folder")});
    EXPECT_EQ(pane->targetFolder(), p("folder"));
    pane->setSelection({p("File 2")});
    EXPECT_EQ(pane->previewPath(), p("File 2"));

    // Sizes that would overflow the sum saturate.
    PaneModel::setBackend({[](const QString &path) {
                               FileLoader::Listing l;
                               for (const char *n : {"/x", "/y"})
                                   l.items << fileItem(path + QLatin1String(n), false,
                                                       std::numeric_limits<qint64>::max());
                               return l;
                           },
                           {}});
    pane->refresh();
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 2; }));
    pane->selectAll();
    EXPECT_TRUE(pane->footerText().endsWith(FileFmt::size(std::numeric_limits<qint64>::max())));
}

TEST_F(PaneSelection, SelectionFollowsWhatIsVisible) {
    auto pane = fivePane();
    touch(p("d/f1 inner"));
    pane->setSelection({p("f1"), p("f2"), p("d")});
    pane->setSearchText(QStringLiteral("f1"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    EXPECT_EQ(pane->visibleItems().size(), 2);
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f1")}); // what the hits show, no more
    pane->setSelection({p("f1"), p("d/f1 inner")});
    pane->selectAll();
    EXPECT_EQ(pane->selection(), (QSet<QString>{p("f1"), p("d/f1 inner")}));
    pane->setSearchText(QString());
    EXPECT_FALSE(pane->searchResults().has_value());
    EXPECT_EQ(pane->selection(), QSet<QString>{p("f1")}); // the hit in the subfolder is out of sight again
}

// Each property's own signal comes before changed(); a click tells changed() once, after all of its own.
TEST_F(PaneSelection, OwnSignalsComeBeforeOneChanged) {
    auto pane = fivePane();
    QStringList heard;
    QObject::connect(pane.get(), &PaneModel::cursorChanged, [&] { heard << "cursor"; });
    QObject::connect(pane.get(), &PaneModel::selectionChanged, [&] { heard << "selection"; });
    QObject::connect(pane.get(), &PaneModel::viewModeChanged, [&] { heard << "view"; });
    QObject::connect(pane.get(), &PaneModel::changed, [&] { heard << "changed"; });
    pane->setSelection({p("f1")});
    pane->setViewMode(ViewMode::list);
    EXPECT_EQ(heard, (QStringList{"selection", "changed", "view", "changed"}));
    heard.clear();
    const QList<FileItem> items = pane->items();
    pane->click(items[2], items, Qt::NoModifier);
    EXPECT_EQ(heard, (QStringList{"cursor", "selection", "changed"}));
}

// What the selection keeps of itself agrees with a count of it, whether counted afresh or by its changes.
TEST_F(PaneSelection, SummaryAgreesWithACountOfTheSelection) {
    auto pane = openPane(root);
    PaneHooks hooks;
    hooks.canExtract = [](const QString &name) { return name.endsWith(QStringLiteral(".zip")); };
    pane->setApp(&hooks);
    const QString trash = FileLoader::mainTrash();
    QSet<QString> plain, zips, trashed;
    for (int i = 0; i < 200; ++i) {
        plain << root + QStringLiteral("/f%1.txt").arg(i);
        zips << root + QStringLiteral("/z%1.zip").arg(i);
        trashed << trash + QStringLiteral("/t%1.txt").arg(i);
    }
    const auto summary = [&](QSet<QString> selection) {
        pane->setSelection(selection);
        const SelectionSummary s = pane->selectionSummary();
        return std::tuple{s.count, s.archives, s.outsideTrash};
    };
    using T = std::tuple<qsizetype, qsizetype, qsizetype>;
    EXPECT_EQ(summary(plain | zips), (T{400, 200, 400}));
    EXPECT_EQ(summary(plain | zips | trashed), (T{600, 200, 400}));
    QSet<QString> lessOne = plain | zips | trashed;
    lessOne.remove(*zips.constBegin());
    lessOne.remove(*trashed.constBegin());
    EXPECT_EQ(summary(lessOne), (T{598, 199, 399}));
    // Grown by two and short of one, then shrunk by two and grown by one: both sides of a change count.
    QSet<QString> mixed = plain | zips;
    mixed.remove(*plain.constBegin());
    mixed << *trashed.constBegin() << root + QStringLiteral("/extra.zip");
    EXPECT_EQ(summary(mixed), (T{401, 201, 400}));
    mixed.remove(root + QStringLiteral("/extra.zip"));
    mixed.remove(*zips.constBegin());
    mixed << *plain.constBegin();
    EXPECT_EQ(summary(mixed), (T{400, 199, 399}));
    // Changes nobody read in between are counted when next asked.
    pane->setSelection(plain);
    pane->setSelection(plain | zips);
    pane->setSelection(zips | trashed);
    EXPECT_EQ(summary(zips | trashed), (T{400, 200, 200}));
    EXPECT_EQ(summary(trashed), (T{200, 0, 0}));
    EXPECT_EQ(summary(trashed | QSet<QString>{*plain.constBegin()}), (T{201, 0, 1}));
    EXPECT_EQ(summary(zips), (T{200, 200, 200}));
    EXPECT_EQ(summary({trash + QStringLiteral("/t0.txt")}), (T{1, 0, 0}));
    EXPECT_EQ(summary({}), (T{0, 0, 0}));
    // What counts as an archive comes with the hooks.
    pane->setApp(nullptr);
    EXPECT_EQ(summary(zips), (T{200, 0, 200}));
    pane->setApp(&hooks);
    EXPECT_EQ(pane->selectionSummary().archives, 200);
}
