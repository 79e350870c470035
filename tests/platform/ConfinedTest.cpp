#include "platform/Confined.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

namespace {

const QString sh = QStringLiteral("/bin/sh");

Confined::Outcome script(const char *code, Confined::Limits limits = {},
                         const Confined::Cancelled &cancelled = {}) {
    return Confined::run(sh, {QStringLiteral("-c"), QString::fromUtf8(code)}, limits, cancelled);
}

} // namespace

// What the helper says arrives whole; how it ended is told apart, and nothing of the caller leaks into it.
TEST(Confined, AnswerEndAndWhatTheChildGets) {
    auto out = script("printf 'a\\tb\\n'; printf x >&2");
    EXPECT_EQ(out.end, Confined::End::finished);
    EXPECT_EQ(out.output, QByteArray("a\tb\n"));

    EXPECT_EQ(script("echo half; exit 3").end, Confined::End::failed);
    out = script("echo before; kill -SEGV $$");
    EXPECT_EQ(out.end, Confined::End::failed);
    EXPECT_EQ(out.output, QByteArray("before\n"));
    EXPECT_EQ(Confined::run(QStringLiteral("/nonexistent/helper"), {}, {}).end, Confined::End::failed);

    // Standard input is empty, and only the three standard descriptors are open.
    out = script("cat; ls /proc/self/fd | wc -l");
    EXPECT_EQ(out.output.trimmed(), QByteArray("4")); // 0, 1, 2 and the listing's own
}

// A child that hangs, floods or wants too much memory is stopped at its limit, and the caller returns then.
TEST(Confined, LimitsEndTheChild) {
    Confined::Limits limits;
    limits.timeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    auto out = script("echo started; sleep 30", limits);
    EXPECT_EQ(out.end, Confined::End::timedOut);
    EXPECT_EQ(out.output, QByteArray("started\n"));
    EXPECT_LT(clock.elapsed(), 1500);

    // Closing its output does not let a child run on past the limit.
    clock.restart();
    EXPECT_EQ(script("exec >&-; sleep 30", limits).end, Confined::End::timedOut);
    EXPECT_LT(clock.elapsed(), 1500);

    // What the child started ends with it.
    QTemporaryDir dir;
    const QString pidFile = dir.path() + "/pid";
    script(QStringLiteral("sleep 30 & echo $! > %1; wait").arg(pidFile).toUtf8().constData(), limits);
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray grandchild = f.readAll().trimmed();
    ASSERT_FALSE(grandchild.isEmpty());
    // Killed, then reaped by whoever adopted it: gone or a zombie for a moment.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QByteArray stat = [&] {
                QFile s("/proc/" + grandchild + "/stat");
                return s.open(QIODevice::ReadOnly) ? s.readAll() : QByteArray();
            }();
            return stat.isEmpty() || stat.contains(") Z ");
        },
        2000));

    limits = {};
    limits.maxOutput = 1000;
    out = script("head -c 10000000 /dev/zero", limits);
    EXPECT_EQ(out.end, Confined::End::tooLarge);
    EXPECT_EQ(out.output.size(), 1000);

    limits = {};
    limits.memoryBytes = 64LL * 1024 * 1024;
    out = Confined::run(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral("b = bytearray(200 * 1024 * 1024); print('got it')")}, limits);
    EXPECT_EQ(out.end, Confined::End::failed);
    EXPECT_FALSE(out.output.contains("got it"));
}

TEST(Confined, CancelEndsTheChildAtOnce) {
    std::atomic<int> polls = 0;
    QElapsedTimer clock;
    clock.start();
    const auto out = script("sleep 30", {}, [&] { return ++polls > 3; });
    EXPECT_EQ(out.end, Confined::End::cancelled);
    EXPECT_LT(clock.elapsed(), 1000);
}
