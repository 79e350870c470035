#include "Fixture.h"

#include "common/ScriptedDialogs.h"
#include "core/fileops/ConflictQuestion.h"

#include <vector>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

namespace {

using Answers = FileOps::ConflictAnswers;
constexpr auto keepBoth = AlertRole::keepBoth, replace = AlertRole::replace, skip = AlertRole::skip;

// Asks with scripted answers, which come at once; `answered` tells whether the chain ended.
struct Script : ScriptedDialogs {
    explicit Script(std::deque<AlertAnswer> a = {}) { answers = std::move(a); }
    bool answered = false;
    Answers ask(const QStringList &paths, const QString &dest, bool move) {
        Answers result;
        FileOps::askConflicts(paths, dest, move, dialogs(), [&](Answers r) { result = r, answered = true; });
        EXPECT_TRUE(answered);
        return result;
    }
};

} // namespace

class Conflicts : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        for (const char *n : {"a", "b", "c"}) {
            file(QString("src/") + n, "new");
            file(QString("dst/") + n, "old");
        }
        file("src/free", "x");
        srcs = {path("src/a"), path("src/b"), path("src/free"), path("src/c")};
    }
    QStringList srcs;
};

TEST_F(Conflicts, OneQuestionPerConflictWithApplyToAll) {
    LanguageScope de(AppLanguage::de);
    Script s({{skip, true}});
    auto r = s.ask(srcs, path("dst"), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(s.alerts.size(), 1);
    EXPECT_EQ(r->size(), 3);
    EXPECT_EQ(r->value(path("src/c")), ConflictChoice::skip);
    EXPECT_FALSE(r->contains(path("src/free")));
    const Alert &first = s.alerts[0];
    EXPECT_EQ(first.message, "„a“ gibt es im Zielordner schon.");
    QStringList titles;
    for (const AlertButton &b : first.buttons)
        titles << b.title;
    EXPECT_EQ(titles, (QStringList{"Beide behalten", "Ersetzen", "Überspringen", "Abbrechen"}));
    EXPECT_EQ(first.checkBox, "Für alle weiteren Konflikte übernehmen");
    EXPECT_TRUE(first.informative.startsWith("Vorhanden: 3 B · "));
    EXPECT_TRUE(
        first.informative.endsWith("\n\nBeim Ersetzen kommt die vorhandene Datei in den Papierkorb."));

    // Ticked at the second: the first keeps its own answer; the last has no check box.
    Script t({replace, {keepBoth, true}});
    r = t.ask(srcs, path("dst"), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value(path("src/a")), ConflictChoice::replace);
    EXPECT_EQ(r->value(path("src/b")), ConflictChoice::keepBoth);
    EXPECT_EQ(r->value(path("src/c")), ConflictChoice::keepBoth);
    Script u({keepBoth, keepBoth, {keepBoth, true}});
    u.ask(srcs, path("dst"), false);
    ASSERT_EQ(u.alerts.size(), 3);
    EXPECT_TRUE(u.alerts[2].checkBox.isEmpty());

    // Answers that come later: the next conflict is asked only once the one before is answered.
    Script later({keepBoth, skip, replace});
    later.hold = true;
    Answers held;
    FileOps::askConflicts(srcs, path("dst"), false, later.dialogs(), [&](Answers a) { held = a; });
    EXPECT_EQ(later.alerts.size(), 1);
    later.answerHeld();
    ASSERT_TRUE(held);
    EXPECT_EQ(later.alerts.size(), 3);
    EXPECT_EQ(held->value(path("src/c")), ConflictChoice::replace);

    // Cancel at the second drops everything.
    Script c({keepBoth, AlertRole::cancel});
    EXPECT_FALSE(c.ask(srcs, path("dst"), false));
}

TEST_F(Conflicts, SameFolderNoticeForCopiesNothingForMoves) {
    LanguageScope de(AppLanguage::de);
    Script none;
    auto r = none.ask({path("src/a")}, path("src"), true);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isEmpty());
    EXPECT_TRUE(none.alerts.empty());

    Script s({AlertRole::confirm});
    r = s.ask({path("src/a")}, path("src"), false);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isEmpty());
    ASSERT_EQ(s.alerts.size(), 1);
    EXPECT_EQ(s.alerts[0].message, "„a“ liegt schon in diesem Ordner.");
    ASSERT_EQ(s.alerts[0].buttons.size(), 2);
    EXPECT_EQ(s.alerts[0].buttons[0].title, "Kopie anlegen");

    // The same folder through a link is the same folder.
    ASSERT_EQ(::symlink(path("src").toUtf8().constData(), path("alias").toUtf8().constData()), 0);
    Script two({AlertRole::cancel});
    EXPECT_FALSE(two.ask({path("src/a"), path("src/b")}, path("alias"), false));
    EXPECT_EQ(two.alerts[0].message, "2 Objekte liegen schon in diesem Ordner.");
    // No window at all reads as cancel.
    Answers closed = QHash<QString, ConflictChoice>();
    FileOps::askConflicts({path("src/a")}, path("dst"), false, Dialogs{}, [&](Answers r) { closed = r; });
    EXPECT_FALSE(closed);
}

TEST_F(Conflicts, TheReplaceNoteNamesTheKindItReplaces) {
    LanguageScope en(AppLanguage::en);
    mkdir("src/F");
    mkdir("dst/F");
    mkdir("src/mixed");
    file("dst/mixed", "old");
    Script s({keepBoth, keepBoth, keepBoth});
    s.ask({path("src/a"), path("src/F"), path("src/mixed")}, path("dst"), false);
    ASSERT_EQ(s.alerts.size(), 3);
    const char *const notes[] = {"When replacing, the existing file goes to the Trash.",
                                 "When replacing, the existing folder goes to the Trash.",
                                 "When replacing, the existing item goes to the Trash."};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(s.alerts[i].informative.endsWith(QString("\n\n") + notes[i]))
            << s.alerts[i].informative.toStdString();

    // The notice before a copy into the items' own folder likewise.
    Script one({AlertRole::cancel}), both({AlertRole::cancel});
    one.ask({path("src/F")}, path("src"), false);
    both.ask({path("src/F"), path("src/a")}, path("src"), false);
    ASSERT_EQ(one.alerts.size(), 1);
    ASSERT_EQ(both.alerts.size(), 1);
    EXPECT_TRUE(one.alerts[0].informative.contains("because the folder would overwrite itself"));
    EXPECT_TRUE(both.alerts[0].informative.contains("because the item would overwrite itself"));
}

TEST_F(Conflicts, ItemDescriptions) {
    LanguageScope de(AppLanguage::de);
    mkdir("folder");
    EXPECT_TRUE(FileOps::conflictInfo(path("folder")).startsWith("Ordner · "));
    EXPECT_EQ(FileOps::conflictInfo(path("missing")), "–");
}
