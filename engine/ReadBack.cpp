// The read-back thread: ranges put on the drive, read from it, hashed and compared.
#include "engine/ReadBack.h"

#include "engine/Verify.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

namespace qb::engine {
namespace {

// Read back in ranges this large: big enough for the drive to stream, small enough to
// follow the writer closely and to notice a cancel between them.
constexpr std::size_t kRange = 8u << 20;
// The writer waits while this much that it wrote is not read back yet.
constexpr std::uint64_t kLag = 64u << 20;
// Progress reported while waiting for the last ranges, and how far ahead of that
// report the thread may read (so a pause holds it too).
constexpr std::uint64_t kStep = 16u << 20;
constexpr std::size_t kAlign = 4096; // O_DIRECT's buffers, offsets and lengths
constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

} // namespace

struct ReadBackItem {
    int fd = -1;
    Fd direct; // the same file opened with O_DIRECT, where the file system allows
    bool directTried = false;
    std::uint64_t written = 0; // the writer's mark
    std::uint64_t allowed = kNoLimit;
    std::uint64_t checked = 0; // read back and hashed
    std::uint64_t size = 0, expected = 0;
    bool final = false, started = false, abandoned = false, done = false;
    int result = 0;
    ReadBackQueue::Done doneFn;
    ContentHash hash;
};

ReadBackQueue::ReadBackQueue()
    : buffer_(static_cast<char*>(std::aligned_alloc(kAlign, kRange)), std::free) {
    if (!buffer_) throw std::bad_alloc();
    thread_ = std::thread([this] { run(); });
}

ReadBackQueue::~ReadBackQueue() {
    {
        std::lock_guard<std::mutex> lock(m_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::shared_ptr<ReadBackQueue::Item> ReadBackQueue::open(int fd) {
    auto item = std::make_shared<Item>();
    item->fd = fd;
    std::lock_guard<std::mutex> lock(m_);
    items_.push_back(item);
    return item;
}

void ReadBackQueue::written(Item& item, std::uint64_t end) {
    std::unique_lock<std::mutex> lock(m_);
    item.written = std::max(item.written, end);
    wake_.notify_all();
    progress_.wait(lock, [&] { return item.done || item.written - item.checked <= kLag; });
}

int ReadBackQueue::finish(Item& item, std::uint64_t size, std::uint64_t expected,
                          const ChunkDone& chunk) {
    std::unique_lock<std::mutex> lock(m_);
    item.final = true;
    item.size = size;
    item.expected = expected;
    for (;;) {
        const std::uint64_t from = item.checked;
        item.allowed = from + 2 * kStep;
        wake_.notify_all();
        progress_.wait(lock, [&] { return item.done || item.checked >= from + kStep; });
        if (item.done) return item.result;
        lock.unlock();
        try {
            if (chunk) chunk(item.checked); // the read-back does not outrun a pause
        } catch (...) {
            abandon(item);
            throw;
        }
        lock.lock();
    }
}

void ReadBackQueue::abandon(Item& item) {
    std::unique_lock<std::mutex> lock(m_);
    if (!item.started) {
        items_.erase(std::remove_if(items_.begin(), items_.end(),
                                    [&](const auto& p) { return p.get() == &item; }),
                     items_.end());
        item.done = true;
        return;
    }
    item.abandoned = true;
    wake_.notify_all();
    progress_.wait(lock, [&] { return item.done; });
}

void ReadBackQueue::submit(int fd, std::uint64_t size, std::uint64_t expected, Done done,
                           std::size_t depth) {
    auto item = std::make_shared<Item>();
    item->fd = fd;
    item->final = true;
    item->size = size;
    item->expected = expected;
    item->doneFn = std::move(done);
    std::unique_lock<std::mutex> lock(m_);
    progress_.wait(lock, [&] { return items_.size() < std::max<std::size_t>(depth, 1); });
    items_.push_back(std::move(item));
    wake_.notify_all();
}

// Whether the thread may read the item's next range now.
bool ReadBackQueue::readable(const Item& item) const {
    if (item.abandoned || item.checked >= item.allowed) return item.abandoned;
    return item.final || item.written - item.checked >= kRange;
}

void ReadBackQueue::run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || !items_.empty(); });
        if (items_.empty()) return;
        const std::shared_ptr<Item> item = items_.front();
        item->started = true;
        const int result = quit_ ? kReadBackStopped : readItem(*item, lock);
        items_.pop_front();
        item->result = result;
        item->done = true;
        progress_.notify_all();
        if (item->doneFn) {
            lock.unlock();
            item->doneFn(result);
            lock.lock();
        }
    }
}

