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
            // Read back, the bytes are counted already: only the phase is news.
            prog_.verifying = copier_.readingBack();
            if (!prog_.verifying) prog_.bytesDone = before + pos;
            report();
            checkCancel();
        },
        why);
    prog_.verifying = false;
    result_.missing |= why.missing;
    if (!ok) return fail(why.kind, spath_, why.code, dpath_), false;
    if (copier_.verifies()) result_.verified++;
    copied_ = why.copied;
    if (replace && !swapIn(ddir, aside, dname)) return false;
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    if (sst.st_nlink > 1 && dpath_.size() > destFolder_.size())
        linkedTo_[idOf(sst)] = {dpath_.substr(destFolder_.size() + 1), sst.st_size,
                                sst.st_mtim.tv_sec};
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
    copied_ = sst;
    return true;
}

// A second name of a file already copied by this job becomes a second name of the copy.
bool Job::linkToEarlierCopy(const struct stat& sst, int ddir, const std::string& dname) {
    // (A moved file's other names may be its last by now: the count has dropped.)
    if (!S_ISREG(sst.st_mode)) return false;
    const auto it = linkedTo_.find(idOf(sst));
    if (it == linkedTo_.end() || it->second.size != sst.st_size ||
        it->second.mtime != sst.st_mtim.tv_sec)
        return false;
    // By its folder, one name at a time: the whole path may be longer than PATH_MAX.
    std::string leaf;
    const Fd at(openParent(destFd_, it->second.path, leaf));
    if (!at.ok()) return false;
    if (sys().linkat(at.get(), leaf.c_str(), ddir, dname.c_str(), 0) != 0) {
        if (unsupported(errno) || errno == EMLINK) result_.missing |= MissingLinks;
        return false;
    }
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    return true;
}

// Puts the finished `temp` in the place of `dname`; what was there goes to the Trash.
// False when it failed (reported; the temporary is gone unless it holds the old entry).
bool Job::swapIn(int ddir, const std::string& temp, const std::string& dname) {
    int why = 0;
    const int r = replaceEntry(ddir, temp, ddir, dname, why);
    if (r == 0) return true;
    if (r != kKeptAside) ::unlinkat(ddir, temp.c_str(), 0); // before a question may stop us
    if (r > 0) fail(ErrorKind::Transfer, spath_, r, dpath_);
    if (r < 0) fail(ErrorKind::NotReplaced, dpath_, why, spath_);
    return false;
}

// Puts (fdir, fname) in the place of (ddir, dname) on the same file system. The old
// entry goes only once the new one has its name, and only into the Trash (or, where
// none could take it and the user chose so when told, away): 0. Where the Trash refuses it
// (`why`), both go back: kNotReplaced, or kKeptAside when the old entry had to stay
// under `fname`. Another errno: nothing changed. The caller reports.
int Job::replaceEntry(int fdir, const std::string& fname, int ddir, const std::string& dname,
                      int& why) {
    const std::string path = originalPath();
    const auto notReplaced = [&](int code, int r) {
        why = code;
        return r;
    };
    if (sys().renameat2(fdir, fname.c_str(), ddir, dname.c_str(), RENAME_EXCHANGE) == 0) {
        const int err = disposeReplaced(fdir, fname, path);
        if (!err) return 0;
        const bool back =
            sys().renameat2(fdir, fname.c_str(), ddir, dname.c_str(), RENAME_EXCHANGE) == 0;
        return notReplaced(err, back ? kNotReplaced : kKeptAside);
    }
    int err = errno;
    struct stat st;
    if (err == ENOENT && ::fstatat(ddir, dname.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return claimName(fdir, fname, ddir, dname, false, &once_, "new entries take free names");
    if (err != EINVAL) return err;
    // No exchange here: the old entry steps aside until its successor has the name.
    logRenameFallback(&once_, true, ddir, "the replaced entry steps aside until the new one is in");
    const char* how = "entries take their names by a hard link or an exclusive create";
    const std::string aside = tempName();
    if ((err = claimName(ddir, dname, ddir, aside, false, &once_, how))) return err;
    if ((err = claimName(fdir, fname, ddir, dname, false, &once_, how))) {
        // Back, or (its name taken meanwhile) on to the Trash the user sent it to.
        if (claimName(ddir, aside, ddir, dname, false, &once_, how) == 0 ||
            disposeReplaced(ddir, aside, path) == 0)
            return err;
        return notReplaced(err, kKeptAside);
    }
    if (!(err = disposeReplaced(ddir, aside, path))) return 0;
    if (claimName(ddir, dname, fdir, fname, false, &once_, how) != 0)
        return notReplaced(err, kKeptAside);
    claimName(ddir, aside, ddir, dname, false, &once_, how);
    return notReplaced(err, kNotReplaced);
}

int Job::replaceRefused(int dir) {
    if (!opts_.useTrash || destroyThis_ || destroyAll_ || trash_.available(dir)) return 0;
    if (once_.first(LogKind::Trash))
        logLine("no Trash takes %s, so it stays and is not replaced (nor are the job's other "
                "entries no Trash takes): %s",
                dpath_.c_str(), trash_.whyNone(dir).c_str());
    const int code = trash_.whyNoneCode(dir);
    return code ? code : EXDEV;
}

// A replaced file or link: to the Trash, or where the user chose it (no Trash, or
// a question that said none takes it), deleted (and counted). Never deleted
// otherwise: a full disk or a missing Trash must not cost the old entry. Returns 0,
// or errno when it stays where it is.
int Job::disposeReplaced(int dir, const std::string& name, const std::string& path) {
    if (opts_.useTrash && trash_.available(dir)) {
        Trash::Placed where;
        const int err = trash_.put(dir, name, path, &where);
        if (err == 0) {
            result_.trashed++;
            obs_.entryTrashed(path, where.file, where.info);
        }
        if (err != 0 && once_.first(LogKind::Trash))
            logLine("the Trash did not take %s, so it stays: %s", path.c_str(),
                    errorText(err).c_str());
        return err;
    }
    if (const int err = replaceRefused(dir)) return err;
    if (opts_.useTrash && once_.first(LogKind::Trash))
        logLine("no Trash took %s, so it is deleted, as the user chose when told so: %s",
                path.c_str(), trash_.whyNone(dir).c_str());
    if (::unlinkat(dir, name.c_str(), 0) != 0) return errno;
    result_.destroyed++;
    return 0;
}

} // namespace qb::engine
