// The copy workers: threads that copy small files while the walk goes on.
#pragma once
// With many small files the time goes into system calls, which several threads
// overlap. The walk keeps the questions, the progress and the reports; it hands out
// only copies to free names that need none of them, and takes their results back on
// its own thread.
#include "engine/DirCache.h"
#include "engine/FileCopy.h"
#include "engine/Pause.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qb::engine {

// One file to copy to a free name, and how it went.
struct PooledCopy {
    std::shared_ptr<const Fd> sdir, ddir; // open until the copy is accounted for
    DirRef source;                        // the job's record of `sdir` (not for the workers)
    std::string sname, dname, spath, dpath;
    struct stat sst {};
    dev_t ddev = 0; // the device of `ddir`
    bool ok = false;
    bool abandoned = false; // cancelled before or while it ran: nothing was written
    CopyFailure why;
};

// Files larger than this are copied by the walk itself, with progress and cancel
// inside the file.
constexpr off_t kPooledFileMax = 4 << 20;

// Copies queued per worker: enough to keep every worker busy, few to abandon. With
// those running and those finished but not yet taken back, the workers hold at most
// (backlog + 1) copies each, each with its two folders open. A full queue is refilled
// only once half of it is taken, so that the walk and the workers do not wake each
// other for every file; under a tight file limit the queue is kept short.
constexpr unsigned kBacklogPerWorker = 8;
constexpr unsigned kShortBacklogPerWorker = 2;
// Verified copies written and waiting for their read-back, per worker: each holds its
// source, its copy and its two folders open.
inline unsigned readBackDepth(unsigned backlog) {
    return std::max(1u, backlog / 2);
}

class CopyPool {
public:
    // `workers` threads, started with the first copy; fewer than 2 means none.
    // `once` (if given) is the job's, to log each fallback once per job.
    // Workers hold at `pause` (if given) before each copy, as the walk does.
    CopyPool(unsigned workers, const std::atomic<bool>& cancel, bool writeback,
             LogOnce* once = nullptr, const PauseGate* pause = nullptr,
             unsigned backlog = kBacklogPerWorker)
        : workers_(workers < 2 ? 0 : workers), backlog_(std::max(1u, backlog) * workers_),
          depth_(readBackDepth(backlog)), cancel_(cancel), writeback_(writeback), once_(once),
          pause_(pause) {}
    ~CopyPool();
    CopyPool(const CopyPool&) = delete;
    CopyPool& operator=(const CopyPool&) = delete;

    bool enabled() const { return workers_ > 0; }
    // The workers verify their copies (ByteCopier::setVerify); set before the first copy.
    // Each copy is read back on a thread of the worker's while the worker goes on.
    void setVerify(bool on) { verify_ = on; }
    // Queues a copy; waits while the backlog is full.
    void submit(PooledCopy c);
    // The copies finished since the last call; with `all`, waits for every one queued.
    std::vector<PooledCopy> finished(bool all);
    // Drops the queued copies and stops the running ones, which leave nothing behind;
    // both come back from finished() as abandoned. Waits until no worker is busy.
    void abandon();

private:
    void work();
    // Copies `c`; false when it went on to be read back, which settles it later.
    bool copy(ByteCopier& copier, PooledCopy& c);
    void verified(ByteCopier& copier, WrittenCopy& w, PooledCopy c, int checked);
    // Hands a copy that ended back to the walk.
    void settle(PooledCopy c);

    unsigned workers_;
    std::size_t backlog_; // copies queued at most
    std::size_t depth_;   // readBackDepth
    const std::atomic<bool>& cancel_;
    bool writeback_;
    bool verify_ = false;
    LogOnce* once_;
    const PauseGate* pause_;
    std::atomic<bool> abandon_{false};
    std::mutex m_;
    std::condition_variable wake_, done_;
    std::deque<PooledCopy> queue_;
    std::vector<PooledCopy> finished_;
    std::atomic<bool> anyFinished_{false}; // finished_ is not empty: worth the lock
    unsigned busy_ = 0;
    // Who waits, so that nobody is woken for nothing: workers for a copy, the walk
    // for room in the queue, the walk for the last copy to end.
    unsigned idle_ = 0;
    bool waitingRoom_ = false, waitingAll_ = false;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

// How many workers suit a copy from the device `from` to `to`: one per core, at most
// four, or two where either is a disk that seeks. `asked` (not 0) overrides.
unsigned workersFor(dev_t from, dev_t to, unsigned asked);

} // namespace qb::engine
