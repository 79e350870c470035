#include "Fixture.h"

#include "core/fileops/ConflictQuestion.h"

#include <vector>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

namespace {

// Answers alerts from a script and keeps what was asked.
struct Script {
    explicit Script(std::vector<AlertAnswer> a = {}) : answers(std::move(a)) {}
    std::vector<AlertAnswer> answers;
    std::vector<Alert> asked;
    Dialogs dialogs() {
        Dialogs d;
        d.alert = [this](const Alert &a) {
            asked.push_back(a);
            return asked.size() <= answers.size() ? answers[asked.size() - 1] : AlertAnswer{};
        };
        return d;
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
    Script s({{2, true}});
    auto r = FileOps::askConflicts(srcs, path("dst"), false, s.dialogs());
    ASSERT_TRUE(r);
    EXPECT_EQ(s.asked.size(), 1u);
    EXPECT_EQ(r->size(), 3);
    EXPECT_EQ(r->value(path("src/c")), ConflictChoice::skip);
    EXPECT_FALSE(r->contains(path("src/free")));
    const Alert &first = s.asked[0];
    EXPECT_EQ(first.message, "„a“ gibt es im Zielordner schon.");
    EXPECT_EQ(first.buttons, (QStringList{"Beide behalten", "Ersetzen", "Überspringen", "Abbrechen"}));
    EXPECT_EQ(first.checkBox, "Für alle weiteren Konflikte übernehmen");
    EXPECT_TRUE(first.informative.startsWith("Vorhanden: 3 B · "));
    EXPECT_TRUE(
        first.informative.endsWith("\n\nBeim Ersetzen kommt die vorhandene Datei in den Papierkorb."));

    // Ticked at the second: the first keeps its own answer; the last has no check box.
    Script t({{1, false}, {0, true}});
    r = FileOps::askConflicts(srcs, path("dst"), false, t.dialogs());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value(path("src/a")), ConflictChoice::replace);
    EXPECT_EQ(r->value(path("src/b")), ConflictChoice::keepBoth);
    EXPECT_EQ(r->value(path("src/c")), ConflictChoice::keepBoth);
    Script u({{0, false}, {0, false}, {0, true}});
    FileOps::askConflicts(srcs, path("dst"), false, u.dialogs());
    ASSERT_EQ(u.asked.size(), 3u);
    EXPECT_TRUE(u.asked[2].checkBox.isEmpty());

    // Cancel at the second drops everything.
    Script c({{0, false}, {3, false}});
    EXPECT_FALSE(FileOps::askConflicts(srcs, path("dst"), false, c.dialogs()));
}

TEST_F(Conflicts, SameFolderNoticeForCopiesNothingForMoves) {
    LanguageScope de(AppLanguage::de);
    Script none;
    auto r = FileOps::askConflicts({path("src/a")}, path("src"), true, none.dialogs());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isEmpty());
    EXPECT_TRUE(none.asked.empty());

    Script s({{0, false}});
    r = FileOps::askConflicts({path("src/a")}, path("src"), false, s.dialogs());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isEmpty());
    ASSERT_EQ(s.asked.size(), 1u);
    EXPECT_EQ(s.asked[0].message, "„a“ liegt schon in diesem Ordner.");
    EXPECT_EQ(s.asked[0].buttons, (QStringList{"Kopie anlegen", "Abbrechen"}));

    // The same folder through a link is the same folder.
    ASSERT_EQ(::symlink(path("src").toUtf8().constData(), path("alias").toUtf8().constData()), 0);
    Script two({{1, false}});
    EXPECT_FALSE(FileOps::askConflicts({path("src/a"), path("src/b")}, path("alias"), false, two.dialogs()));
    EXPECT_EQ(two.asked[0].message, "2 Objekte liegen schon in diesem Ordner.");
    // No window at all reads as cancel.
    EXPECT_FALSE(FileOps::askConflicts({path("src/a")}, path("dst"), false, Dialogs{}));
}

TEST_F(Conflicts, ItemDescriptions) {
    LanguageScope de(AppLanguage::de);
    mkdir("folder");
    EXPECT_TRUE(FileOps::conflictInfo(path("folder")).startsWith("Ordner · "));
    EXPECT_EQ(FileOps::conflictInfo(path("missing")), "–");
}
