// The job's start: the checks and refusals before any change, failures, the outcome.
#include "engine/Job.h"
#include "engine/Pause.h"
#include "engine/TreeCounter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>

#include <fcntl.h>

namespace qb::engine {

void Job::checkCancel() {
    if (opts_.pause) opts_.pause->waitWhilePaused(cancel_);
    if (cancel_.load(std::memory_order_relaxed)) throw Stop{};
}

void Job::fail(ErrorKind kind, const std::string& path, int code, const std::string& other,
               bool canSkip) {
    if (!result_.firstError) result_.firstError = OpError{kind, path, other, code, canSkip};
    result_.failures++;
    if ((skipAll_ && canSkip) || quiet_) return;
    // The files handed out before this one are done (or reported) first, so a question
    // finds everything before it settled, as without workers.
    collectPooled(true);
    const OpError e{kind, path, other, code, canSkip};
    const ErrorAnswer a = obs_.error(e);
    if (!canSkip) return;
    if (a == ErrorAnswer::SkipAll) skipAll_ = true;
    if (a == ErrorAnswer::Cancel) throw Stop{};
}

OperationResult Job::run(const std::string& source, const std::string& destFolder) {
    try {
        start(source, destFolder);
    } catch (const Stop&) {
        cancelled_ = true; // only the user stops a job
        settlePool();
    } catch (const std::exception& e) {
        result_.failures++;
        settlePool();
        logLine("%s stopped by an unexpected error: %s", source.c_str(), e.what());
    } catch (...) {
        result_.failures++;
        settlePool();
    }
    // Copies already made and synced still lose their sources: a cancelled move
    // leaves each file in one place.
    try {
        flushRemovals(true);
    } catch (...) {
    }
    if (cancelled_)
        result_.outcome = Outcome::Cancelled;
    else if (result_.failures > 0)
        result_.outcome = Outcome::Failed;
    else if (topDeclined_)
        result_.outcome = Outcome::Skipped;
    else
        result_.outcome = Outcome::Done;
    return result_;
}

void Job::start(const std::string& sourceIn, const std::string& destFolder) {
    std::string source = sourceIn;
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    const auto slash = source.rfind('/');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : source.substr(0, slash);
    prog_.item = name;
    if (name.empty() || name == "." || name == ".." || source == "/")
        return fail(ErrorKind::NotAnItem, source, EINVAL, {}, false);
    Fd dest(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dest.ok()) return fail(ErrorKind::DestNotFolder, destFolder, errno, {}, false);
    Fd sdir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat sst;
    if (!sdir.ok() || ::fstatat(sdir.get(), name.c_str(), &sst, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(ErrorKind::SourceMissing, source, errno, {}, false);
    destFolder_ = destFolder;
    if (char* real = ::realpath(destFolder.c_str(), nullptr)) {
        destReal_ = real;
        std::free(real);
    }
    destAncestors_ = ancestors(dest.get());
    if (refusedBeforeStart(sdir.get(), name, sst, dest.get(), source, destFolder)) return;
    spath_ = parent;
    dpath_ = destFolder;
    destFd_ = dest.get();

    struct stat ddst;
    const bool sameFs = ::fstat(dest.get(), &ddst) == 0 && ddst.st_dev == sst.st_dev;
    unsigned backlog = kBacklogPerWorker;
    const unsigned workers =
        shareDescriptors(workersFor(sst.st_dev, ddst.st_dev, opts_.workers), backlog);
    root_ = {DirCache::root(std::move(sdir)), DirCache::root(std::move(dest))};
    if (!root_.src || !root_.dst) return fail(ErrorKind::SourceMissing, source, errno, {}, false);
    pool_ = std::make_unique<CopyPool>(workers, cancel_, durable(), &once_, opts_.pause, backlog);
    pool_->setVerify(opts_.verify);
    copier_.setVerify(opts_.verify);
    if (logging())
        logLine("%s of %s into %s: %u copy workers%s", op_ == Op::Move ? "move" : "copy",
                source.c_str(), destFolder.c_str(), workers, durable() ? ", durable" : "");
    if ((op_ == Op::Copy || !sameFs) && !countAndGuard(name, sst, source)) return;
    report();
    const SyncScope sync(*this, root_.dst);
    transfer(root_.src->fd->get(), name, sst, destFd_, destName(name), true, false);
    flushRemovals(true);
}

// Shares what the file limit leaves among the walk's folders, the sync groups' and
// the rest: each copy worker's two or three files, the walk's own, the Trash's.
// Returns the workers there is room for: at most a quarter of it goes to them, and
// sets the copies each may have queued (a queued copy holds its two folders).
unsigned Job::shareDescriptors(unsigned workers, unsigned& backlog) {
    const std::size_t free = DirCache::freeDescriptors();
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, free / 12));
    backlog = free >= 1024 ? kBacklogPerWorker : kShortBacklogPerWorker;
    // A verifying worker holds more: the copies waiting for their read-back.
    const std::size_t reading = opts_.verify ? 4 * std::size_t{readBackDepth(backlog)} + 1 : 0;
    const std::size_t others = 16 + (3 + 2 * std::size_t{backlog} + reading) * workers;
    const std::size_t rest = free > others ? free - others : 0;
    dirs_.setBudget(std::min<std::size_t>(rest * 2 / 3, 4096));
    groupHandles_ = std::clamp<std::size_t>(rest / 3, 2, kDurableMoveGroup);
    if (rest / 3 < kDurableMoveGroup && logging())
        logLine("%zu descriptors free: the walk keeps %zu folders open, a sync group %zu", free,
                dirs_.budget(), groupHandles_);
    return workers;
}

// The refusals that leave everything as it is. True when refused.
bool Job::refusedBeforeStart(int sdir, const std::string& name, const struct stat& sst, int dest,
                             const std::string& source, const std::string& destFolder) {
    // A folder cannot go into itself or one of its own subfolders.
    if (S_ISDIR(sst.st_mode) && std::find(destAncestors_.begin(), destAncestors_.end(),
                                          idOf(sst)) != destAncestors_.end()) {
        fail(ErrorKind::IntoItself, source, 0, destFolder, false);
        return true;
    }
    struct stat dst, sdst;
    if (::fstatat(dest, destName(name).c_str(), &dst, AT_SYMLINK_NOFOLLOW) != 0) return false;
    // The very entry, not another name of the same file: that is another item.
    if (destName(name) == name && ::fstat(sdir, &sdst) == 0 &&
        idOf(sdst) == destAncestors_.front()) {
        if (policy_ != Policy::AutoRename) {
            fail(ErrorKind::ReplaceItself, source, 0, {}, false);
            return true;
        }
        return op_ == Op::Move; // already where it should go
    }
    // Merging into a folder that holds the item would overwrite the item with itself.
    if (policy_ != Policy::AutoRename && S_ISDIR(sst.st_mode) && S_ISDIR(dst.st_mode)) {
        const std::vector<FileId> up = ancestors(sdir);
        if (std::find(up.begin(), up.end(), idOf(dst)) != up.end()) {
            fail(ErrorKind::ContainsItem, source, 0, joinPath(destFolder, name), false);
            return true;
        }
    }
    return false;
}

// Counts what a copy has to do, and refuses a destination that lies inside the
// tree by another way in (a second mount of one of its folders). False when refused.
bool Job::countAndGuard(const std::string& name, const struct stat& sst, const std::string& path) {
    counted_ = true;
    // A large tree takes a while to count: the progress window names the item
    // meanwhile instead of showing nothing.
    prog_.counting = true;
    report();
    TreeCounter counter(prog_, cancel_, dirs_, opts_.pause);
    counter.count(here().src, name, sst);
    prog_.counting = false;
    for (const FileId& up : destAncestors_) {
        if (counter.folders().count(up)) {
            fail(ErrorKind::IntoItself, path, 0, destFolder_, false);
            return false;
        }
    }
    return true;
}

ItemInfo Job::describe(int dir, const std::string& name, const std::string& path,
                       const struct stat& st) const {
    ItemInfo i = infoOf(path, st);
    if (S_ISLNK(st.st_mode)) {
        i.isLink = true;
        readLink(dir, name, static_cast<std::size_t>(st.st_size), i.linkTarget);
        struct stat target;
        const bool found = ::fstatat(dir, name.c_str(), &target, 0) == 0;
        i.size = found && S_ISREG(target.st_mode) ? static_cast<std::uint64_t>(target.st_size) : 0;
    }
    return i;
}

std::string Job::originalPath() const {
    if (destReal_.empty() || dpath_.compare(0, destFolder_.size(), destFolder_) != 0) return dpath_;
    std::string rest = dpath_.substr(destFolder_.size());
    if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
    return joinPath(destReal_, rest);
}

} // namespace qb::engine