// Reads one copy back, range by range as its writer allows. Called and returning locked.
int ReadBackQueue::readItem(Item& item, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || readable(item); });
        if (quit_ || item.abandoned || (stop_ && stop_())) return kReadBackStopped;
        const std::uint64_t from = item.checked;
        // Until the end is known only whole ranges; then no further than the end (a
        // direct read fills all it was asked for, zeros past the end included).
        const bool last = item.final;
        std::size_t want = kRange;
        if (last) {
            if (from >= item.size) return verdict(item);
            want = static_cast<std::size_t>(
                std::min<std::uint64_t>(kRange, (item.size - from + kAlign - 1) / kAlign * kAlign));
        }
        lock.unlock();
        std::size_t got = 0;
        const int err = readRange(item, from, want, got);
        lock.lock();
        if (err) return err;
        item.checked = from + got;
        progress_.notify_all();
        // Short before the end was known: the copy shrank as its source did.
        if (got < want && !(last && item.checked >= item.size)) return kNotVerified;
    }
}

// A copy read back to its expected end: whole when it ends there and hashes alike.
int ReadBackQueue::verdict(Item& item) {
    struct stat st;
    if (::fstat(item.fd, &st) != 0) return errno;
    std::uint64_t hash = 0;
    return item.checked == item.size && static_cast<std::uint64_t>(st.st_size) == item.size &&
                   item.hash.finish(item.size, hash) && hash == item.expected
               ? 0
               : kNotVerified;
}

// Puts [from, from + len) on the drive and reads it back from there. Returns 0 or errno.
int ReadBackQueue::readRange(Item& item, std::uint64_t from, std::size_t len, std::size_t& got) {
    const auto at = static_cast<off_t>(from);
    // What the cache still holds dirty would be read from memory. The data is all a
    // read-back needs, without fsync's journal commit.
    if (sys().syncFileRange(item.fd, at, static_cast<off_t>(len),
                            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        sys().fsync(item.fd) != 0)
        return errno;
    if (!item.directTried && !noDirect_) {
        item.directTried = true;
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", item.fd);
        item.direct.reset(::open(proc, O_RDONLY | O_DIRECT | O_CLOEXEC));
        noDirect_ = !item.direct.ok();
    }
    // Clean now, its pages leave the cache, and a buffered read goes to the drive
    // (so does a direct one that a file system quietly serves through the cache).
    ::posix_fadvise(item.fd, at, static_cast<off_t>(len), POSIX_FADV_DONTNEED);
    got = 0;
    // A read may be answered short (a FUSE daemon's direct reads are): only an empty
    // answer is the end of the file.
    while (got < len) {
        const bool direct = item.direct.ok();
        const ssize_t n = ::pread(direct ? item.direct.get() : item.fd, buffer_.get() + got,
                                  len - got, at + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        // No O_DIRECT reads here after all (EINVAL, or an offset a short read left
        // unaligned), or a daemon that fails them (a FUSE one answered EPERM): read
        // through the emptied cache, as where the open failed.
        if (n < 0 && direct) {
            noDirect_ = true;
            item.direct.reset();
            ::posix_fadvise(item.fd, at, static_cast<off_t>(len), POSIX_FADV_DONTNEED);
            continue;
        }
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    item.hash.add(from, buffer_.get(), got);
    // A copy checked is not read again soon: its pages make room for others.
    ::posix_fadvise(item.fd, at, static_cast<off_t>(len), POSIX_FADV_DONTNEED);
    return 0;
}

} // namespace qb::engine
