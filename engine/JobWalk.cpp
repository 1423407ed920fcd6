// The job's walk: entries to free names, merged or replaced; folders; the workers' copies.
#include "engine/Job.h"
#include "engine/Names.h"
#include "engine/TreeCounter.h"

#include <cerrno>
#include <exception>

#include <fcntl.h>

namespace qb::engine {

// Handles one entry whose destination may already exist.
void Job::transfer(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                   const std::string& dname, bool topLevel, bool mergeAsked) {
    checkCancel();
    struct stat dst;
    if (::fstatat(ddir, dname.c_str(), &dst, AT_SYMLINK_NOFOLLOW) != 0) {
        placing(topLevel, sname, dname);
        return place(sdir, sname, sst, ddir, dname);
    }
    if ((policy_ == Policy::AutoRename && topLevel) ||
        clash(sdir, sname, sst, ddir, dname, dst, topLevel, mergeAsked))
        placeBeside(sdir, sname, sst, ddir, dname, topLevel);
}

void Job::placing(bool topLevel, const std::string& sname, const std::string& name) {
    if (topLevel)
        obs_.itemTarget(joinPath(dpath_, name), false);
    else
        obs_.entryStarting(joinPath(spath_, sname), joinPath(dpath_, name));
}

// Stores the entry under the first free name auto-rename would give it.
void Job::placeBeside(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname, bool topLevel) {
    struct stat taken;
    for (int n = 2;; ++n) {
        const std::string candidate = renamedName(dname, S_ISDIR(sst.st_mode), n);
        if (::fstatat(ddir, candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) != 0) {
            placing(topLevel, sname, candidate);
            return place(sdir, sname, sst, ddir, candidate);
        }
    }
}

// An entry meets one of the same name: merged, replaced or left as the policy and the
// user say. True when both are to be kept (the caller places the entry beside).
bool Job::clash(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                const std::string& dname, const struct stat& dst, bool topLevel, bool mergeAsked) {
    PathScope ps(*this, sname, dname);
    const bool srcDir = S_ISDIR(sst.st_mode);
    if (srcDir != S_ISDIR(dst.st_mode))
        return fail(srcDir ? ErrorKind::FolderOverFile : ErrorKind::FileOverFolder, spath_, 0,
                    dpath_, !topLevel),
               false;
    if (srcDir) {
        const Choice c = mergeAsked ? Choice::Take : ask(true, sdir, sname, sst, ddir, dname, dst);
        if (c == Choice::Take) {
            if (topLevel)
                obs_.itemTarget(dpath_, true);
            else
                obs_.folderMerged(spath_, dpath_);
            merge(sname, dname, true);
        } else if (c == Choice::Leave) {
            declined(topLevel);
        }
        return c == Choice::Beside;
    }
    const auto told = [&] {
        if (topLevel)
            obs_.itemTarget(dpath_, false);
        else
            obs_.entryStarting(spath_, dpath_);
    };
    struct stat shown;
    // (Kept beside, a link replaces nothing.)
    const bool destroysItsData = !keepBothAll_ && S_ISLNK(sst.st_mode) &&
                                 ::fstatat(sdir, sname.c_str(), &shown, 0) == 0 &&
                                 sameFile(shown, dst);
    Choice c = Choice::Leave;
    if (destroysItsData) {
        told();
        fail(ErrorKind::LinkToReplaced, spath_, 0, dpath_, !topLevel);
    } else {
        try {
            c = ask(false, sdir, sname, sst, ddir, dname, dst);
        } catch (const Stop&) {
            told();
            throw;
        }
        // The record hears of the entry only at the name it then takes.
        if (c == Choice::Beside) return true;
        told();
    }
    if (c == Choice::Take) return replaceFile(sdir, sname, sst, ddir, dname), false;
    if (!destroysItsData) declined(topLevel);
    if (S_ISREG(sst.st_mode)) prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
    fileDone();
    return false;
}

// The user said no to replacing (or merging) an entry: it stays where it is.
void Job::declined(bool topLevel) {
    result_.skipped++;
    if (topLevel) topDeclined_ = true;
}

// Asks, where the policy wants it, whether two folders are merged (or a file replaced).
Job::Choice Job::ask(bool merge, int sdir, const std::string& sname, const struct stat& sst,
                     int ddir, const std::string& dname, const struct stat& dst) {
    if (policy_ != Policy::AskReplace || replaceAll_) return Choice::Take;
    if (noToAll_) return Choice::Leave;
    if (keepBothAll_) return Choice::Beside;
    collectPooled(true); // everything before the question is settled first
    ItemInfo existing = describe(ddir, dname, dpath_, dst);
    const ItemInfo incoming = describe(sdir, sname, spath_, sst);
    existing.noTrash = !merge && !(opts_.useTrash && trash_.available(ddir));
    switch (merge ? obs_.askMerge(existing, incoming) : obs_.askReplace(existing, incoming)) {
    case ReplaceAnswer::Yes:
        destroyThis_ = existing.noTrash;
        return Choice::Take;
    case ReplaceAnswer::YesToAll:
        replaceAll_ = true;
        destroyAll_ = destroyAll_ || existing.noTrash;
        return Choice::Take;
    case ReplaceAnswer::No:
        return Choice::Leave;
    case ReplaceAnswer::NoToAll:
        noToAll_ = true;
        return Choice::Leave;
    case ReplaceAnswer::KeepBothToAll:
        keepBothAll_ = true;
        return Choice::Beside;
    case ReplaceAnswer::KeepBoth:
        return Choice::Beside;
    case ReplaceAnswer::Cancel:
        break;
    }
    throw Stop{};
}

// Puts an entry at a free destination name.
void Job::place(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                const std::string& dname) {
    PathScope ps(*this, sname, dname);
    if (op_ == Op::Move && renameInto(sdir, sname, sst, ddir, dname)) return;
    if (S_ISDIR(sst.st_mode)) return copyDir(sname, sst, ddir, dname);
    if (linkToEarlierCopy(sst, ddir, dname)) {
        if (S_ISREG(sst.st_mode)) prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
        copied_ = sst;
        fileDone();
    } else if (pooled(sdir, sst)) {
        return submitCopy(sname, sst, dname);
    } else if (!copyNonDir(sdir, sname, sst, ddir, dname, false)) {
        return;
    }
    if (op_ == Op::Move) removeCopiedSource(here().src, sname, spath_, dpath_, copied_);
}

// Moves by renaming, never over an existing name. False when the entry has to be
// copied instead (another file system); true when done or reported.
bool Job::renameInto(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname) {
    int code = 0;
    if (sys().renameat2(sdir, sname.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE) != 0)
        code = errno;
    if (code == EINVAL && !S_ISDIR(sst.st_mode)) // no RENAME_NOREPLACE here; folders are copied
        code = claimName(sdir, sname, ddir, dname, false, &once_,
                         "moved files take their names by a hard link or an exclusive create");
    else if (code == EINVAL)
        logRenameFallback(&once_, false, ddir, "folders are copied");
    if (code == 0) {
        prog_.current = dpath_;
        fileDone();
        return true;
    }
    if (code == EXDEV || code == EINVAL) {
        // Copied instead; a folder only once it is sure the destination is not inside it.
        if (S_ISDIR(sst.st_mode) && !counted_) return !countAndGuard(sname, sst, spath_);
        return false;
    }
    fail(ErrorKind::Transfer, spath_, code, dpath_);
    return true;
}

void Job::replaceFile(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname) {
    // A yes to a question that said the old entry goes for good is for that entry only.
    struct Answered {
        bool& told;
        ~Answered() { told = false; }
    } answered{destroyThis_};
    // Nowhere for the old entry to go: it stays, and nothing is copied in vain.
    if (const int why = replaceRefused(ddir)) {
        fail(ErrorKind::NotReplaced, dpath_, why, spath_);
        if (S_ISREG(sst.st_mode)) prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
        return fileDone();
    }
    if (op_ == Op::Move) {
        // The source takes the name in one step where it can; the old entry then goes
        // to the Trash. Two names of one file swap to no effect, which is right too.
        int why = 0;
        const int r = replaceEntry(sdir, sname, ddir, dname, why);
        if (r == 0) prog_.current = dpath_;
        if (r < 0) fail(ErrorKind::NotReplaced, dpath_, why, spath_);
        if (r <= 0) return fileDone();
        if (r != EXDEV) return fail(ErrorKind::Transfer, spath_, r, dpath_);
    }
    const std::string aside = tempName();
    if (linkToEarlierCopy(sst, ddir, aside)) {
        if (!swapIn(ddir, aside, dname)) return;
        prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
        copied_ = sst;
        fileDone();
    } else if (!copyNonDir(sdir, sname, sst, ddir, dname, true)) {
        return;
    }
    if (op_ == Op::Move) removeCopiedSource(here().src, sname, spath_, dpath_, copied_);
}

void Job::merge(const std::string& sname, const std::string& dname, bool mergeAsked) {
    const DirRef src = dirs_.open(here().src, sname);
    if (!src) return fail(ErrorKind::ReadFolder, spath_, errno);
    const DirRef dst = dirs_.open(here().dst, dname);
    if (!dst) return fail(ErrorKind::OpenFolder, dpath_, errno);
    {
        const SyncScope sync(*this, dst);
        walkChildren({src, dst}, false, mergeAsked);
    }
    if (op_ == Op::Move) removeSourceFolder(sname);
}

// Copies a folder tree (or moves it across file systems) to a new name.
void Job::copyDir(const std::string& sname, const struct stat& sst, int ddir,
                  const std::string& dname) {
    struct stat now;
    const DirRef src = dirs_.open(here().src, sname, &now);
    if (!src) return fail(ErrorKind::ReadFolder, spath_, errno);
    // A folder this job made itself: the destination is inside the source after all.
    if (created_.count(idOf(now)))
        return fail(ErrorKind::IntoItself, spath_, 0, destFolder_, false);
    // Owner-only while it fills, so a read-only source folder can still be filled.
    if (::mkdirat(ddir, dname.c_str(), 0700) != 0)
        return fail(ErrorKind::CreateFolder, dpath_, errno);
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    struct stat made;
    const DirRef dst = dirs_.open(here().dst, dname, &made);
    if (!dst) return fail(ErrorKind::OpenFolder, dpath_, errno);
    created_.insert(idOf(made));
    const Folder folder{src, dst};
    {
        const SyncScope sync(*this, dst);
        struct Finish {
            Job& j;
            const Folder& f;
            const struct stat& st;
            ~Finish() {
                const int from = j.dirs_.fd(*f.src), to = j.dirs_.fd(*f.dst);
                if (from >= 0 && to >= 0) {
                    copyXattrs(from, to, j.result_.missing);
                    copyModeAndTimes(to, st, j.result_.missing);
                    return;
                }
                // Only where the folder was put in another's place meanwhile.
                j.result_.failures++;
                logLine("%s: not reopened to set its mode and times: %s", j.dpath_.c_str(),
                        errorText(errno).c_str());
            }
        } const finish{*this, folder, sst};
        walkChildren(folder, true, false);
    }
    if (op_ == Op::Move) removeSourceFolder(sname);
}

void Job::walkChildren(const Folder& folder, bool fresh, bool mergeAsked) {
    std::vector<Entry> entries;
    if (const int code = listEntries(dirs_.fd(*folder.src), entries))
        return fail(ErrorKind::ReadFolder, spath_, code);
    struct Here {
        Job& j;
        const Folder& inner;
        const Folder* outer;
        ~Here() {
            if (std::uncaught_exceptions()) j.settlePool(); // while this folder is still synced
            // Back up: the folders above, if released, come back by ".." from these.
            j.dirs_.backTo(*inner.src);
            j.dirs_.backTo(*inner.dst);
            j.folder_ = outer;
            j.dirs_.setCurrent(j.here().src.get(), j.here().dst.get());
        }
    } const scope{*this, folder, std::exchange(folder_, &folder)};
    dirs_.setCurrent(folder.src.get(), folder.dst.get());
    for (const auto& e : entries) {
        checkCancel();
        collectPooled(false);
        finishSyncedGroup(false);
        // The folders below may have released these handles; they stay open from here
        // to the next entry.
        const int sfd = dirs_.fd(*folder.src), dfd = dirs_.fd(*folder.dst);
        if (sfd < 0 || dfd < 0) return fail(ErrorKind::ReadFolder, spath_, errno);
        struct stat cst;
        if (::fstatat(sfd, e.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
            PathScope ps(*this, e.name, e.name);
            fail(ErrorKind::Examine, spath_, errno);
            continue;
        }
        // What the workers copy here is accounted for while this folder is current.
        if (S_ISDIR(cst.st_mode)) collectPooled(true);
        if (fresh) // our own new folder is empty: no clash to look for
            place(sfd, e.name, cst, dfd, e.name);
        else
            transfer(sfd, e.name, cst, dfd, e.name, false, mergeAsked);
    }
    collectPooled(true);
}

bool Job::pooled(int sdir, const struct stat& sst) const {
    // A file of several names is copied here, so its other names can link to the copy.
    return folder_ && pool_ && pool_->enabled() && folder_->src->fd &&
           folder_->src->fd->get() == sdir && S_ISREG(sst.st_mode) && sst.st_nlink == 1 &&
           sst.st_size <= kPooledFileMax;
}

void Job::submitCopy(const std::string& sname, const struct stat& sst, const std::string& dname) {
    prog_.current = spath_;
    PooledCopy c;
    c.sdir = folder_->src->fd;
    c.ddir = folder_->dst->fd;
    c.source = folder_->src;
    c.sname = sname;
    c.dname = dname;
    c.spath = spath_;
    c.dpath = dpath_;
    c.sst = sst;
    c.ddev = folder_->dst->id.first;
    pool_->submit(std::move(c));
}

void Job::collectPooled(bool all) {
    if (!pool_ || !pool_->enabled()) return;
    // Waited for, the last copies of a verifying pool are being read back.
    const bool readingBack = all && opts_.verify;
    if (readingBack) {
        prog_.verifying = true;
        report();
    }
    std::vector<PooledCopy> done = pool_->finished(all);
    if (readingBack) prog_.verifying = false;
    for (PooledCopy& c : done)
        pending_.push_back(std::move(c));
    // One at a time: a cancel in the middle leaves the rest for settlePool().
    while (!pending_.empty()) {
        const PooledCopy c = std::move(pending_.front());
        pending_.pop_front();
        pooledDone(c);
    }
}

void Job::pooledDone(const PooledCopy& c) {
    // A worker saw the cancel first: nothing was written, and the job is cancelled
    // even when the walk has no entry left to notice it.
    if (c.abandoned) {
        if (!quiet_) throw Stop{};
        return;
    }
    prog_.bytesDone += static_cast<std::uint64_t>(c.sst.st_size);
    prog_.filesDone++;
    if (!c.ok) {
        report();
        return fail(c.why.kind, c.spath, c.why.code, c.dpath);
    }
    if (!syncDirs_.empty()) syncDirs_.back().dirty = true;
    result_.missing |= c.why.missing;
    if (opts_.verify) result_.verified++;
    report();
    if (op_ == Op::Move) removeCopiedSource(c.source, c.sname, c.spath, c.dpath, c.why.copied);
}

void Job::settlePool() noexcept {
    quiet_ = true;
    try {
        if (!pool_ || !pool_->enabled()) return;
        pool_->abandon();
        collectPooled(true);
    } catch (...) {
    }
}

} // namespace qb::engine
