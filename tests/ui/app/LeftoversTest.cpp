// No German word from the translation tables in the English or Thai interface: every window, sheet, menu,
// tooltip and accessible name the main window opens, and the texts of its questions.
#include "common/TestCommands.h"
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "core/localisation/Translations.h"
#include "core/model/FileLoader.h"
#include "platform/TrashRoots.h"
#include "ui/app/Commands.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

const QRegularExpression &wordPattern() {
    static const QRegularExpression re(QStringLiteral("\\p{L}{4,}"));
    return re;
}

QSet<QString> wordsOf(const QString &text) {
    QSet<QString> out;
    for (auto it = wordPattern().globalMatch(text); it.hasNext();)
        out.insert(it.next().captured().toLower());
    return out;
}

// Words of the German keys that no translation uses: seen in another language's interface, they are
// German left over.
const QSet<QString> &germanWords() {
    static const QSet<QString> words = [] {
        QSet<QString> german, others;
        for (const auto &row : Translations::rows()) {
            german.unite(wordsOf(row.key));
            for (const QString *t : {&row.en, &row.pl, &row.th})
                others.unite(wordsOf(*t));
        }
        german.subtract(others);
        // The languages' own names stand in every language; "Symbol" is English as well.
        for (AppLanguage lang : AppLanguages::allCases)
            german.subtract(wordsOf(AppLanguages::nativeName(lang)));
        german.remove(QStringLiteral("symbol"));
        return german;
    }();
    return words;
}

struct Seen {
    QStringList texts;
    void add(const QString &where, const QString &text) {
        if (!text.trimmed().isEmpty()) texts << where + QStringLiteral(": ") + text;
    }
    void addMenu(const QString &where, QMenu *menu) {
        if (!menu) return;
        // A menu fills itself when it is about to show.
        emit menu->aboutToShow();
        for (QAction *a : menu->actions()) {
            add(where, a->text());
            add(where, a->toolTip());
            addMenu(where + QStringLiteral(" › ") + a->text(), a->menu());
        }
    }
    void addWidget(QWidget *top) {
        const QString window = top->metaObject()->className();
        add(window, top->windowTitle());
        // Filling a menu may delete the submenus of its last filling: hold the widgets weakly.
        QList<QPointer<QWidget>> all;
        all << top;
        for (QWidget *child : top->findChildren<QWidget *>())
            all << child;
        for (const QPointer<QWidget> &w : all) {
            if (!w) continue;
            // Hidden parts too: the other pages of a window, a section not open yet.
            const QString where = window + QStringLiteral("/") + w->metaObject()->className();
            add(where, w->toolTip());
            add(where, w->accessibleName());
            add(where, w->accessibleDescription());
            if (auto *l = qobject_cast<QLabel *>(w))
                add(where, Qt::mightBeRichText(l->text())
                               ? QTextDocumentFragment::fromHtml(l->text()).toPlainText()
                               : l->text());
            if (auto *b = qobject_cast<QAbstractButton *>(w)) add(where, b->text());
            if (auto *e = qobject_cast<QLineEdit *>(w)) add(where, e->placeholderText());
            if (auto *t = qobject_cast<QTextEdit *>(w)) add(where, t->toPlainText());
            if (auto *c = qobject_cast<QComboBox *>(w))
                for (int i = 0; i < c->count(); ++i)
                    add(where, c->itemText(i));
            for (QAction *a : w->actions()) {
                add(where, a->text());
                addMenu(where, a->menu());
            }
        }
    }
};

class Leftovers : public ::testing::TestWithParam<AppLanguage> {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        // The Trash diagnosis lists the names in the Trash, which are the user's words, not the interface's:
        // an empty Trash, whatever earlier tests of the program put there.
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());
        for (const char *name : {"/a.txt", "/b.txt"})
            TestUtil::writeFile(dir.path() + name, "x");
    }
    QTemporaryDir dir;
    ScriptedDialogs scripted;
};

TEST_P(Leftovers, NoGermanWordInTheInterface) {
    ASSERT_GT(germanWords().size(), 500u);
    ASSERT_TRUE(germanWords().contains("papierkorb"));
    const LanguageScope lang(GetParam());
    Services services(scripted.dialogs());
    AppState app(services);
    app.left()->go(dir.path());
    app.right()->go(dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 2, 5000);
    app.left()->setSelection({dir.path() + "/a.txt"});
    MainWindow w(&app);
    w.show();
    QApplication::processEvents();

    Seen seen;
    seen.addWidget(&w);
    for (QAction *a : w.menuBar()->actions())
        seen.addMenu(a->text(), a->menu());
    // Every window and sheet the commands open, and the Trash diagnosis' text.
    for (const char *id :
         {Cmd::about, Cmd::settings, Cmd::manual, Cmd::shortcuts, Cmd::terminalHelp, Cmd::rules, Cmd::storage,
          Cmd::feedback, Cmd::compare, Cmd::info, Cmd::trashDiagnosis}) {
        QAction *action = w.commands().action(QString::fromUtf8(id));
        ASSERT_TRUE(action) << id;
        action->trigger();
        QTest::qWait(50);
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible() && top != &w) seen.addWidget(top);
        if (QDialog *sheet = w.sheets()->current()) {
            seen.addWidget(sheet);
            sheet->reject();
        }
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible() && top != &w && top->isWindow()) top->close();
        QApplication::processEvents();
    }
    for (const Alert &alert : scripted.alerts) {
        seen.add("alert", alert.message);
        seen.add("alert", alert.informative);
    }
    ASSERT_GT(seen.texts.size(), 300);
    for (const QString &text : seen.texts) {
        QStringList found;
        for (const QString &word : wordsOf(text.section(QStringLiteral(": "), 1)))
            if (germanWords().contains(word)) found << word;
        EXPECT_TRUE(found.isEmpty()) << found.join(", ").toStdString() << " in " << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, Leftovers, ::testing::Values(AppLanguage::en, AppLanguage::th));

} // namespace
