#include "Harness.h"

#include "core/fileops/ToolRunner.h"
#include "core/filesteps/HeldFolder.h"

#include <fcntl.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <thread>

using FileActions::runTool;

namespace {
std::optional<QString> sh(const QString &script, const QHash<QString, QString> &env = {},
                          const FileActions::ToolFiles &files = {}) {
    return runTool("/bin/sh", {"-c", script}, files, env);
}
} // namespace

TEST(ToolRunner, Results) {
    TestUtil::LanguageScope de(AppLanguage::de);
    EXPECT_FALSE(sh("echo warning >&2").has_value());
    EXPECT_EQ(sh("exit 2"), "Beendet mit Fehler 2.");
    EXPECT_EQ(sh("kill -KILL $$"), "Beendet mit Fehler 9."); // the signal of a killed tool
    EXPECT_EQ(sh("printf '  \\n zip: bad \\n\\n' >&2; exit 1"), "zip: bad");
    EXPECT_EQ(sh("printf '\\377' >&2; exit 3"), "Beendet mit Fehler 3.");
    // Arguments reach the tool as they are: no shell, no expansion.
    EXPECT_EQ(runTool("/bin/sh", {"-c", "printf '%s|' \"$@\" >&2; exit 1", "x", "$HOME", "a b", "*"}),
              "$HOME|a b|*|");
    EXPECT_TRUE(runTool("/nonexistent/tool", {})->startsWith("„tool“ ließ sich nicht starten"));
}

TEST(ToolRunner, EnvironmentFolderAndChattyTools) {
    qputenv("KESTRIN_A", "inherited");
    qputenv("KESTRIN_B", "old");
    EXPECT_FALSE(sh("test $KESTRIN_A = inherited && test $KESTRIN_B = new && test $LC_ALL = C.UTF-8",
                    {{"KESTRIN_B", "new"}})
                     .has_value());
    // The tool works in the held folder and reads the file passed, wherever their names lead by now.
    const QTemporaryDir temp(TestUtil::testHome() + "/t-XXXXXX");
    const QString home = temp.path();
    TestUtil::writeFile(home + "/work/passed.txt", "passed");
    const FileSteps::HeldFolder work(home + "/work");
    const int passed = work.openBeneath("passed.txt", O_RDONLY);
    ASSERT_TRUE(QDir(home).rename("work", "moved") && QDir(home).mkdir("work"));
    TestUtil::writeFile(home + "/work/passed.txt", "other");
    const FileActions::ToolFiles files{&work, passed};
    EXPECT_EQ(sh("pwd >&2; cat " + files.passedPath() + " >&2; exit 1", {}, files), home + "/moved\npassed");
    ::close(passed);
    // Nobody reads standard output and standard error is drained: neither pipe can stall the tool.
    EXPECT_FALSE(sh("head -c 20000000 /dev/zero; head -c 3000000 /dev/zero | tr '\\0' x >&2").has_value());
    // A session of its own: no terminal of ours to ask for a password on.
    EXPECT_FALSE(sh("read -r pid comm state ppid pgrp sid rest < /proc/$$/stat; test $sid = $$").has_value());
    // Output, when wanted, arrives in pieces and whole.
    qint64 got = 0;
    EXPECT_FALSE(FileActions::runToolReading("/bin/sh", {"-c", "head -c 5000000 /dev/zero"},
                                             [&got](QByteArrayView piece) { got += piece.size(); }));
    EXPECT_EQ(got, 5000000);
}

TEST(ToolRunner, CancelTerminatesThenKills) {
    TransferProgress progress;
    QElapsedTimer t;
    t.start();
    std::thread canceller(
        [&] { std::this_thread::sleep_for(std::chrono::milliseconds(200)), progress.cancel(); });
    EXPECT_TRUE(runTool("/bin/sh", {"-c", "sleep 30"}, {}, {}, &progress).has_value());
    canceller.join();
    EXPECT_LT(t.elapsed(), 1500);
    // A tool that ignores SIGTERM is killed after the grace period.
    t.restart();
    EXPECT_TRUE(runTool("/bin/sh", {"-c", "trap '' TERM; sleep 30"}, {}, {}, &progress, {50, 300}));
    EXPECT_LT(t.elapsed(), 5000);
}

// Between two tools every byte passes the gate: the consumer never gets more than was admitted, a refusal
// stops both, and of two failures the producer's words count (the consumer fails too when its input ends).
TEST(ToolRunner, PipesThroughAGate) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString counted = TestUtil::testHome() + "/counted";
    const QStringList count = {"-c", "wc -c > \"$0\"", counted};
    const auto pipe = [&](const QString &producer, const std::function<bool(qint64)> &admit, bool *stopped,
                          const QStringList &consumer) {
        return FileActions::runToolPipe("/bin/sh", {"-c", producer}, "/bin/sh", consumer, admit, stopped);
    };
    qint64 admitted = 0;
    bool stopped = false;
    const auto all = [&](qint64 piece) { return (admitted += piece), true; };
    EXPECT_FALSE(pipe("head -c 3000000 /dev/zero", all, &stopped, count));
    EXPECT_EQ(TestUtil::readFile(counted).trimmed(), "3000000");

    admitted = 0;
    const auto some = [&](qint64 piece) { return admitted + piece <= 1000000 && (admitted += piece); };
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(pipe("cat /dev/zero", some, &stopped, count)); // never ends by itself
    EXPECT_TRUE(stopped);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_LE(TestUtil::readFile(counted).trimmed().toLongLong(), admitted);
    EXPECT_GT(admitted, 900000);

    EXPECT_EQ(pipe("echo broken >&2; exit 2", all, &stopped, {"-c", "cat >/dev/null; echo cut >&2; exit 1"}),
              "broken");
    // A consumer that is done early leaves a producer that is stopped: no failure.
    EXPECT_FALSE(pipe("cat /dev/zero", all, nullptr, {"-c", "head -c 10 >/dev/null"}));
}
