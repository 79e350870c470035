#include "Harness.h"

#include "core/fileops/ToolRunner.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <thread>

using FileActions::runTool;

namespace {
const QString sh = QStringLiteral("/bin/sh");

std::optional<QString> shell(const QString &script, const QHash<QString, QString> &env = {},
                             const std::optional<QString> &dir = std::nullopt) {
    return runTool(sh, {QStringLiteral("-c"), script}, dir, env);
}
} // namespace

TEST(ToolRunner, ResultsOfSuccessAndFailure) {
    TestUtil::LanguageScope de(AppLanguage::de);
    EXPECT_FALSE(shell("echo warning >&2; exit 0").has_value());
    EXPECT_EQ(shell("exit 2"), "Beendet mit Fehler 2.");
    EXPECT_EQ(shell("printf '  \\n zip: bad things \\n\\n' >&2; exit 1"), "zip: bad things");
    EXPECT_EQ(shell("printf '\\377\\376' >&2; exit 3"), "Beendet mit Fehler 3.");
    // Arguments reach the tool unchanged: no shell in between, no expansion.
    EXPECT_EQ(runTool(sh, {"-c", "printf '%s|' \"$@\" >&2; exit 1", "x", "$HOME", "a b", "*", "-v"}),
              "$HOME|a b|*|-v|");
    const auto missing = runTool("/nonexistent/tool", {});
    ASSERT_TRUE(missing.has_value());
    EXPECT_TRUE(missing->startsWith("„tool“ ließ sich nicht starten")) << missing->toStdString();
}

TEST(ToolRunner, EnvironmentAndFolder) {
    qputenv("KESTRIN_INHERITED", "yes");
    qputenv("KESTRIN_OVERRIDDEN", "old");
    EXPECT_FALSE(shell("test \"$KESTRIN_INHERITED\" = yes && test \"$KESTRIN_OVERRIDDEN\" = new && "
                       "test \"$LC_ALL\" = C.UTF-8",
                       {{"KESTRIN_OVERRIDDEN", "new"}})
                     .has_value());
    // Without extra variables the tool still gets the UTF-8 locale.
    EXPECT_FALSE(shell("test \"$LC_ALL\" = C.UTF-8 && test \"$KESTRIN_OVERRIDDEN\" = old").has_value());
    QTemporaryDir dir(TestUtil::testHome() + "/cwd-XXXXXX");
    EXPECT_EQ(shell("pwd >&2; exit 1", {}, dir.path()), dir.path());
}

TEST(ToolRunner, ChattyToolsDoNotStall) {
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(
        shell("head -c 20000000 /dev/zero; head -c 3000000 /dev/zero | tr '\\0' x >&2; exit 0").has_value());
    const auto text = shell("head -c 3000000 /dev/zero | tr '\\0' x >&2; exit 4");
    ASSERT_TRUE(text.has_value());
    EXPECT_GT(text->size(), 1000);
    EXPECT_LT(t.elapsed(), 20000);
}

TEST(ToolRunner, CancelStopsTheTool) {
    TransferProgress progress;
    QElapsedTimer t;
    t.start();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        progress.cancel();
    });
    const auto result = runTool(sh, {"-c", "sleep 30"}, std::nullopt, {}, &progress);
    canceller.join();
    EXPECT_TRUE(result.has_value());
    EXPECT_LT(t.elapsed(), 1500);

    // A tool that ignores SIGTERM is killed after the grace period.
    TransferProgress stubborn;
    stubborn.cancel();
    t.restart();
    EXPECT_TRUE(
        runTool(sh, {"-c", "trap '' TERM; sleep 30 & wait; sleep 30"}, std::nullopt, {}, &stubborn, {50, 300})
            .has_value());
    EXPECT_LT(t.elapsed(), 5000);
}
