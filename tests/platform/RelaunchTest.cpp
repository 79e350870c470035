#include "platform/Relaunch.h"

#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

// A successor waits for its predecessor to be gone, at least a second; anything but a pid of another
// process is no reason to wait, and the variable is not handed on to what it starts.
TEST(RelaunchTest, TheSuccessorWaitsForItsPredecessorOnly) {
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished(5000));
    const qint64 pid = gone.processId() ? gone.processId() : 999999;

    for (const QByteArray &value : {QByteArray("abc"), QByteArray("1"), QByteArray::number(::getpid())}) {
        qputenv("KESTRIN_PREDECESSOR_PID", value);
        QElapsedTimer clock;
        clock.start();
        Relaunch::awaitPredecessor();
        EXPECT_LT(clock.elapsed(), 500) << value.constData();
        EXPECT_FALSE(qEnvironmentVariableIsSet("KESTRIN_PREDECESSOR_PID"));
    }

    qputenv("KESTRIN_PREDECESSOR_PID", QByteArray::number(pid));
    QElapsedTimer clock;
    clock.start();
    Relaunch::awaitPredecessor();
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(qEnvironmentVariableIsSet("KESTRIN_PREDECESSOR_PID"));

    // No variable: a plain start waits for nothing.
    clock.restart();
    Relaunch::awaitPredecessor();
    EXPECT_LT(clock.elapsed(), 500);
}
