#include "core/app/JobRunner.h"

#include "common/HeldJob.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

namespace {

struct Runner {
    QStringList refusals;
    JobRunner::Timing timing{5, 0};
    JobRunner jobs{[this](const QString &text) { refusals << text; }, [this] { return timing; }};
};

} // namespace

TEST(JobRunner, AdmitsOneJobPublishesOnItsTimerAndCancelsUntilTheEnd) {
    Runner r;
    QSignalSpy states(&r.jobs, &JobRunner::stateChanged);
    QSignalSpy finished(&r.jobs, &JobRunner::finished);
    EXPECT_EQ(r.jobs.state(), Job::State::finished);
    HeldJob job, second;
    const auto progress = job.begin(r.jobs, "Kopiere");
    ASSERT_TRUE(progress);
    EXPECT_EQ(r.jobs.state(), Job::State::running);

    // A second job is refused and leaves the first as it was.
    EXPECT_FALSE(second.begin(r.jobs, "Entpacke"));
    EXPECT_EQ(r.refusals, QStringList{JobRunner::busyText});
    EXPECT_EQ(r.jobs.progress(), progress);

    QTRY_VERIFY_WITH_TIMEOUT(r.jobs.status().has_value(), 1000);
    EXPECT_EQ(r.jobs.status()->title, "Kopiere");
    EXPECT_FALSE(r.jobs.status()->fraction); // nothing measured yet
    progress->setTotal(200, 2);
    progress->setItem(2, "b.txt");
    progress->add(50);
    QTRY_COMPARE_WITH_TIMEOUT(r.jobs.status()->fraction, std::optional<double>(0.25), 1000);
    EXPECT_EQ(r.jobs.status()->name, "b.txt");

    job.step->setWaitingForAnswer(true);
    EXPECT_EQ(r.jobs.state(), Job::State::waitingForAnswer);
    r.jobs.cancel();
    EXPECT_TRUE(progress->isCancelled());
    EXPECT_EQ(r.jobs.state(), Job::State::cancelling);
    job.step->setWaitingForAnswer(false); // an answer does not take the cancel back
    EXPECT_EQ(r.jobs.state(), Job::State::cancelling);
    QSignalSpy published(&r.jobs, &JobRunner::statusChanged);
    QTRY_VERIFY_WITH_TIMEOUT(published.count() >= 2, 1000);
    EXPECT_TRUE(r.jobs.status()); // shown until the work has come back

    const JobChannel::Step kept = *job.step;
    job.end();
    kept.end();
    EXPECT_FALSE(r.jobs.status());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(states.count(), 4); // running, waiting for an answer, cancelling, finished
    EXPECT_TRUE(job.begin(r.jobs, "Kopiere"));
    job.end();
}

TEST(JobRunner, RunEndsTheJobBeforeItsResultAndAShortJobShowsNothing) {
    Runner r;
    r.timing = {5, 10'000};
    QSignalSpy published(&r.jobs, &JobRunner::statusChanged);
    std::optional<int> got;
    bool freeWhenDone = false;
    ASSERT_TRUE(r.jobs.run(
        "Kopiere",
        [](TransferProgress &) {
            std::this_thread::sleep_for(std::chrono::milliseconds(60)); // many periods of the timer
            return 7;
        },
        [&](int result) {
            got = result;
            freeWhenDone = !r.jobs.busy();
        }));
    EXPECT_FALSE(r.jobs.run(
        "Entpacke", [](TransferProgress &) { return 0; }, [](int) { FAIL(); }));
    QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 5000);
    EXPECT_EQ(*got, 7);
    EXPECT_TRUE(freeWhenDone);
    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(r.refusals.size(), 1);
}

// While the first job waits for an answer or is cancelling it still holds the runner: a second job is
// refused, through admits and through run alike, until the first has come back.
TEST(JobRunner, NoSecondJobWhileTheFirstWaitsOrCancels) {
    Runner r;
    HeldJob job;
    const auto progress = job.begin(r.jobs, "Kopiere");
    ASSERT_TRUE(progress);
    job.step->setWaitingForAnswer(true);
    EXPECT_FALSE(r.jobs.admits());
    EXPECT_FALSE(r.jobs.run(
        "Entpacke", [](TransferProgress &) { return 0; }, [](int) { FAIL(); }));
    r.jobs.cancel();
    ASSERT_EQ(r.jobs.state(), Job::State::cancelling);
    EXPECT_FALSE(r.jobs.admits());
    EXPECT_FALSE(r.jobs.run(
        "Entpacke", [](TransferProgress &) { return 0; }, [](int) { FAIL(); }));
    EXPECT_EQ(r.jobs.progress(), progress);
    EXPECT_EQ(r.refusals.size(), 4);
    job.end();
    EXPECT_TRUE(r.jobs.admits());
}
