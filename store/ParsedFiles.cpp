#include "store/ParsedFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qb::settings {

// Only a regular file is read: a FIFO, a device
// or a socket where a settings file should be would block or never end, so it is
// opened without waiting and then refused (it reads as missing, a write to it fails).
int openRegular(const QByteArray& native, Loaded& result) {
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        result.presence =
            errno == ENOENT || errno == ENOTDIR ? Presence::Missing : Presence::Unreadable;
        return -1;
    }
    if (::fstat(fd, &result.info) != 0 || !S_ISREG(result.info.st_mode)) {
        ::close(fd);
        result.presence = Presence::Unreadable;
        return -1;
    }
    return fd;
}

// Reads the rest of `fd` into `result` and closes it.
void readAndClose(int fd, Loaded& result) {
    result.bytes.resize(qsizetype(result.info.st_size));
    qsizetype have = 0;
    for (;;) {
        if (have == result.bytes.size()) result.bytes.resize(have + 4096 + have / 2);
        const ssize_t got =
            ::read(fd, result.bytes.data() + have, size_t(result.bytes.size() - have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result.error = errno;
            ::close(fd);
            result.presence = Presence::Unreadable;
            result.bytes.clear();
            return;
        }
        if (got == 0) break;
        have += got;
    }
    ::close(fd);
    result.bytes.truncate(have);
    result.presence = Presence::Present;
}

std::shared_ptr<const ini::Document> ParsedFiles::get(const QByteArray& native, Loaded& result) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int fd = openRegular(native, result);
    if (fd < 0) return nullptr;
    const Identity identity(result.info);
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        for (qsizetype i = 0; i < entries_.size(); ++i) {
            if (entries_[i].path != native || !(entries_[i].identity == identity)) continue;
            ::close(fd);
            result.presence = Presence::Present;
            entries_.move(i, 0);
            return entries_.front().document;
        }
    }
    readAndClose(fd, result);
    if (result.presence != Presence::Present) return nullptr;
    auto document = std::make_shared<const ini::Document>(ini::Document::parse(result.bytes));
    const bool settled = identity.modified.tv_sec < now.tv_sec - kSettleSeconds ||
                         (identity.modified.tv_sec == now.tv_sec - kSettleSeconds &&
                          identity.modified.tv_nsec < now.tv_nsec);
    const std::lock_guard<std::mutex> hold(mutex_);
    for (qsizetype i = 0; i < entries_.size(); ++i)
        if (entries_[i].path == native) {
            entries_.remove(i);
            break;
        }
    if (settled) {
        entries_.prepend({native, identity, document});
        if (entries_.size() > kKept) entries_.removeLast();
    }
    return document;
}

} // namespace qb::settings
