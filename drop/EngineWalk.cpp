#include "drop/EngineJob.h"
#include "drop/EngineTree.h"

#include <cerrno>

#include <fcntl.h>

namespace qb::engine {

// Handles one entry whose destination may already exist.
void Job::transfer(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                   const std::string& dname, bool topLevel, bool mergeAsked) {
    checkCancel();
    struct stat dst;
    if (::fstatat(ddir, dname.c_str(), &dst, AT_SYMLINK_NOFOLLOW) != 0) {
        place(sdir, sname, sst, ddir, dname);
        return;
    }
    if (policy_ == Policy::AutoRename && topLevel) {
        for (int n = 2;; ++n) {
            const std::string candidate = renamedName(dname, S_ISDIR(sst.st_mode), n);
            if (::fstatat(ddir, candidate.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0) continue;
            place(sdir, sname, sst, ddir, candidate);
            return;
        }
    }
    PathScope ps(*this, sname, dname);
    const bool srcDir = S_ISDIR(sst.st_mode);
    if (srcDir != S_ISDIR(dst.st_mode)) {
        fail(srcDir ? ErrorKind::FolderOverFile : ErrorKind::FileOverFolder, spath_, 0, dpath_,
             !topLevel);
        return;
    }
    if (srcDir) {
        if (!mergeAsked && !askToMerge(sst, dst)) return;
        merge(sdir, sname, ddir, dname, true);
        return;
    }
    if (!askToReplace(sst, dst)) {
        if (S_ISREG(sst.st_mode)) prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
        fileDone();
        return;
    }
    replaceFile(sdir, sname, sst, ddir, dname, dst);
}

// Asks, where the policy wants it, whether two folders of one name are merged.
bool Job::askToMerge(const struct stat& sst, const struct stat& dst) {
    if (policy_ != Policy::AskReplace || replaceAll_) return true;
    switch (obs_.askMerge(infoOf(dpath_, dst), infoOf(spath_, sst))) {
    case ReplaceAnswer::Yes:
        return true;
    case ReplaceAnswer::YesToAll:
        replaceAll_ = true;
        return true;
    case ReplaceAnswer::No:
    case ReplaceAnswer::NoToAll:
        return false;
    case ReplaceAnswer::Cancel:
        break;
    }
    cancelled_ = true;
    throw Stop{};
}

// Asks, where the policy wants it, whether a file replaces the one of its name.
bool Job::askToReplace(const struct stat& sst, const struct stat& dst) {
    if (policy_ != Policy::AskReplace || replaceAll_) return true;
    switch (obs_.askReplace(infoOf(dpath_, dst), infoOf(spath_, sst))) {
    case ReplaceAnswer::Yes:
        return true;
    case ReplaceAnswer::YesToAll:
        replaceAll_ = true;
        return true;
    case ReplaceAnswer::No:
    case ReplaceAnswer::NoToAll:
        return false;
    case ReplaceAnswer::Cancel:
        break;
    }
    cancelled_ = true;
    throw Stop{};
}

// Puts an entry at a free destination name.
void Job::place(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                const std::string& dname) {
    PathScope ps(*this, sname, dname);
    if (op_ == Op::Move) {
        if (::renameat2(sdir, sname.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE) == 0) {
            prog_.current = dpath_;
            fileDone();
            return;
        }
        int code = errno;
        if (code == EINVAL) {
            // File systems without RENAME_NOREPLACE: the name was free a moment ago.
            if (::renameat(sdir, sname.c_str(), ddir, dname.c_str()) == 0) {
                prog_.current = dpath_;
                fileDone();
                return;
            }
            code = errno;
        }
        if (code != EXDEV) {
            fail(ErrorKind::Transfer, spath_, code, dpath_);
            return;
        }
        // Another file system: copy, then remove the source file by file below.
    }
    if (S_ISDIR(sst.st_mode))
        copyDir(sdir, sname, sst, ddir, dname);
    else if (copyNonDir(sdir, sname, sst, ddir, dname, false) && op_ == Op::Move)
        removeSource(sdir, sname, false);
}

void Job::replaceFile(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                      const std::string& dname, const struct stat& dst) {
    if (op_ == Op::Move) {
        if (sameFile(sst, dst)) {
            // Two links to one file: the destination already holds it.
            removeSource(sdir, sname, false);
            fileDone();
            return;
        }
        // rename() replaces the target in one step.
        if (::renameat(sdir, sname.c_str(), ddir, dname.c_str()) == 0) {
            prog_.current = dpath_;
            fileDone();
            return;
        }
        if (errno != EXDEV) {
            fail(ErrorKind::Transfer, spath_, errno, dpath_);
            return;
        }
    }
    if (copyNonDir(sdir, sname, sst, ddir, dname, true) && op_ == Op::Move)
        removeSource(sdir, sname, false);
}

void Job::merge(int sdir, const std::string& sname, int ddir, const std::string& dname,
                bool mergeAsked) {
    Fd sfd(openDir(sdir, sname));
    if (!sfd.ok()) {
        fail(ErrorKind::ReadFolder, spath_, errno);
        return;
    }
    Fd dfd(openDir(ddir, dname));
    if (!dfd.ok()) {
        fail(ErrorKind::OpenFolder, dpath_, errno);
        return;
    }
    walkChildren(sfd.get(), dfd.get(), false, mergeAsked);
    if (op_ == Op::Move) {
        // Whatever was declined or skipped stays, and its folder with it.
        if (::unlinkat(sdir, sname.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
            errno != EEXIST)
            fail(ErrorKind::RemoveFolder, spath_, errno);
    }
}

// Copies a folder tree (or moves it across file systems) to a new name.
void Job::copyDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                  const std::string& dname) {
    Fd sfd(openDir(sdir, sname));
    if (!sfd.ok()) {
        fail(ErrorKind::ReadFolder, spath_, errno);
        return;
    }
    // Owner-only while it fills, so a read-only source folder can still be filled.
    if (::mkdirat(ddir, dname.c_str(), 0700) != 0) {
        fail(ErrorKind::CreateFolder, dpath_, errno);
        return;
    }
    Fd dfd(openDir(ddir, dname));
    if (!dfd.ok()) {
        fail(ErrorKind::OpenFolder, dpath_, errno);
        return;
    }
    struct Finish {
        int fd;
        const struct stat& st;
        ~Finish() {
            ::fchmod(fd, st.st_mode & 07777);
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(fd, times);
        }
    };
    {
        const Finish finish{dfd.get(), sst};
        walkChildren(sfd.get(), dfd.get(), true, false);
    }
    if (op_ == Op::Move) removeSource(sdir, sname, true);
}

void Job::walkChildren(int sfd, int dfd, bool fresh, bool mergeAsked) {
    std::vector<Entry> entries;
    if (const int code = listEntries(sfd, entries)) {
        fail(ErrorKind::ReadFolder, spath_, code);
        return;
    }
    for (const auto& e : entries) {
        checkCancel();
        struct stat cst;
        if (::fstatat(sfd, e.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
            PathScope ps(*this, e.name, e.name);
            fail(ErrorKind::Examine, spath_, errno);
            continue;
        }
        if (fresh) {
            // Our own new folder is empty: no clash to look for.
            place(sfd, e.name, cst, dfd, e.name);
        } else {
            transfer(sfd, e.name, cst, dfd, e.name, false, mergeAsked);
        }
    }
}

void Job::removeSource(int sdir, const std::string& sname, bool isDir) {
    if (::unlinkat(sdir, sname.c_str(), isDir ? AT_REMOVEDIR : 0) == 0) return;
    // A folder that still holds skipped files stays.
    if (isDir && (errno == ENOTEMPTY || errno == EEXIST)) return;
    fail(ErrorKind::Remove, spath_, errno);
}

} // namespace qb::engine
