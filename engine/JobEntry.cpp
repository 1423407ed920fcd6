// The job's single entries: files, links and pipes copied, swapped in, replaced.
#include "engine/Job.h"

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

bool Job::copyRegular(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname, bool replace) {
    const std::uint64_t before = prog_.bytesDone;
    struct Account {
        Progress& p;
        std::uint64_t end;
        ~Account() { p.bytesDone = end; }
    } account{prog_, before + static_cast<std::uint64_t>(sst.st_size)};
    std::string aside;
    CopyFailure why;
    const bool ok = copyFileTo(
        copier_, sdir, sname, sst, ddir, dname, replace ? &aside : nullptr, durable(),
        [&](std::uint64_t pos) {
            prog_.bytesDone = before + pos;
            report();
            checkCancel();
        },
        why);
    if (!ok) return fail(why.kind, spath_, why.code, dpath_), false;
    if (replace && !swapIn(ddir, aside, dname)) return false;
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    if (sst.st_nlink > 1) linkedTo_[idOf(sst)] = {dpath_, sst.st_size, sst.st_mtim.tv_sec};
    return true;
}

// Symbolic links (copied as links, never followed) and named pipes.
bool Job::copySpecial(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname, bool replace) {
    std::string target;
    if (S_ISLNK(sst.st_mode)) {
        if (const int err = readLink(sdir, sname, static_cast<std::size_t>(sst.st_size), target))
            return fail(ErrorKind::Transfer, spath_, err, dpath_), false;
    } else if (!S_ISFIFO(sst.st_mode)) {
        return fail(ErrorKind::Unsupported, spath_, ENOTSUP), false;
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
    if (r != 0) return fail(ErrorKind::Transfer, spath_, errno, dpath_), false;
    const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
    ::utimensat(ddir, at.c_str(), times, AT_SYMLINK_NOFOLLOW);
    // Best effort, as the times are: the pipe exists with the umask's mode otherwise.
    if (S_ISFIFO(sst.st_mode) && ::fchmodat(ddir, at.c_str(), sst.st_mode & 07777, 0) != 0) {
    }
    if (replace && !swapIn(ddir, at, dname)) return false;
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    return true;
}

// A second name of a file already copied by this job becomes a second name of the copy.
bool Job::linkToEarlierCopy(const struct stat& sst, int ddir, const std::string& dname) {
    // (A moved file's other names may be its last by now: the count has dropped.)
    if (!S_ISREG(sst.st_mode)) return false;
    const auto it = linkedTo_.find(idOf(sst));
    if (it == linkedTo_.end() || it->second.size != sst.st_size ||
        it->second.mtime != sst.st_mtim.tv_sec ||
        ::linkat(AT_FDCWD, it->second.path.c_str(), ddir, dname.c_str(), 0) != 0)
        return false;
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    return true;
}

// Puts the finished `temp` in the place of `dname` in one step; what was there goes
// to the Trash. False when it failed (reported; the temporary is gone).
bool Job::swapIn(int ddir, const std::string& temp, const std::string& dname) {
    if (sys().renameat2(ddir, temp.c_str(), ddir, dname.c_str(), RENAME_EXCHANGE) == 0) {
        disposeReplaced(ddir, temp, originalPath());
        return true;
    }
    int err = errno;
    if (err == EINVAL) { // no exchange here: the old one goes first
        logRenameFallback(&once_, true, ddir, "the replaced entry goes before its successor comes");
        disposeReplaced(ddir, dname, originalPath());
        err = ENOENT;
    }
    if (err == ENOENT) {
        err = sys().renameat2(ddir, temp.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE) == 0
                  ? 0
                  : errno;
        if (err == EINVAL) { // nor RENAME_NOREPLACE: a new link never replaces either
            logRenameFallback(&once_, false, ddir, "new entries take their names by a hard link");
            err = ::linkat(ddir, temp.c_str(), ddir, dname.c_str(), 0) == 0 ? 0 : errno;
            if (!err) ::unlinkat(ddir, temp.c_str(), 0);
        }
    }
    if (err) {
        ::unlinkat(ddir, temp.c_str(), 0);
        fail(ErrorKind::Transfer, spath_, err, dpath_);
    }
    return err == 0;
}

// A replaced file or link: to the Trash where one takes it, else gone (and counted).
void Job::disposeReplaced(int dir, const std::string& name, const std::string& path) {
    if (opts_.useTrash) {
        const int err = trash_.available(dir) ? trash_.put(dir, name, path) : -1;
        if (err == 0) {
            result_.trashed++;
            return;
        }
        if (once_.first(LogKind::Trash))
            logLine("no Trash took %s, so it is deleted (and so are the job's other replaced "
                    "entries no Trash takes): %s",
                    path.c_str(), err < 0 ? trash_.whyNone(dir).c_str() : errorText(err).c_str());
    }
    if (::unlinkat(dir, name.c_str(), 0) == 0) {
        result_.destroyed++;
        return;
    }
    fail(ErrorKind::Remove, path, errno);
}

} // namespace qb::engine
