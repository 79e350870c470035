#pragma once

#include "core/base/Background.h"
#include "core/fileops/TransferProgress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <memory>
#include <optional>

// The one long file operation that runs now. Without a job the runner reports `finished`.
struct Job {
    // waiting: admitted but not started (kept for a queue).
    enum class State { waiting, running, waitingForAnswer, cancelling, finished };
    QString title; // German key, translated by whoever shows it
    std::shared_ptr<TransferProgress> progress;
    State state = State::finished;
};

// Runs one long job at a time: admits or refuses it, publishes its progress on its own timer, passes the
// cancel on to the worker and frees itself when the work has come back. Main thread only.
class JobRunner : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int periodMs = 120; // how often the status is published
        int quietMs = 400;  // a job shorter than this shows nothing
    };
    // refuse shows the refusal (the caller's toast); timing is read at every begin, so tests may shorten it.
    explicit JobRunner(std::function<void(const QString &text)> refuse = {},
                       std::function<Timing()> timing = {}, QObject *parent = nullptr);

    static const char *const busyText;

    bool busy() const { return m_job.progress != nullptr; }
    // True when a job could begin now; otherwise the refusal has been shown.
    bool admits();
    // A new job's progress, or nothing when another job runs (the refusal has been shown).
    // Every job admitted so is ended with end() once its work has come back.
    std::shared_ptr<TransferProgress> begin(const QString &title);
    void end();
    void cancel();
    // The job waits for the user's answer to a question (and runs on after it).
    void setWaitingForAnswer(bool waiting);

    const Job &job() const { return m_job; }
    Job::State state() const { return m_job.state; }
    std::shared_ptr<TransferProgress> progress() const { return m_job.progress; }
    // What the banner shows: absent without a job and during its quiet start.
    const std::optional<TransferStatus> &status() const { return m_status; }

    // The whole road of a job: begin, work(progress) on the thread pool, end, then done(result) on this
    // thread. False (and nothing run) when refused.
    template <typename Work, typename Done> bool run(const QString &title, Work work, Done done) {
        const std::shared_ptr<TransferProgress> progress = begin(title);
        if (!progress) return false;
        whenDone(this,
                 QtConcurrent::run([work = std::move(work), progress]() mutable { return work(*progress); }),
                 [this, done = std::move(done)](const auto &result) mutable {
                     end();
                     done(result);
                 });
        return true;
    }

signals:
    void stateChanged(Job::State state);
    // A status was published (every period while one shows) or taken away.
    void statusChanged();
    // The job has ended and the runner is free.
    void finished(bool cancelled);

private:
    void setState(Job::State state);
    void publish();

    std::function<void(const QString &)> m_refuse;
    std::function<Timing()> m_timing;
    Timing m_now;
    Job m_job;
    std::optional<TransferStatus> m_status;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
