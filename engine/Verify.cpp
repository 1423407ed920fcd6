// Hashing copied bytes, and reading copies back past the page cache.
#include "engine/Verify.h"

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>

#include <fcntl.h>

namespace qb::engine {

namespace {

constexpr std::size_t kReadBack = 1u << 20;
constexpr std::size_t kAlign = 4096;
constexpr std::uint64_t kReport = 16u << 20;

XXH3_state_t* state(void* s) {
    return static_cast<XXH3_state_t*>(s);
}

struct FreeAligned {
    void operator()(void* p) const { std::free(p); }
};

} // namespace

ContentHash::ContentHash() : state_(XXH3_createState()) {
    if (!state_) throw std::bad_alloc();
    reset();
}

ContentHash::~ContentHash() {
    XXH3_freeState(state(state_));
}

void ContentHash::reset() {
    XXH3_64bits_reset(state(state_));
    added_ = 0;
}

void ContentHash::zeros(std::uint64_t n) {
    static const char kZeros[64 << 10] = {};
    while (n > 0) {
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof kZeros));
        XXH3_64bits_update(state(state_), kZeros, step);
        n -= step;
    }
}

void ContentHash::add(std::uint64_t at, const void* data, std::size_t n) {
    if (at > added_) zeros(at - added_);
    XXH3_64bits_update(state(state_), data, n);
    added_ = std::max(added_, at) + n;
}

bool ContentHash::finish(std::uint64_t size, std::uint64_t& hash) {
    if (added_ > size) return false;
    zeros(size - added_);
    added_ = size;
    hash = XXH3_64bits_digest(state(state_));
    return true;
}

int readBack(int fd, std::uint64_t size, std::uint64_t expected, const ChunkDone& chunk) {
    // On the drive first: what the cache still holds dirty would be read from memory.
    // The data is all a read-back needs, without fsync's journal commit per file.
    if (::sync_file_range(fd, 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        sys().fsync(fd) != 0)
        return errno;
    // Clean now, its pages leave the cache, and the reads below go to the drive.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<char, FreeAligned> buf(
        static_cast<char*>(std::aligned_alloc(kAlign, kReadBack)));
    if (!buf) return ENOMEM;
    ContentHash hash;
    std::uint64_t pos = 0, reported = 0;
    int err = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf.get(), kReadBack, static_cast<off_t>(pos));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        hash.add(pos, buf.get(), static_cast<std::size_t>(n));
        pos += static_cast<std::uint64_t>(n);
        if (chunk && pos - reported >= kReport) chunk(reported = pos);
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); // a copy verified is not read again soon
    if (err) return err;
    std::uint64_t got = 0;
    return pos == size && hash.finish(size, got) && got == expected ? 0 : kNotVerified;
}

} // namespace qb::engine
