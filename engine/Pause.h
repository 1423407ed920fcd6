// A job held at its next stopping point until it is let go again.
#pragma once
// The job waits where it would notice a cancel (between files and chunks), so a
// pause leaves every file whole, as a cancel does. Plain C++: no Qt.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qb {

class PauseGate {
public:
    void pause();
    void resume();
    bool paused() const { return paused_.load(); }
    // Wakes a waiter to look at its cancel flag (set the flag first).
    void wake();
    // Returns at once unless paused; otherwise once resumed or `cancel` is set.
    // Returns how long it waited.
    std::chrono::steady_clock::duration waitWhilePaused(const std::atomic<bool>& cancel) const;

private:
    std::atomic<bool> paused_{false};
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
};

} // namespace qb
