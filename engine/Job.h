// The job that runs one dropped item, in Job.cpp, JobWalk.cpp, JobEntry.cpp and JobRemoval.cpp.
#pragma once
// The checks before any change, the walk that puts every entry in place, the
// questions, the progress and the outcome.
#include "engine/CopyPool.h"
#include "engine/DirCache.h"
#include "engine/FileCopy.h"
#include "engine/Trash.h"

#include <atomic>
#include <deque>
#include <future>
#include <map>
#include <optional>
#include <set>

namespace qb::engine {

class Job {
public:
    Job(Op op, Policy policy, OperationObserver& obs, const std::atomic<bool>& cancel,
        const OperationOptions& options)
        : op_(op), policy_(policy), opts_(options), obs_(obs), cancel_(cancel), copier_(&once_),
          trash_(&once_) {}

    OperationResult run(const std::string& source, const std::string& destFolder);

private:
    // --- reporting and the checks before the work (Job.cpp) ---------------------
    void checkCancel();
    // Reports a failure; throws Stop when the user cancels a skippable one.
    void fail(ErrorKind kind, const std::string& path, int code, const std::string& other = {},
              bool canSkip = true);
    void report() { obs_.progress(prog_); }
    void fileDone() {
        prog_.filesDone++;
        report();
    }
    void start(const std::string& source, const std::string& destFolder);
    bool refusedBeforeStart(int sdir, const std::string& name, const struct stat& sst, int dest,
                            const std::string& source, const std::string& destFolder);
    // Counts (name) in the current source folder.
    bool countAndGuard(const std::string& name, const struct stat& sst, const std::string& path);
    unsigned shareDescriptors(unsigned workers, unsigned& backlog);
    ItemInfo describe(int dir, const std::string& name, const std::string& path,
                      const struct stat& st) const;

    // --- the walk (JobWalk.cpp) -------------------------------------------------
    void transfer(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                  const std::string& dname, bool topLevel, bool mergeAsked);
    bool clash(int sdir, const std::string& sname, const struct stat& sst, int ddir,
               const std::string& dname, const struct stat& dst, bool topLevel, bool mergeAsked);
    // Tells the record where the entry goes before anything changes.
    void placing(bool topLevel, const std::string& sname, const std::string& name);
    void placeBeside(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool topLevel);
    void declined(bool topLevel);
    // What becomes of an existing entry: replaced (or merged), left alone, or kept
    // beside the incoming one.
    enum class Choice { Take, Leave, Beside };
    Choice ask(bool merge, int sdir, const std::string& sname, const struct stat& sst, int ddir,
               const std::string& dname, const struct stat& dst);
    void place(int sdir, const std::string& sname, const struct stat& sst, int ddir,
               const std::string& dname);
    bool renameInto(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                    const std::string& dname);
    void replaceFile(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname);
    // Both go into (sname, dname) of the current folder, here().
    void merge(const std::string& sname, const std::string& dname, bool mergeAsked);
    void copyDir(const std::string& sname, const struct stat& sst, int ddir,
                 const std::string& dname);
    // A source folder and its destination.
    struct Folder {
        DirRef src, dst;
    };
    void walkChildren(const Folder& folder, bool fresh, bool mergeAsked);
    // The folders the walk is in: the `sdir` and `ddir` the entry functions are given.
    const Folder& here() const { return folder_ ? *folder_ : root_; }

    // --- copies handed to the workers (JobWalk.cpp) -----------------------------
    bool pooled(int sdir, const struct stat& sst) const;
    void submitCopy(const std::string& sname, const struct stat& sst, const std::string& dname);
    // Accounts for the copies the workers finished; with `all`, for every one handed out.
    void collectPooled(bool all);
    void pooledDone(const PooledCopy& c);
    // Leaving the walk early: the workers stop, what they finished is accounted for.
    void settlePool() noexcept;

    // --- single entries and replacing (JobEntry.cpp) ----------------------------
    bool copyNonDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                    const std::string& dname, bool replace);
    bool copyRegular(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool replace);
    bool copySpecial(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool replace);
    bool linkToEarlierCopy(const struct stat& sst, int ddir, const std::string& dname);
    bool swapIn(int ddir, const std::string& temp, const std::string& dname);
    static constexpr int kNotReplaced = -1, kKeptAside = -2;
    int replaceEntry(int fdir, const std::string& fname, int ddir, const std::string& dname,
                     int& why);
    int disposeReplaced(int dir, const std::string& name, const std::string& path);
    // 0 when a replaced entry in `dir` has somewhere to go: the Trash, or away where the
    // user chose that; else why not (an errno).
    int replaceRefused(int dir);

