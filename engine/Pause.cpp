// Holding a job between files: the gate its walk and copy workers wait at.
#include "engine/Pause.h"

namespace qb {

void PauseGate::pause() {
    std::lock_guard<std::mutex> lock(m_);
    paused_ = true;
}

void PauseGate::resume() {
    {
        std::lock_guard<std::mutex> lock(m_);
        paused_ = false;
    }
    cv_.notify_all();
}

void PauseGate::wake() {
    { std::lock_guard<std::mutex> lock(m_); }
    cv_.notify_all();
}

std::chrono::steady_clock::duration
PauseGate::waitWhilePaused(const std::atomic<bool>& cancel) const {
    if (!paused_.load(std::memory_order_relaxed)) return {};
    const auto from = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_);
    // A cancel may be set without wake(): look again now and then.
    while (paused_ && !cancel.load())
        cv_.wait_for(lock, std::chrono::milliseconds(200));
    return std::chrono::steady_clock::now() - from;
}

} // namespace qb
