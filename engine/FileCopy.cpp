// Copying one file: clones, kernel copies or reads and writes, holes, attributes.
#include "engine/FileCopy.h"

#include "engine/ReadBack.h"
#include "engine/Verify.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

namespace qb::engine {

namespace {

constexpr std::size_t kChunk = 16u << 20; // progress and cancel granularity of big files
constexpr std::size_t kBuffer = 1u << 20; // reads and writes where the kernel cannot copy

bool cloneUnsupported(int code) {
    return code == EOPNOTSUPP || code == EXDEV || code == EINVAL || code == ENOTTY ||
           code == EPERM || code == ENOSYS;
}

bool copyRangeUnsupported(int code) {
    return code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP || code == EBADF;
}

int writeAll(int out, const char* data, std::size_t n, off_t at) {
    for (std::size_t off = 0; off < n;) {
        const ssize_t w = sys().pwrite(out, data + off, n - off, at + static_cast<off_t>(off));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return errno;
        off += static_cast<std::size_t>(w);
    }
    return 0;
}

} // namespace

int ByteCopier::copyData(int in, int out, dev_t outDev, const struct stat& sst,
                         const ChunkDone& chunk) {
    if (!outDev) {
        struct stat ost;
        if (::fstat(out, &ost) != 0) return errno;
        outDev = ost.st_dev;
    }
    const auto devs = std::make_pair(sst.st_dev, outDev);
    if (sst.st_size == 0) return 0;
    if (!verify_ && !noReflink_.count(devs)) {
        if (::ioctl(out, FICLONE, in) == 0) return 0;
        if (!cloneUnsupported(errno)) return errno;
        noReflink_.insert(devs);
    }
    const auto total = static_cast<std::uint64_t>(sst.st_size);
    // A sparse file keeps its holes: a disk image must not grow to its full size.
    bool sparse = static_cast<std::uint64_t>(sst.st_blocks) * 512 < total;
    std::uint64_t from = 0;
    while (from < total) {
        std::uint64_t to = total;
        if (sparse) {
            const off_t data = ::lseek(in, static_cast<off_t>(from), SEEK_DATA);
            if (data < 0 && errno == ENXIO) break; // only a hole is left
            if (data < 0) {
                sparse = false; // no hole finding here: copy it all
            } else {
                from = static_cast<std::uint64_t>(data);
                const off_t hole = ::lseek(in, data, SEEK_HOLE);
                if (hole > data) to = std::min(total, static_cast<std::uint64_t>(hole));
            }
            if (from >= total) break;
        }
        if (const int err = copyRange(in, out, from, to, devs, chunk)) return err;
        from = to;
    }
    if (sparse && ::ftruncate(out, static_cast<off_t>(total)) != 0) return errno;
    return 0;
}

int ByteCopier::copyWhole(int in, int out, dev_t outDev, const struct stat& sst, struct stat& now,
                          const ChunkDone& chunk) {
    if (const int err = copyData(in, out, outDev, sst, chunk)) return err;
    return copyToEnd(in, out, static_cast<std::uint64_t>(sst.st_size), now, chunk);
}

int ByteCopier::copyToEnd(int in, int out, std::uint64_t copied, struct stat& now,
                          const ChunkDone& chunk) {
    for (;;) {
        if (::fstat(in, &now) != 0) return errno;
        const auto size = static_cast<std::uint64_t>(now.st_size);
        if (size == copied) return 0;
        if (size < copied) // cut short meanwhile: the copy ends where the source does
            return ::ftruncate(out, now.st_size) == 0 ? 0 : errno;
        struct stat ost;
        if (::fstat(out, &ost) != 0) return errno;
        if (const int err = copyRange(in, out, copied, size, {now.st_dev, ost.st_dev}, chunk))
            return err;
        copied = size;
    }
}

// Copies bytes [from, to) to the same place in `out`: in the kernel where it can,
// else by reads and writes.
int ByteCopier::copyRange(int in, int out, std::uint64_t from, std::uint64_t to,
                          std::pair<dev_t, dev_t> devs, const ChunkDone& chunk) {
    std::uint64_t pos = from, reported = from;
    while (pos < to) {
        ssize_t n;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - pos));
        if (!verify_ && !noCopyRange_.count(devs)) {
            loff_t ip = static_cast<loff_t>(pos), op = static_cast<loff_t>(pos);
            n = ::copy_file_range(in, &ip, out, &op, want, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && copyRangeUnsupported(errno)) {
                const int code = errno;
                noCopyRange_.insert(devs); // not between these two file systems
                if (once_ && once_->first(LogKind::CopyRange))
                    logLine("copy_file_range from device %u:%u to %u:%u: %s; reads and writes "
                            "instead",
                            major(devs.first), minor(devs.first), major(devs.second),
                            minor(devs.second), errorText(code).c_str());
                continue;
            }
            if (n < 0) return errno;
        } else {
            if (!buffer_) buffer_.reset(new char[kBuffer]);
            n = ::pread(in, buffer_.get(), std::min(want, kBuffer), static_cast<off_t>(pos));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (hash_ && n > 0) hash_->add(pos, buffer_.get(), static_cast<std::size_t>(n));
            if (const int err = writeAll(out, buffer_.get(), static_cast<std::size_t>(n),
                                         static_cast<off_t>(pos)))
                return err;
            // Written to the drive as it goes: the read-back then waits for little.
            if (verify_) ::sync_file_range(out, static_cast<off_t>(pos), n, SYNC_FILE_RANGE_WRITE);
            if (following_) readBack_->written(*following_, pos + static_cast<std::uint64_t>(n));
        }
        if (n == 0) return 0; // the file shrank meanwhile
        pos += static_cast<std::uint64_t>(n);
        if (pos - reported >= kChunk && pos < to) {
            reported = pos;
            if (chunk) chunk(pos);
        }
    }
    return 0;
}

