#pragma once

#include "core/base/Background.h"
#include "core/filesteps/TransferProgress.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>
#include <utility>

// The one way a long file operation becomes the job: run() admits it (or shows the refusal), its work
// goes to the thread pool with the job's progress, and the job ends exactly once. A job may come in
// steps with a question between them (put back asks for a folder after its first pass); no nested event
// loop waits for the answer, the job's handle is simply held until it comes.
class JobChannel {
public:
    // The handle of an admitted job, passed from step to step on the channel's thread. The job ends with
    // end(), or when the last copy of its handle is gone (a question that closes without an answer); so a
    // handle stays on that thread and is never captured by the work itself.
    class Step {
    public:
        TransferProgress &progress() const { return *m_held->progress; }
        // For what outlives this call, such as a timer that writes into the progress.
        std::shared_ptr<TransferProgress> sharedProgress() const { return m_held->progress; }
        bool ended() const { return m_held->ended; }
        // The next piece of work within the same job: work(progress) on the thread pool, then
        // done(result, step) back on the channel's thread, the job still held.
        template <typename Work, typename Done> void then(Work work, Done done) const {
            const std::shared_ptr<Held> held = m_held;
            QObject *home = held->home.data();
            if (!home || held->ended) return;
            whenDone(
                home, QtConcurrent::run([work = std::move(work), progress = held->progress]() mutable {
                    return work(*progress);
                }),
                [held, done = std::move(done)](const auto &result) mutable { done(result, Step(held)); });
        }
        // The job waits for the user's answer to a question (and runs on after it).
        void setWaitingForAnswer(bool waiting) const {
            if (!m_held->ended && m_held->home) m_held->channel->waiting(waiting);
        }
        void end() const { m_held->finish(); }

    private:
        friend class JobChannel;
        struct Held {
            JobChannel *channel;
            QPointer<QObject> home; // the channel is alive while this is
            std::shared_ptr<TransferProgress> progress;
            bool ended = false;
            Held(JobChannel *c, QObject *h, std::shared_ptr<TransferProgress> p)
                : channel(c), home(h), progress(std::move(p)) {}
            Held(const Held &) = delete;
            Held &operator=(const Held &) = delete;
            ~Held() { finish(); }
            void finish() {
                if (ended) return;
                ended = true;
                if (home) channel->close(progress.get());
            }
        };
        explicit Step(std::shared_ptr<Held> held) : m_held(std::move(held)) {}
        std::shared_ptr<Held> m_held;
    };

    virtual ~JobChannel() = default;

    // A job in steps: first(step) runs at once on this thread with the admitted job's handle. False (and
    // nothing run) when refused; the refusal has been shown.
    template <typename First> bool run(const QString &title, First first) {
        QObject *at = home();
        std::shared_ptr<TransferProgress> progress = at ? open(title) : nullptr;
        if (!progress) return false;
        first(Step(std::make_shared<Step::Held>(this, at, std::move(progress))));
        return true;
    }

    // The whole road of a job in one step: work(progress) on the thread pool, the job's end, then
    // done(result) on this thread. False (and nothing run) when refused.
    template <typename Work, typename Done> bool run(const QString &title, Work work, Done done) {
        return run(title, [work = std::move(work), done = std::move(done)](const Step &step) mutable {
            step.then(std::move(work), [done = std::move(done)](const auto &result, const Step &at) mutable {
                at.end();
                done(result);
            });
        });
    }

protected:
    // A new job's progress, or null when another job holds the channel (its refusal has been shown).
    virtual std::shared_ptr<TransferProgress> open(const QString &title) = 0;
    // Ends the job of this progress; nothing when another job holds the channel by now.
    virtual void close(const TransferProgress *job) = 0;
    virtual void waiting(bool waiting) = 0;
    // The object whose thread runs the steps; the channel lives as long as it does.
    virtual QObject *home() = 0;
};
