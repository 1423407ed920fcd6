// Checking a copy against its source: a hash of the bytes read while copying, and
// the copy read back from the drive itself.
#pragma once
#include "engine/FileCopy.h"

#include <cstddef>
#include <cstdint>

namespace qb::engine {

// XXH3-64 of a file's bytes as they are read, in order. The holes a sparse copy
// skips count as the zeros they read as.
class ContentHash {
public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    void reset();
    // `n` bytes read at `at`, which is at or after the end of what was added before.
    void add(std::uint64_t at, const void* data, std::size_t n);
    // The hash of the first `size` bytes; false when more than that was added (the
    // source was cut short meanwhile, and the hash says nothing).
    bool finish(std::uint64_t size, std::uint64_t& hash);

private:
    void zeros(std::uint64_t n);
    void* state_;
    std::uint64_t added_ = 0;
};

// Puts the data written through `fd` (open for reading too) on the drive, drops it
// from the page cache and reads it back from the drive. Returns 0 when it holds `size` bytes
// hashing to `expected`, kNotVerified when it does not, else errno. `chunk` hears of the bytes read
// back.
constexpr int kNotVerified = -1;
int readBack(int fd, std::uint64_t size, std::uint64_t expected, const ChunkDone& chunk);

} // namespace qb::engine