int ByteCopier::openTemp(int ddir, TempFile& out) {
    out.name.clear();
    const int access = verify_ ? O_RDWR : O_WRONLY; // a verified copy is read back through it
    if (tmpfileWorks_ && useProcLink_) {
        out.fd.reset(::openat(ddir, ".", O_TMPFILE | access | O_CLOEXEC, 0600));
        if (out.fd.ok()) return 0;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
        const int code = errno;
        tmpfileWorks_ = false;
        if (once_ && once_->first(LogKind::TempFile)) {
            const std::string why = errorText(code);
            logLine("no O_TMPFILE on %s: %s; named temporary files instead",
                    describeFs(ddir).c_str(), why.c_str());
        }
    } else if (!useProcLink_ && once_ && once_->first(LogKind::TempFile)) {
        logLine("no /proc/self/fd to name an O_TMPFILE file by: named temporary files instead");
    }
    for (;;) {
        out.name = tempName();
        out.fd.reset(::openat(ddir, out.name.c_str(), O_CREAT | O_EXCL | access | O_CLOEXEC, 0600));
        if (out.fd.ok()) return 0;
        if (errno != EEXIST) return errno;
    }
}

int ByteCopier::linkAnonymous(int fd, int ddir, const std::string& name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, proc, ddir, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int ByteCopier::commit(TempFile& t, int ddir, const std::string& dname) {
    int err = 0;
    if (t.name.empty()) {
        // Anonymous O_TMPFILE: give it a name only now that it is whole.
        err = linkAnonymous(t.fd.get(), ddir, dname);
        const int closed = t.fd.close();
        if (!err && closed) {
            err = closed;
            ::unlinkat(ddir, dname.c_str(), 0);
        }
        return err;
    }
    err = t.fd.close();
    bool renamed = false;
    if (!err) {
        err = claimName(ddir, t.name, ddir, dname, false, once_,
                        "new files take their names by a hard link or an exclusive create");
        renamed = err == 0;
    }
    if (!renamed) ::unlinkat(ddir, t.name.c_str(), 0);
    t.name.clear();
    return err;
}

int ByteCopier::commitAside(TempFile& t, int ddir, std::string& visible) {
    if (t.name.empty()) {
        for (int err = EEXIST; err == EEXIST;) {
            visible = tempName();
            err = linkAnonymous(t.fd.get(), ddir, visible);
            if (err && err != EEXIST) {
                t.fd.reset();
                return err;
            }
        }
    } else {
        visible = std::exchange(t.name, std::string());
    }
    if (const int err = t.fd.close()) {
        ::unlinkat(ddir, visible.c_str(), 0);
        return err;
    }
    return 0;
}

void ByteCopier::discard(TempFile& t, int ddir) {
    if (!t.name.empty()) ::unlinkat(ddir, t.name.c_str(), 0);
    t.name.clear();
    t.fd.reset();
}

bool writeCopy(ByteCopier& copier, int sdir, const std::string& sname, const struct stat& sst0,
               int ddir, dev_t ddev, bool follow, const ChunkDone& chunk, WrittenCopy& w,
               CopyFailure& why) {
    why = {};
    // Never blocks on a pipe swapped in meanwhile, and must be the file examined.
    Fd in(::openat(sdir, sname.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat sst;
    if (!in.ok() || ::fstat(in.get(), &sst) != 0) return why.code = errno, false;
    if (!S_ISREG(sst.st_mode) || !sameFile(sst, sst0)) return why.kind = ErrorKind::Changed, false;
    // New content is written where no one can see it and takes its name only when whole.
    if ((why.code = copier.openTemp(ddir, w.out))) return false;
    int err;
    try {
        if (copier.verifies()) copier.startHash(w.out.fd.get(), follow);
        err = copier.copyWhole(in.get(), w.out.fd.get(), ddev, sst, why.copied, chunk);
    } catch (const Stop&) {
        copier.abandonReadBack();
        ByteCopier::discard(w.out, ddir);
        throw;
    }
    if (err) {
        copier.abandonReadBack();
        ByteCopier::discard(w.out, ddir);
        return why.code = err, false;
    }
    w.in = std::move(in);
    return true;
}

bool finishCopy(ByteCopier& copier, WrittenCopy& w, int checked, int ddir, const std::string& dname,
                std::string* aside, bool writeback, CopyFailure& why) {
    int err = checked;
    if (err == kNotVerified) {
        ByteCopier::discard(w.out, ddir);
        why.kind = ErrorKind::VerifyFailed;
        return false;
    }
    const int out = w.out.fd.get();
    // Only now: reading the copy back must not touch its times.
    if (!err) err = copyModeAndTimes(out, why.copied, why.missing);
    if (!err) err = copyXattrs(w.in.get(), out, why.missing);
    if (!err && writeback)
        ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE); // a hint: errors show at the sync
    if (!err)
        err = aside ? copier.commitAside(w.out, ddir, *aside) : copier.commit(w.out, ddir, dname);
    if (err) ByteCopier::discard(w.out, ddir);
    why.code = err;
    return err == 0;
}

bool copyFileTo(ByteCopier& copier, int sdir, const std::string& sname, const struct stat& sst0,
                int ddir, const std::string& dname, std::string* aside, bool writeback,
                const ChunkDone& chunk, CopyFailure& why, dev_t ddev) {
    WrittenCopy w;
    if (!writeCopy(copier, sdir, sname, sst0, ddir, ddev, true, chunk, w, why)) return false;
    int checked = 0;
    try {
        if (copier.verifies()) checked = copier.verify(w.out.fd.get(), why.copied, chunk);
    } catch (const Stop&) {
        ByteCopier::discard(w.out, ddir);
        throw;
    }
    return finishCopy(copier, w, checked, ddir, dname, aside, writeback, why);
}

int copyModeAndTimes(int out, const struct stat& sst, std::uint32_t& missing) {
    static const uid_t euid = ::geteuid();
    static const gid_t egid = ::getegid();
    mode_t mode = sst.st_mode & 07777;
    // The owner as cp -a keeps it when run by the administrator, and as cp does
    // otherwise; a set-id bit never outlives its owner or group.
    if (sst.st_uid != euid || sst.st_gid != egid) {
        if (sys().fchown(out, sst.st_uid, sst.st_gid) != 0) {
            const int err = errno;
            if (!unsupported(err)) return err;
            if (euid == 0 || err != EPERM) missing |= MissingOwners;
            if (sst.st_gid != egid) sys().fchown(out, static_cast<uid_t>(-1), sst.st_gid);
            mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
        }
    }
    if (sys().fchmod(out, mode) != 0) {
        if (!unsupported(errno)) return errno;
        missing |= MissingModes;
    }
    const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
    if (sys().futimens(out, times) != 0) {
        if (!unsupported(errno)) return errno;
        missing |= MissingTimes;
    }
    return 0;
}

int copyXattrs(int in, int out, std::uint32_t& missing) {
    const ssize_t size = ::flistxattr(in, nullptr, 0);
    if (size <= 0) return 0;
    std::vector<char> names(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(in, names.data(), names.size());
    std::vector<char> value;
    for (ssize_t at = 0; at < got;) {
        const char* name = names.data() + at;
        at += static_cast<ssize_t>(std::strlen(name)) + 1;
        const ssize_t len = ::fgetxattr(in, name, nullptr, 0);
        if (len < 0) continue;
        value.resize(static_cast<std::size_t>(len) + 1);
        const ssize_t n = ::fgetxattr(in, name, value.data(), value.size());
        if (n < 0 || sys().fsetxattr(out, name, value.data(), static_cast<std::size_t>(n), 0) == 0)
            continue;
        // Kept where the destination takes them, like cp -a; a name only the
        // administrator may set is left out.
        if (errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS) {
            missing |= MissingXattrs;
            return 0;
        }
        if (errno != EPERM && errno != EACCES && errno != EINVAL) return errno;
    }
    return 0;
}

int readLink(int dir, const std::string& name, std::size_t size, std::string& target) {
    std::vector<char> buf(size + 2);
    for (;;) {
        const ssize_t n = ::readlinkat(dir, name.c_str(), buf.data(), buf.size());
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) < buf.size()) {
            target.assign(buf.data(), static_cast<std::size_t>(n));
            return 0;
        }
        buf.resize(buf.size() * 2);
    }
}

} // namespace qb::engine
