#include "drop/EngineJob.h"
#include "drop/EngineTree.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>

namespace qb::engine {

void Job::checkCancel() {
    if (cancel_.load(std::memory_order_relaxed)) {
        cancelled_ = true;
        throw Stop{};
    }
}

void Job::fail(ErrorKind kind, const std::string& path, int code, const std::string& other,
               bool canSkip) {
    result_.failures++;
    const OpError e{kind, path, other, code, canSkip};
    if (obs_.error(e) == ErrorAnswer::Cancel && canSkip) throw Stop{};
}

OperationResult Job::run(const std::string& source, const std::string& destFolder) {
    try {
        start(source, destFolder);
    } catch (const Stop&) {
    } catch (...) {
        result_.failures++;
    }
    if (result_.failures > 0)
        result_.outcome = Outcome::Failed;
    else if (cancelled_)
        result_.outcome = Outcome::Cancelled;
    else
        result_.outcome = Outcome::Done;
    return result_;
}

bool Job::start(const std::string& sourceIn, const std::string& destFolder) {
    std::string source = sourceIn;
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    const auto slash = source.rfind('/');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : source.substr(0, slash);
    prog_.item = name;
    if (name.empty() || name == "." || name == ".." || source == "/") {
        fail(ErrorKind::NotAnItem, source, EINVAL, {}, false);
        return false;
    }
    Fd dest(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dest.ok()) {
        fail(ErrorKind::DestNotFolder, destFolder, errno, {}, false);
        return false;
    }
    Fd sdir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat sst;
    if (!sdir.ok() || ::fstatat(sdir.get(), name.c_str(), &sst, AT_SYMLINK_NOFOLLOW) != 0) {
        fail(ErrorKind::SourceMissing, source, errno, {}, false);
        return false;
    }
    if (refusedBeforeStart(sdir.get(), name, sst, dest.get(), source, destFolder)) return false;
    spath_ = parent;
    dpath_ = destFolder;

    struct stat ddst;
    const bool sameFs = ::fstat(dest.get(), &ddst) == 0 && ddst.st_dev == sst.st_dev;
    if (op_ == Op::Copy || !sameFs) {
        TreeCounter counter(prog_, cancel_);
        counter.count(sdir.get(), name, sst);
    }
    report();
    transfer(sdir.get(), name, sst, dest.get(), name, true, false);
    return true;
}

// The refusals that leave everything as it is. True when refused.
bool Job::refusedBeforeStart(int sdir, const std::string& name, const struct stat& sst, int dest,
                             const std::string& source, const std::string& destFolder) {
    // A folder cannot go into itself or one of its own subfolders.
    if (S_ISDIR(sst.st_mode)) {
        const std::vector<FileId> up = ancestors(dest);
        if (std::find(up.begin(), up.end(), idOf(sst)) != up.end()) {
            fail(ErrorKind::IntoItself, source, 0, destFolder, false);
            return true;
        }
    }
    (void)sdir;
    struct stat dst;
    const bool clash = ::fstatat(dest, name.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0;
    if (clash && sameFile(dst, sst)) {
        // The item is already where it should go.
        if (policy_ != Policy::AutoRename) {
            fail(ErrorKind::ReplaceItself, source, 0, {}, false);
            return true;
        }
        if (op_ == Op::Move) return true;
    }
    return false;
}

} // namespace qb::engine

namespace qb {

OperationResult runOperation(Op op, Policy policy, const std::string& source,
                             const std::string& destFolder, OperationObserver& observer,
                             const std::atomic<bool>& cancel, const OperationOptions& options) {
    engine::Job job(op, policy, observer, cancel, options);
    return job.run(source, destFolder);
}

} // namespace qb
