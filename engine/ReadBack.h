// Reading copies back from the drive on a thread of its own, behind their writer.
#pragma once
// A verified copy costs a second pass over the drive. Done after the copy, that pass
// doubles the time; done here, it overlaps the writing: a big file is read back range
// by range while its next ranges are written, and small files while the next ones are.
// Each range is first put on the drive (sync_file_range), then read with O_DIRECT,
// or, where the file system refuses that, after dropping it from the page cache.
#include "engine/FileCopy.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qb::engine {

// What a read-back abandoned before its end reports (the copy is unverified).
constexpr int kReadBackStopped = -2;

struct ReadBackItem;

class ReadBackQueue {
public:
    using Item = ReadBackItem;
    using Done = std::function<void(int)>; // 0, kNotVerified, kReadBackStopped or errno

    ReadBackQueue();
    ~ReadBackQueue(); // stops what is left (kReadBackStopped) and ends the thread
    ReadBackQueue(const ReadBackQueue&) = delete;
    ReadBackQueue& operator=(const ReadBackQueue&) = delete;

    // A copy being written through `fd` (open for reading too, kept open until done):
    // read back as far as written() says, to its end once finish() was called.
    std::shared_ptr<Item> open(int fd);
    // Everything before `end` was written and its writeback started. Waits while the
    // read-back is far behind, so that it never trails by much.
    void written(Item& item, std::uint64_t end);
    // Written whole: `size` bytes hashing to `expected`. Waits for the read-back,
    // telling `chunk` of its progress (which may throw Stop: the read-back is then
    // abandoned). Returns 0, kNotVerified or errno.
    int finish(Item& item, std::uint64_t size, std::uint64_t expected, const ChunkDone& chunk);
    // Abandons a copy (after a failed write or a cancel); waits until nothing reads it.
    void abandon(Item& item);

    // A copy written whole, read back in turn; `done` runs on the queue's thread.
    // Waits while `depth` copies are queued.
    void submit(int fd, std::uint64_t size, std::uint64_t expected, Done done, std::size_t depth);
    // Copies still queued or being read back are abandoned (kReadBackStopped) while
    // `stop` says so; set before the first submit.
    void setStop(std::function<bool()> stop) { stop_ = std::move(stop); }

private:
    void run();
    int readItem(Item& item, std::unique_lock<std::mutex>& lock);
    static int verdict(Item& item);
    int readRange(Item& item, std::uint64_t from, std::size_t len, std::size_t& got);
    bool readable(const Item& item) const;

    std::mutex m_;
    std::condition_variable wake_, progress_;
    std::deque<std::shared_ptr<Item>> items_;
    std::function<bool()> stop_;
    std::unique_ptr<char, void (*)(void*)> buffer_;
    bool noDirect_ = false; // the file system refused O_DIRECT once: read buffered
    bool quit_ = false;
    std::thread thread_;
};

} // namespace qb::engine
