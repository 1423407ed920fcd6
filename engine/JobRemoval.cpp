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
void Job::removeCopiedSource(int sdir, const std::string& sname, const std::string& path,
                             const std::string& dest, const struct stat& copied) {
    if (!durable()) return removeSource(sdir, sname, path, dest, copied);
    queueRemoval(sdir, sname, path, dest, &copied);
}

// A moved folder's source goes after its files; one still holding what was declined,
// skipped or left by a failure stays.
void Job::removeSourceFolder(int sdir, const std::string& sname) {
    if (durable()) return queueRemoval(sdir, sname, spath_, dpath_, nullptr);
    if (::unlinkat(sdir, sname.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY && errno != EEXIST)
        fail(ErrorKind::RemoveFolder, spath_, errno);
}

void Job::queueRemoval(int sdir, const std::string& sname, const std::string& path,
                       const std::string& dest, const struct stat* copied) {
    Fd dir(::fcntl(sdir, F_DUPFD_CLOEXEC, 0));
    if (!dir.ok() && (errno == EMFILE || errno == ENFILE)) {
        // Out of descriptors: the groups held so far are settled first, freeing theirs.
        flushRemovals(true);
        dir.reset(::fcntl(sdir, F_DUPFD_CLOEXEC, 0));
    }
    if (!dir.ok()) return fail(copied ? ErrorKind::Remove : ErrorKind::RemoveFolder, path, errno);
    Removal r{std::move(dir), sname, path, dest, !copied, {}};
    if (copied) r.copied = *copied;
    removals_.push_back(std::move(r));
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
        if (d.dirty) dirs.emplace_back(::fcntl(d.fd, F_DUPFD_CLOEXEC, 0));
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
    if (err && once_.first(LogKind::Sync))
        logLine("a durable move's sync failed: %s; the %zu sources of its group stay",
                errorText(err).c_str(), now.size());
    for (const Removal& r : now) {
        if (r.isDir) { // after its files; one not on the disk for sure keeps its folder
            if (!err && ::unlinkat(r.dir.get(), r.name.c_str(), AT_REMOVEDIR) != 0 &&
                errno != ENOTEMPTY && errno != EEXIST)
                fail(ErrorKind::RemoveFolder, r.path, errno);
        } else if (err) { // not on the disk for sure: the source stays
            fail(ErrorKind::Transfer, r.path, err, r.dest);
        } else {
            removeSource(r.dir.get(), r.name, r.path, r.dest, r.copied);
        }
    }
}

Job::SyncScope::SyncScope(Job& j, int fd) : j_(j) {
    if (j.durable()) j.syncDirs_.push_back({fd, false});
}

// A folder the walk leaves is synced with the group that needs it.
Job::SyncScope::~SyncScope() {
    if (!j_.durable()) return;
    SyncDir& d = j_.syncDirs_.back();
    if (d.dirty && !j_.removals_.empty())
        j_.groupDirs_.emplace_back(::fcntl(d.fd, F_DUPFD_CLOEXEC, 0));
    j_.syncDirs_.pop_back();
}

} // namespace qb::engine
