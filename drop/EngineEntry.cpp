#include "drop/EngineJob.h"

#include <cerrno>

#include <fcntl.h>

namespace qb::engine {

bool Job::copyNonDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool replace) {
    prog_.current = spath_;
    report();
    const bool ok = S_ISREG(sst.st_mode) ? copyRegular(sdir, sname, sst, ddir, dname, replace)
                                         : copySpecial(sdir, sname, sst, ddir, dname, replace);
    fileDone();
    return ok;
}

bool Job::copyRegular(int sdir, const std::string& sname, const struct stat& sst0, int ddir,
                      const std::string& dname, bool replace) {
    const std::uint64_t before = prog_.bytesDone;
    const auto size = static_cast<std::uint64_t>(sst0.st_size);
    struct Account {
        Progress& p;
        std::uint64_t end;
        ~Account() { p.bytesDone = end; }
    } account{prog_, before + size};

    Fd in(::openat(sdir, sname.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sst;
    if (!in.ok() || ::fstat(in.get(), &sst) != 0) {
        fail(ErrorKind::Transfer, spath_, errno, dpath_);
        return false;
    }
    account.end = before + static_cast<std::uint64_t>(sst.st_size);
    // New content is written where no one can see it and takes its name only when whole.
    TempFile out;
    if (const int err = copier_.openTemp(ddir, out)) {
        fail(ErrorKind::Transfer, spath_, err, dpath_);
        return false;
    }
    int err;
    try {
        err = copier_.copyData(in.get(), out.fd.get(), sst, [&](std::uint64_t pos) {
            prog_.bytesDone = before + pos;
            report();
            checkCancel();
        });
    } catch (const Stop&) {
        ByteCopier::discard(out, ddir);
        throw;
    }
    if (!err) err = copyModeAndTimes(out.fd.get(), sst);
    if (!err) err = copier_.commit(out, ddir, dname, replace);
    if (err) {
        ByteCopier::discard(out, ddir);
        fail(ErrorKind::Transfer, spath_, err, dpath_);
        return false;
    }
    return true;
}

// Symbolic links (copied as links, never followed) and named pipes.
bool Job::copySpecial(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname, bool replace) {
    std::string target;
    if (S_ISLNK(sst.st_mode)) {
        if (const int err = readLink(sdir, sname, static_cast<std::size_t>(sst.st_size), target)) {
            fail(ErrorKind::Transfer, spath_, err, dpath_);
            return false;
        }
    } else if (!S_ISFIFO(sst.st_mode)) {
        fail(ErrorKind::Unsupported, spath_, ENOTSUP);
        return false;
    }
    const auto create = [&](const std::string& at) {
        return S_ISLNK(sst.st_mode) ? ::symlinkat(target.c_str(), ddir, at.c_str())
                                    : ::mkfifoat(ddir, at.c_str(), sst.st_mode & 07777);
    };
    std::string at = dname;
    int r;
    do {
        if (replace) at = tempName();
        r = create(at);
    } while (r != 0 && replace && errno == EEXIST);
    if (r != 0) {
        fail(ErrorKind::Transfer, spath_, errno, dpath_);
        return false;
    }
    const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
    ::utimensat(ddir, at.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (S_ISFIFO(sst.st_mode)) ::fchmodat(ddir, at.c_str(), sst.st_mode & 07777, 0);
    if (replace && ::renameat(ddir, at.c_str(), ddir, dname.c_str()) != 0) {
        const int code = errno;
        ::unlinkat(ddir, at.c_str(), 0);
        fail(ErrorKind::Transfer, spath_, code, dpath_);
        return false;
    }
    return true;
}

} // namespace qb::engine
