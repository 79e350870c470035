#pragma once

#include "core/help/HelpClock.h"

#include <map>
#include <utility>

// A clock that moves only when the test says so: advance(ms) runs, in time order, every call that falls due.
class FakeHelpClock : public HelpClock {
public:
    quint64 after(int ms, std::function<void()> fn) override {
        const quint64 handle = ++m_next;
        m_pending.emplace(std::make_pair(m_now + ms, handle), std::move(fn));
        return handle;
    }
    void cancel(quint64 handle) override {
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
            if (it->first.second == handle) {
                m_pending.erase(it);
                return;
            }
    }
    void advance(qint64 ms) {
        const qint64 until = m_now + ms;
        while (!m_pending.empty() && m_pending.begin()->first.first <= until) {
            auto it = m_pending.begin();
            m_now = it->first.first;
            std::function<void()> fn = std::move(it->second);
            m_pending.erase(it);
            fn();
        }
        m_now = until;
    }
    qint64 now() const { return m_now; }
    size_t pending() const { return m_pending.size(); }

private:
    qint64 m_now = 0;
    quint64 m_next = 0;
    std::map<std::pair<qint64, quint64>, std::function<void()>> m_pending;
};
