// How a running operation's worker asks the UI thread and waits for the answer,
// and the line its questions wait in.
#pragma once
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace qb::operation {

// The worker's side of one question: it waits here until the UI thread answers.
template <typename T> class Pending {
public:
    void deliver(T a) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (value_) return;
            value_ = a;
        }
        cv_.notify_all();
    }
    T wait() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return value_.has_value(); });
        return *value_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::optional<T> value_;
};

// The answer handed to the prompts: delivers once; dropped unanswered, it cancels.
template <typename T> class Reply {
public:
    Reply(std::shared_ptr<Pending<T>> p, T fallback, std::function<void()> answered)
        : pending_(std::move(p)), fallback_(fallback), answered_(std::move(answered)) {}
    ~Reply() { deliver(fallback_); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    void deliver(T a) {
        if (done_.exchange(true)) return;
        if (answered_) answered_();
        pending_->deliver(a);
    }

private:
    std::shared_ptr<Pending<T>> pending_;
    T fallback_;
    std::function<void()> answered_;
    std::atomic<bool> done_{false};
};

// The questions of every running operation, shown one at a time: jobs that run
// side by side never stack their boxes on one another.
class QuestionLine {
public:
    void enqueue(std::function<void()> show) {
        waiting_.push_back(std::move(show));
        if (!open_) next();
    }
    void answered() {
        open_ = false;
        if (!qApp) return; // the program is ending: no question follows
        // Not inside the answer's own handling: the box that answered is still closing.
        QTimer::singleShot(0, qApp, [this] {
            if (!open_) next();
        });
    }

private:
    void next() {
        if (waiting_.empty()) return;
        open_ = true;
        const std::function<void()> show = std::move(waiting_.front());
        waiting_.pop_front();
        show();
    }
    std::deque<std::function<void()>> waiting_;
    bool open_ = false;
};

inline QuestionLine& questionLine() {
    static QuestionLine line;
    return line;
}

} // namespace qb::operation
