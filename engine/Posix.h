// The engine's POSIX helpers: owned descriptors, swappable system calls, paths, listings.
#pragma once
#include "engine/Log.h"
#include "engine/Operation.h"

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace qb::engine {

// The calls whose rare failures decide whether data survives, through a table that
// tests can swap: a close that reports a late write error, a file system without
// RENAME_NOREPLACE or RENAME_EXCHANGE, a sync that fails, a full disk, a file system
// without links, modes, owners, times or extended attributes.
struct SysCalls {
    int (*close)(int);
    int (*renameat2)(int, const char*, int, const char*, unsigned);
    int (*syncfs)(int);
    int (*fsync)(int);
    ssize_t (*write)(int, const void*, std::size_t);
    ssize_t (*pwrite)(int, const void*, std::size_t, off_t);
    int (*linkat)(int, const char*, int, const char*, int);
    int (*fchmod)(int, mode_t);
    int (*fchown)(int, uid_t, gid_t);
    int (*futimens)(int, const struct timespec*);
    int (*fsetxattr)(int, const char*, const void*, std::size_t, int);
    int (*mkdirat)(int, const char*, mode_t);
    int (*syncFileRange)(int, off_t, off_t, unsigned); // what a verified copy waits on
};
SysCalls& sys();

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        reset(std::exchange(o.fd_, -1));
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says whether the close reported an error (deferred write errors
    // of network and quota-bound file systems surface here).
    int close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && sys().close(fd) != 0 ? errno : 0;
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// The user cancelled: unwinds the walk.
struct Stop {};

using FileId = std::pair<dev_t, ino_t>;
inline FileId idOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}
inline bool sameFile(const struct stat& a, const struct stat& b) {
    return idOf(a) == idOf(b);
}

std::string joinPath(const std::string& dir, const std::string& name);
ItemInfo infoOf(const std::string& path, const struct stat& st);

int openDir(int at, const std::string& name); // O_NOFOLLOW, -1 and errno on failure

struct Entry {
    std::string name;
    unsigned char type; // d_type
};
// The names in an open folder, sorted, without "." and "..". Returns 0 or errno.
int listEntries(int dirfd, std::vector<Entry>& out);

// The folder holding the relative path `rel` under `base`, opened one name at a time
// without following links; `leaf` gets the last name. -1 and errno on failure.
int openParent(int base, const std::string& rel, std::string& leaf);

// (dev, ino) of `dirfd` and of each folder above it, up to the root.
std::vector<FileId> ancestors(int dirfd);

// Gives the entry (fromDir, from) the name (toDir, to) on the same file system, never
// replacing what may be there: by RENAME_NOREPLACE, else (not a folder) a hard link,
// else an O_EXCL placeholder (a folder: an empty one) that a plain rename replaces.
// Returns 0 or errno; on failure the entry is where it was.
int claimName(int fromDir, const std::string& from, int toDir, const std::string& to, bool isDir,
              LogOnce* once, const char* what);

// Errors that say a file system lacks a call or a flag rather than that it failed.
inline bool unsupported(int code) {
    return code == ENOSYS || code == EOPNOTSUPP || code == ENOTSUP || code == EPERM ||
           code == EINVAL;
}

// A name for a temporary file that no other writer uses: ".qb-<pid>-<n>.part".
std::string tempName();

// The file system holding `fd`, for the log: "file system 0xef53 on device 8:1".
std::string describeFs(int fd);
// Logs, once per job, that renameat2 lacks RENAME_EXCHANGE (`exchange`) or
// RENAME_NOREPLACE where `dir` is, and what is done `instead`.
void logRenameFallback(LogOnce* once, bool exchange, int dir, const char* instead);

} // namespace qb::engine
