// A job in steps: the runner stays held between its pieces and while a question between them is up,
// and a question that goes without an answer ends the job.
#include "core/app/JobRunner.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct Runner {
    QStringList refusals;
    JobRunner jobs{[this](const QString &text) { refusals << text; }, [] { return JobRunner::Timing{5, 0}; }};
};

} // namespace

TEST(JobSteps, AQuestionBetweenPiecesHoldsTheRunnerAndOneLeftUnansweredFreesIt) {
    Runner r;
    QSignalSpy finished(&r.jobs, &JobRunner::finished);
    std::function<void(bool)> reply; // the question's answer, as a window would keep it
    int secondPieces = 0;
    ASSERT_TRUE(r.jobs.run(QStringLiteral("Lege zurück"), [&](const JobChannel::Step &step) {
        step.then([](TransferProgress &) { return 1; },
                  [&](int, const JobChannel::Step &at) {
                      at.setWaitingForAnswer(true);
                      reply = [at, &secondPieces](bool go) {
                          at.setWaitingForAnswer(false);
                          if (!go) return at.end();
                          at.then([](TransferProgress &) { return 2; },
                                  [&secondPieces](int, const JobChannel::Step &last) {
                                      ++secondPieces;
                                      last.end();
                                  });
                      };
                  });
    }));
    QTRY_VERIFY_WITH_TIMEOUT(bool(reply), 5000);
    EXPECT_EQ(r.jobs.state(), Job::State::waitingForAnswer);
    EXPECT_FALSE(r.jobs.admits());
    EXPECT_FALSE(r.jobs.run(
        QStringLiteral("Kopiere"), [](TransferProgress &) { return 0; }, [](int) { FAIL(); }));
    EXPECT_EQ(r.refusals.size(), 2);

    // The window closes the question without a click: the reply is dropped, and with it the job.
    reply = nullptr;
    EXPECT_FALSE(r.jobs.busy());
    EXPECT_EQ(r.jobs.state(), Job::State::finished);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(secondPieces, 0);

    // Cancelled at the question asked before any work: no job is left behind either.
    ASSERT_TRUE(r.jobs.run(QStringLiteral("Lösche"), [&](const JobChannel::Step &step) {
        step.setWaitingForAnswer(true);
        reply = [step](bool go) {
            if (!go) step.end();
        };
    }));
    EXPECT_EQ(r.jobs.state(), Job::State::waitingForAnswer);
    reply(false);
    EXPECT_FALSE(r.jobs.busy());
    EXPECT_EQ(finished.count(), 2);
    reply = nullptr;
    EXPECT_EQ(finished.count(), 2); // ended once
}

TEST(JobSteps, AnAnsweredQuestionRunsTheNextPieceInTheSameJob) {
    Runner r;
    QSignalSpy finished(&r.jobs, &JobRunner::finished);
    std::function<void(bool)> reply;
    TransferProgress *firstProgress = nullptr;
    std::optional<qint64> doneInSecond;
    bool heldDuringSecond = false;
    ASSERT_TRUE(r.jobs.run(QStringLiteral("Lege zurück"), [&](const JobChannel::Step &step) {
        firstProgress = &step.progress();
        step.then(
            [](TransferProgress &p) {
                p.setTotal(10, 2);
                p.add(4);
                return 1;
            },
            [&](int, const JobChannel::Step &at) {
                at.setWaitingForAnswer(true);
                reply = [at, &doneInSecond, &heldDuringSecond, &r](bool) {
                    at.setWaitingForAnswer(false);
                    at.then([](TransferProgress &p) { return p.snapshot().done; },
                            [&](qint64 done, const JobChannel::Step &last) {
                                heldDuringSecond = r.jobs.busy();
                                doneInSecond = done;
                                last.end();
                            });
                };
            });
    }));
    QTRY_VERIFY_WITH_TIMEOUT(bool(reply), 5000);
    EXPECT_TRUE(r.jobs.busy());
    EXPECT_EQ(finished.count(), 0);
    reply(true);
    EXPECT_EQ(r.jobs.state(), Job::State::running);
    QTRY_VERIFY_WITH_TIMEOUT(doneInSecond.has_value(), 5000);
    EXPECT_EQ(*doneInSecond, 4); // the progress of the first piece carried on
    EXPECT_TRUE(heldDuringSecond);
    EXPECT_EQ(r.jobs.progress(), nullptr);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_NE(firstProgress, nullptr);
    reply = nullptr;
    EXPECT_EQ(finished.count(), 1);
}