    // --- removing moved sources (JobRemoval.cpp) --------------------------------
    // Removes a moved source that is still what was copied (`copied`); else keeps it
    // and reports it.
    void removeSource(int sdir, const std::string& sname, const std::string& path,
                      const std::string& dest, const struct stat& copied);
    void removeCopiedSource(const DirRef& sdir, const std::string& sname, const std::string& path,
                            const std::string& dest, const struct stat& copied);
    // The folder `sname` in the current source folder.
    void removeSourceFolder(const std::string& sname);
    void queueRemoval(const DirRef& sdir, const std::string& sname, const std::string& path,
                      const std::string& dest, const struct stat* copied);
    // Hands the group to a sync of its own and goes on; with `wait`, until every
    // group is synced and its sources removed.
    void flushRemovals(bool wait);
    // Removes the sources of the group whose sync has finished (with `block`, waits).
    void finishSyncedGroup(bool block);

    bool durable() const { return op_ == Op::Move && opts_.durable; }
    // The name the dropped item takes in the destination folder.
    std::string destName(const std::string& name) const {
        return opts_.destName.empty() ? name : opts_.destName;
    }
    // The current destination path from the destination folder's real path (the Trash's record).
    std::string originalPath() const;

    // Current source and destination paths, grown and shrunk with the walk.
    struct PathScope {
        PathScope(Job& j, const std::string& s, const std::string& d)
            : j_(j), sl_(j.spath_.size()), dl_(j.dpath_.size()) {
            j.spath_ = joinPath(j.spath_, s);
            j.dpath_ = joinPath(j.dpath_, d);
        }
        ~PathScope() {
            j_.spath_.resize(sl_);
            j_.dpath_.resize(dl_);
        }
        PathScope(const PathScope&) = delete;
        PathScope& operator=(const PathScope&) = delete;
        Job& j_;
        std::size_t sl_, dl_;
    };
    // A destination folder the walk is in, to be synced before sources named in it go
    // (borrowed from the walk; copied only when a group needs it after the walk left).
    struct SyncDir {
        DirRef dir;
        bool dirty = false;
    };
    struct SyncScope {
        SyncScope(Job& j, const DirRef& dir);
        ~SyncScope();
        SyncScope(const SyncScope&) = delete;
        SyncScope& operator=(const SyncScope&) = delete;
        Job& j_;
    };
    struct Removal {
        DirRef dir;
        std::string name, path, dest;
        bool isDir;
        struct stat copied;
    };
    struct stat copied_ {}; // the last entry copyNonDir() copied, as it was copied

    Op op_;
    Policy policy_;
    OperationOptions opts_;
    OperationObserver& obs_;
    const std::atomic<bool>& cancel_;
    OperationResult result_;
    bool cancelled_ = false;
    bool topDeclined_ = false; // the user declined to replace or merge the item itself
    bool replaceAll_ = false, noToAll_ = false, skipAll_ = false, keepBothAll_ = false;
    // The user said yes to a question that told them no Trash takes the replaced entry:
    // it may go for good (this one entry, or all the job's entries).
    bool destroyThis_ = false, destroyAll_ = false;
    bool counted_ = false;
    bool quiet_ = false; // leaving after a cancel: failures are counted, not asked about
    LogOnce once_;       // what this job has logged already
    ByteCopier copier_;
    Trash trash_;
    Progress prog_;
    std::string spath_, dpath_;
    std::string destFolder_, destReal_;
    std::vector<FileId> destAncestors_;
    std::set<FileId> created_; // folders this job made
    struct Copied {
        std::string path;
        off_t size;
        time_t mtime;
    };
    // Files of several names: where their copy went, relative to the destination folder.
    std::map<FileId, Copied> linkedTo_;
    int destFd_ = -1; // the destination folder, open while the walk runs
    // The folders the walk opens, within what the file limit leaves; the dropped
    // item's folder and the destination folder are held throughout.
    DirCache dirs_;
    Folder root_;
    // At most this many folders' handles go with a group to its sync; any more are
    // synced by the walk itself.
    std::size_t groupHandles_ = kDurableMoveGroup;
    std::vector<SyncDir> syncDirs_;
    // A durable move's group: sources to remove once the folders with their copies
    // (those the walk is in, and those it left since) are on the disk.
    std::vector<Removal> removals_;
    std::vector<DirRef> groupDirs_;
    // The group before it, being synced while the walk goes on.
    struct Syncing {
        std::future<int> done; // 0 or errno
        std::vector<Removal> removals;
    };
    std::optional<Syncing> syncing_;
    std::unique_ptr<CopyPool> pool_;
    const Folder* folder_ = nullptr; // where place() may hand copies to the workers
    std::deque<PooledCopy> pending_; // finished by the workers, not yet accounted for
};

} // namespace qb::engine
