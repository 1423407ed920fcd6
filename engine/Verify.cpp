// Hashing copied bytes, and the copier's side of checking its copies.
#include "engine/Verify.h"

#include "engine/ReadBack.h"

#include <xxhash.h>

#include <algorithm>
#include <memory>
#include <new>

namespace qb::engine {

namespace {

XXH3_state_t* state(void* s) {
    return static_cast<XXH3_state_t*>(s);
}

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

ByteCopier::ByteCopier(LogOnce* once) : once_(once) {}

ByteCopier::~ByteCopier() = default;

void ByteCopier::startHash(int fd, bool follow) {
    if (!hash_) hash_ = std::make_shared<ContentHash>();
    hash_->reset();
    abandonReadBack();
    if (!follow) return;
    if (!readBack_) readBack_ = std::make_unique<ReadBackQueue>();
    following_ = readBack_->open(fd);
}

void ByteCopier::abandonReadBack() {
    if (following_) readBack_->abandon(*following_);
    following_.reset();
}

int ByteCopier::verify(int fd, const struct stat& copied, const ChunkDone& chunk) {
    const auto size = static_cast<std::uint64_t>(copied.st_size);
    std::uint64_t expected = 0;
    if (!hash_ || !hash_->finish(size, expected)) {
        abandonReadBack();
        return kNotVerified;
    }
    if (size == 0) {
        abandonReadBack();
        return 0;
    }
    if (!readBack_) readBack_ = std::make_unique<ReadBackQueue>();
    if (!following_) following_ = readBack_->open(fd);
    struct Phase {
        ByteCopier& c;
        ~Phase() {
            c.readingBack_ = false;
            c.following_.reset();
        }
    } phase{*this};
    readingBack_ = true;
    // The phase is news even where the read-back, running behind the writing, is
    // nearly done already.
    if (chunk) {
        try {
            chunk(0);
        } catch (...) {
            abandonReadBack();
            throw;
        }
    }
    return readBack_->finish(*following_, size, expected, chunk);
}

void ByteCopier::verifyLater(int fd, const struct stat& copied, std::function<void(int)> done,
                             std::size_t depth) {
    const auto size = static_cast<std::uint64_t>(copied.st_size);
    std::uint64_t expected = 0;
    if (!hash_ || !hash_->finish(size, expected)) return done(kNotVerified);
    if (size == 0) return done(0);
    if (!readBack_) readBack_ = std::make_unique<ReadBackQueue>();
    readBack_->submit(fd, size, expected, std::move(done), depth);
}

void ByteCopier::setStopReadBack(std::function<bool()> stop) {
    if (!readBack_) readBack_ = std::make_unique<ReadBackQueue>();
    readBack_->setStop(std::move(stop));
}

} // namespace qb::engine
