#include "drop/EngineJob.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

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
        disposeReplaced(ddir, dname, originalPath());
        err = ENOENT;
    }
    if (err == ENOENT) {
        err = sys().renameat2(ddir, temp.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE) == 0
                  ? 0
                  : errno;
        if (err == EINVAL) { // nor RENAME_NOREPLACE: a new link never replaces either
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
    if (opts_.useTrash && trash_.available(dir) && trash_.put(dir, name, path) == 0) {
        result_.trashed++;
        return;
    }
    if (::unlinkat(dir, name.c_str(), 0) == 0) {
        result_.destroyed++;
        return;
    }
    fail(ErrorKind::Remove, path, errno);
}

void Job::removeSource(int sdir, const std::string& sname, const std::string& path) {
    if (::unlinkat(sdir, sname.c_str(), 0) != 0) fail(ErrorKind::Remove, path, errno);
}

// The source of a copied entry goes once its copy is safe: at once, or for a durable
// move in groups, after the copies and the folders naming them are on the disk.
void Job::removeCopiedSource(int sdir, const std::string& sname, const std::string& path,
                             const std::string& dest) {
    if (!durable()) return removeSource(sdir, sname, path);
    queueRemoval(sdir, sname, path, dest, false);
}

// A moved folder's source goes after its files; one still holding what was declined,
// skipped or left by a failure stays.
void Job::removeSourceFolder(int sdir, const std::string& sname) {
    if (durable()) return queueRemoval(sdir, sname, spath_, dpath_, true);
    if (::unlinkat(sdir, sname.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY && errno != EEXIST)
        fail(ErrorKind::RemoveFolder, spath_, errno);
}

void Job::queueRemoval(int sdir, const std::string& sname, const std::string& path,
                       const std::string& dest, bool isDir) {
    removals_.push_back({Fd(::dup(sdir)), sname, path, dest, isDir});
    if (removals_.size() >= kDurableMoveGroup || groupDirs_.size() >= kDurableMoveGroup)
        flushRemovals(false);
}

namespace {

// Puts what the walk wrote into `dirs` on the disk: the file system of each (the
// files' data and names), then each folder itself, since not every file system
// flushes the drive's cache for a file system sync. Returns 0 or errno.
int syncFolders(const std::vector<Fd>& dirs) {
    std::vector<dev_t> synced;
    for (const Fd& fd : dirs) {
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) return errno;
        if (std::find(synced.begin(), synced.end(), st.st_dev) == synced.end()) {
            if (sys().syncfs(fd.get()) != 0) return errno;
            synced.push_back(st.st_dev);
        }
        if (sys().fsync(fd.get()) != 0) return errno;
    }
    return 0;
}

} // namespace

void Job::flushRemovals(bool wait) {
    finishSyncedGroup(true); // one group at a time in the sync
    if (removals_.empty()) {
        groupDirs_.clear(); // nothing waits for them
        return;
    }
    std::vector<Fd> dirs = std::move(groupDirs_);
    groupDirs_.clear();
    for (SyncDir& d : syncDirs_) {
        if (d.dirty) dirs.emplace_back(::dup(d.fd.get()));
        d.dirty = false;
    }
    // The disk writes this group while the walk copies the next one (in this thread
    // when no other can be started).
    syncing_.emplace(Syncing{std::async(std::launch::async | std::launch::deferred,
                                        [d = std::move(dirs)] { return syncFolders(d); }),
                             std::move(removals_)});
    removals_.clear();
    if (wait) finishSyncedGroup(true);
}

void Job::finishSyncedGroup(bool block) {
    using namespace std::chrono_literals;
    if (!syncing_ || (!block && syncing_->done.wait_for(0s) != std::future_status::ready)) return;
    const int err = syncing_->done.get();
    const std::vector<Removal> now = std::move(syncing_->removals);
    syncing_.reset();
    for (const Removal& r : now) {
        if (r.isDir) { // after its files; one not on the disk for sure keeps its folder
            if (!err && ::unlinkat(r.dir.get(), r.name.c_str(), AT_REMOVEDIR) != 0 &&
                errno != ENOTEMPTY && errno != EEXIST)
                fail(ErrorKind::RemoveFolder, r.path, errno);
        } else if (err) { // not on the disk for sure: the source stays
            fail(ErrorKind::Transfer, r.path, err, r.dest);
        } else if (::unlinkat(r.dir.get(), r.name.c_str(), 0) != 0) {
            fail(ErrorKind::Remove, r.path, errno);
        }
    }
}

Job::SyncScope::SyncScope(Job& j, int fd) : j_(j) {
    if (j.durable()) j.syncDirs_.push_back({Fd(::dup(fd)), false});
}

// A folder the walk leaves is synced with the group that needs it.
Job::SyncScope::~SyncScope() {
    if (!j_.durable()) return;
    SyncDir& d = j_.syncDirs_.back();
    if (d.dirty && !j_.removals_.empty()) j_.groupDirs_.push_back(std::move(d.fd));
    j_.syncDirs_.pop_back();
}

} // namespace qb::engine
