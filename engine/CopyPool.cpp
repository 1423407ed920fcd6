// The copy workers' threads and queue, and how many workers suit two disks.
#include "engine/CopyPool.h"

#include "engine/ReadBack.h"

#include <algorithm>
#include <cstdio>

#include <sys/sysmacros.h>

namespace qb::engine {

CopyPool::~CopyPool() {
    {
        std::lock_guard<std::mutex> lock(m_);
        quit_ = true;
    }
    abandon_ = true;
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void CopyPool::submit(PooledCopy c) {
    std::unique_lock<std::mutex> lock(m_);
    if (threads_.empty()) {
        for (unsigned i = 0; i < workers_; ++i)
            threads_.emplace_back([this] { work(); });
    }
    if (queue_.size() >= backlog_) {
        waitingRoom_ = true;
        done_.wait(lock, [&] { return queue_.size() <= backlog_ / 2; });
        waitingRoom_ = false;
    }
    queue_.push_back(std::move(c));
    if (idle_) wake_.notify_one();
}

std::vector<PooledCopy> CopyPool::finished(bool all) {
    if (!all && !anyFinished_.load(std::memory_order_acquire)) return {};
    std::unique_lock<std::mutex> lock(m_);
    if (all) {
        waitingAll_ = true;
        done_.wait(lock, [&] { return queue_.empty() && busy_ == 0; });
        waitingAll_ = false;
    }
    anyFinished_.store(false, std::memory_order_relaxed);
    return std::exchange(finished_, {});
}

void CopyPool::abandon() {
    abandon_ = true;
    std::unique_lock<std::mutex> lock(m_);
    for (PooledCopy& c : queue_) {
        c.abandoned = true;
        finished_.push_back(std::move(c));
    }
    if (!finished_.empty()) anyFinished_.store(true, std::memory_order_release);
    queue_.clear();
    waitingAll_ = true;
    done_.wait(lock, [&] { return busy_ == 0; });
    waitingAll_ = false;
    abandon_ = false;
}

void CopyPool::work() {
    ByteCopier copier(once_); // its own: it remembers what each pair of file systems can do
    copier.setVerify(verify_);
    if (verify_)
        copier.setStopReadBack(
            [this] { return cancel_.load(std::memory_order_relaxed) || abandon_; });
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        idle_++;
        wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
        idle_--;
        if (quit_) return;
        PooledCopy c = std::move(queue_.front());
        queue_.pop_front();
        busy_++;
        if (waitingRoom_ && queue_.size() <= backlog_ / 2) done_.notify_all();
        lock.unlock();
        if (copy(copier, c)) settle(std::move(c));
        lock.lock();
    }
}

bool CopyPool::copy(ByteCopier& copier, PooledCopy& c) {
    try {
        if (pause_) pause_->waitWhilePaused(cancel_);
        if (cancel_.load(std::memory_order_relaxed) || abandon_.load()) throw Stop{};
        if (!verify_) {
            c.ok = copyFileTo(copier, c.sdir->get(), c.sname, c.sst, c.ddir->get(), c.dname,
                              nullptr, writeback_, nullptr, c.why, c.ddev);
            return true;
        }
        auto w = std::make_shared<WrittenCopy>();
        if (!writeCopy(copier, c.sdir->get(), c.sname, c.sst, c.ddir->get(), c.ddev, false, nullptr,
                       *w, c.why))
            return true;
        const int fd = w->out.fd.get();
        const struct stat copied = c.why.copied;
        copier.verifyLater(
            fd, copied, [this, &copier, w, c](int checked) { verified(copier, *w, c, checked); },
            depth_);
        return false;
    } catch (const Stop&) {
        c.abandoned = true;
    } catch (...) {
        c.why = {ErrorKind::Transfer, ENOMEM};
    }
    return true;
}

void CopyPool::verified(ByteCopier& copier, WrittenCopy& w, PooledCopy c, int checked) {
    const int ddir = c.ddir->get();
    if (checked == kReadBackStopped) {
        ByteCopier::discard(w.out, ddir);
        c.abandoned = true;
    } else {
        try {
            c.ok = finishCopy(copier, w, checked, ddir, c.dname, nullptr, writeback_, c.why);
        } catch (...) {
            ByteCopier::discard(w.out, ddir);
            c.why = {ErrorKind::Transfer, ENOMEM};
        }
    }
    settle(std::move(c));
}

void CopyPool::settle(PooledCopy c) {
    std::lock_guard<std::mutex> lock(m_);
    finished_.push_back(std::move(c));
    anyFinished_.store(true, std::memory_order_release);
    busy_--;
    if (waitingAll_ && busy_ == 0 && queue_.empty()) done_.notify_all();
}

namespace {

bool spinning(dev_t dev) {
    if (major(dev) == 0) return false; // tmpfs, network and other file systems without a disk
    char path[96];
    // A partition has its disk's queue one folder up.
    for (const char* rel : {"queue/rotational", "../queue/rotational"}) {
        std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/%s", major(dev), minor(dev), rel);
        if (std::FILE* f = std::fopen(path, "re")) {
            const int c = std::fgetc(f);
            std::fclose(f);
            return c == '1';
        }
    }
    return false;
}

} // namespace

unsigned workersFor(dev_t from, dev_t to, unsigned asked) {
    if (asked) return asked;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // A disk that seeks takes two streams well, more of them badly.
    return std::min(spinning(from) || spinning(to) ? 2u : 4u, cores);
}

} // namespace qb::engine
