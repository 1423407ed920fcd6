// Checking a copy against its source: a hash of the bytes read while copying, to
// compare with the copy read back from the drive itself (ReadBack.h).
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

// What a copy read back and found different from its source reports.
constexpr int kNotVerified = -1;

} // namespace qb::engine
