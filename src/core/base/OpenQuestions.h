#pragma once

#include <QHash>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Questions to the file system that may hang for good (a dead network mount): each is asked in a thread of
// its own that nobody ever waits for, and the asker waits only until its deadline. A question still open
// is not asked a second time: a later asker waits for the same answer, so a dead mount keeps one thread,
// however often it is asked. An answer is forgotten once given (the next ask asks again).
template <typename Key, typename T> class OpenQuestions {
public:
    using Clock = std::chrono::steady_clock;

    // The answer to key, asking with f unless the same question is still open; nothing when it has not
    // answered by the deadline. started, when given, tells whether this call asked anew.
    std::optional<T> ask(const Key &key, std::function<T()> f, Clock::time_point deadline,
                         bool *started = nullptr) {
        std::shared_ptr<Question> q = open(key, std::move(f), started);
        std::unique_lock lock(q->lock);
        if (!q->answered.wait_until(lock, deadline, [&] { return q->done; })) return std::nullopt;
        return q->value;
    }

    // Several at once, all waited for until the same deadline.
    QList<std::optional<T>> askAll(const QList<Key> &keys, const std::function<T(const Key &)> &f,
                                   Clock::time_point deadline) {
        QList<std::shared_ptr<Question>> questions;
        for (const Key &key : keys)
            questions.append(open(
                key, [f, key] { return f(key); }, nullptr));
        QList<std::optional<T>> out;
        for (const std::shared_ptr<Question> &q : questions) {
            std::unique_lock lock(q->lock);
            out.append(q->answered.wait_until(lock, deadline, [&] { return q->done; })
                           ? std::optional<T>(q->value)
                           : std::nullopt);
        }
        return out;
    }

private:
    struct Question {
        std::mutex lock;
        std::condition_variable answered;
        bool done = false;
        T value{};
    };
    struct Shared {
        std::mutex lock;
        QHash<Key, std::shared_ptr<Question>> open;
    };

    std::shared_ptr<Question> open(const Key &key, std::function<T()> f, bool *started) {
        std::lock_guard guard(m_shared->lock);
        std::shared_ptr<Question> &q = m_shared->open[key];
        if (started) *started = !q;
        if (q) return q;
        q = std::make_shared<Question>();
        std::thread([q, key, shared = m_shared, f = std::move(f)] {
            T value = f();
            {
                std::lock_guard g(shared->lock);
                if (shared->open.value(key) == q) shared->open.remove(key);
            }
            std::lock_guard g(q->lock);
            q->value = std::move(value);
            q->done = true;
            q->answered.notify_all();
        }).detach();
        return q;
    }

    // Shared with the threads, which may outlive this object.
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};
