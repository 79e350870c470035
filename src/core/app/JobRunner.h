#pragma once

#include "core/fileops/JobChannel.h"
#include "core/filesteps/TransferProgress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

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
// cancel on to the worker and frees itself when the work has come back. Jobs come in only through run().
// Main thread only.
class JobRunner : public QObject, public JobChannel {
    Q_OBJECT
public:
    struct Timing {
        int periodMs = 120; // how often the status is published
        int quietMs = 400;  // a job shorter than this shows nothing
    };
    // refuse shows the refusal (the caller's toast); timing is read at every start, so tests may shorten it.
    explicit JobRunner(std::function<void(const QString &text)> refuse = {},
                       std::function<Timing()> timing = {}, QObject *parent = nullptr);

    static const char *const busyText;

    bool busy() const { return m_job.progress != nullptr; }
    // True when a job could begin now; otherwise the refusal has been shown.
    bool admits();
    void cancel();

    const Job &job() const { return m_job; }
    Job::State state() const { return m_job.state; }
    std::shared_ptr<TransferProgress> progress() const { return m_job.progress; }
    // What the banner shows: absent without a job and during its quiet start.
    const std::optional<TransferStatus> &status() const { return m_status; }

    using JobChannel::run;

signals:
    void stateChanged(Job::State state);
    // A status was published (every period while one shows) or taken away.
    void statusChanged();
    // The job has ended and the runner is free.
    void finished(bool cancelled);

private:
    std::shared_ptr<TransferProgress> open(const QString &title) override;
    void close(const TransferProgress *job) override;
    void waiting(bool waiting) override;
    QObject *home() override { return this; }
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
