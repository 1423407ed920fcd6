// The job's removal of moved sources: at once, or for a durable move in synced groups.
#include "engine/Job.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>

namespace qb::engine {

namespace {

// Whether the source is still the file whose copy was made: the same file, the same
// size and times (a change of its link count, as by moving its other names, aside).
bool unchanged(int dir, const std::string& name, const struct stat& c) {
    struct stat now;
    if (::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return true; // said below
    return sameFile(now, c) && now.st_size == c.st_size && now.st_mtim.tv_sec == c.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == c.st_mtim.tv_nsec &&
           ((now.st_ctim.tv_sec == c.st_ctim.tv_sec && now.st_ctim.tv_nsec == c.st_ctim.tv_nsec) ||
            now.st_nlink != c.st_nlink);
}

} // namespace

void Job::removeSource(int sdir, const std::string& sname, const std::string& path,
                       const std::string& dest, const struct stat& copied) {
    if (!unchanged(sdir, sname, copied)) return fail(ErrorKind::SourceChanged, path, 0, dest);
    if (::unlinkat(sdir, sname.c_str(), 0) != 0) fail(ErrorKind::Remove, path, errno);
}

// The source of a copied entry goes once its copy is safe: at once, or for a durable
// move in groups, after the copies and the folders naming them are on the disk.
void Job::removeCopiedSource(const DirRef& sdir, const std::string& sname, const std::string& path,
                             const std::string& dest, const struct stat& copied) {
    if (durable()) return queueRemoval(sdir, sname, path, dest, &copied);
    const int at = dirs_.fd(*sdir);
    if (at < 0) return fail(ErrorKind::Remove, path, errno);
    removeSource(at, sname, path, dest, copied);
}

// A moved folder's source goes after its files; one still holding what was declined,
// skipped or left by a failure stays.
void Job::removeSourceFolder(const std::string& sname) {
    // The walk below may have released the current folder's handle: asked for anew.
    if (durable()) return queueRemoval(here().src, sname, spath_, dpath_, nullptr);
    const int at = dirs_.fd(*here().src);
    if (at < 0 ||
        (::unlinkat(at, sname.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY && errno != EEXIST))
        fail(ErrorKind::RemoveFolder, spath_, errno);
}

// The group holds its folders' records, not their handles: a deep tree's groups need
// no more descriptors than a shallow one's.
void Job::queueRemoval(const DirRef& sdir, const std::string& sname, const std::string& path,
                       const std::string& dest, const struct stat* copied) {
    Removal r{sdir, sname, path, dest, !copied, {}};
    if (copied) r.copied = *copied;
    removals_.push_back(std::move(r));
    if (removals_.size() >= kDurableMoveGroup || groupDirs_.size() >= kDurableMoveGroup)
        flushRemovals(false);
}

namespace {

// Puts what the walk wrote into `dirs` on the disk: the file system of each (the
// files' data and names), then each folder itself, since not every file system
// flushes the drive's cache for a file system sync. Returns 0 or errno.
int syncFolder(int fd, std::vector<dev_t>& synced) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    if (std::find(synced.begin(), synced.end(), st.st_dev) == synced.end()) {
        if (sys().syncfs(fd) != 0) return errno;
        synced.push_back(st.st_dev);
    }
    return sys().fsync(fd) != 0 ? errno : 0;
}

int syncFolders(const std::vector<Fd>& dirs) {
    std::vector<dev_t> synced;
    for (const Fd& fd : dirs) {
        if (const int err = syncFolder(fd.get(), synced)) return err;
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
    std::vector<DirRef> folders = std::move(groupDirs_);
    groupDirs_.clear();
    for (SyncDir& d : syncDirs_) {
        if (d.dirty) folders.push_back(d.dir);
        d.dirty = false;
    }
    // Up to groupHandles_ folders go to the sync with handles of their own; a deep
    // tree's further ones are synced here and now.
    std::vector<Fd> dirs;
    std::vector<dev_t> synced;
    int err = 0;
    for (const DirRef& f : folders) {
        const int fd = dirs_.fd(*f);
        Fd own(fd >= 0 && dirs.size() < groupHandles_ ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1);
        if (fd < 0)
            err = errno;
        else if (own.ok())
            dirs.push_back(std::move(own));
        else
            err = syncFolder(fd, synced);
        if (err) break;
    }
    // The disk writes this group while the walk copies the next one (in this thread
    // when no other can be started).
    syncing_.emplace(
        Syncing{std::async(std::launch::async | std::launch::deferred,
                           [d = std::move(dirs), err] { return err ? err : syncFolders(d); }),
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
    if (err && once_.first(LogKind::Sync))
        logLine("a durable move's sync failed: %s; the %zu sources of its group stay",
                errorText(err).c_str(), now.size());
    for (const Removal& r : now) {
        const int at = err ? -1 : dirs_.fd(*r.dir);
        if (r.isDir) { // after its files; one not on the disk for sure keeps its folder
            if (!err && (at < 0 || (::unlinkat(at, r.name.c_str(), AT_REMOVEDIR) != 0 &&
                                    errno != ENOTEMPTY && errno != EEXIST)))
                fail(ErrorKind::RemoveFolder, r.path, errno);
        } else if (err) { // not on the disk for sure: the source stays
            fail(ErrorKind::Transfer, r.path, err, r.dest);
        } else if (at < 0) {
            fail(ErrorKind::Remove, r.path, errno);
        } else {
            removeSource(at, r.name, r.path, r.dest, r.copied);
        }
    }
}

Job::SyncScope::SyncScope(Job& j, const DirRef& dir) : j_(j) {
    if (j.durable()) j.syncDirs_.push_back({dir, false});
}

// A folder the walk leaves is synced with the group that needs it.
Job::SyncScope::~SyncScope() {
    if (!j_.durable()) return;
    SyncDir& d = j_.syncDirs_.back();
    if (d.dirty && !j_.removals_.empty()) j_.groupDirs_.push_back(d.dir);
    j_.syncDirs_.pop_back();
}

} // namespace qb::engine
