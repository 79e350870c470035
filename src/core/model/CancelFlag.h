#pragma once

#include <atomic>
#include <memory>

// Set by the owner on its thread, polled by a background walk between entries.
class CancelFlag {
public:
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    void setCancelled(bool v = true) { m_cancelled.store(v, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};

using CancelFlagPtr = std::shared_ptr<CancelFlag>;
