#include "drop/FileEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace qb {

namespace {

constexpr std::size_t kChunk = 16u << 20; // progress and cancel granularity of big files
constexpr std::size_t kBuffer = 1u << 20; // reads and writes where the kernel cannot copy
constexpr std::size_t kNameMax = 255;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        reset(std::exchange(o.fd_, -1));
        return *this;
    }
    ~Fd() { reset(); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

std::string reasonText(int code) {
    char buf[256];
    // GNU strerror_r: returns a pointer, maybe to a static string.
    return strerror_r(code, buf, sizeof buf);
}

std::string quoted(const std::string& s) {
    return "\xe2\x80\x9c" + s + "\xe2\x80\x9d"; // “s”
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + '/' + name;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

ItemInfo infoOf(const std::string& path, const struct stat& st) {
    ItemInfo i;
    i.path = path;
    i.isDir = S_ISDIR(st.st_mode);
    i.size = i.isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
    i.mtime = st.st_mtim.tv_sec;
    return i;
}

// Drops the last UTF-8 character of s.
void popUtf8(std::string& s) {
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

struct Stop {}; // unwinds the walk when the user cancels

class Engine {
public:
    Engine(Op op, Policy policy, OperationObserver& obs, const std::atomic<bool>& cancel)
        : op_(op), policy_(policy), obs_(obs), cancel_(cancel) {
        useProcLink_ = ::access("/proc/self/fd", X_OK) == 0;
    }

    Outcome run(const std::string& source, const std::string& destFolder);

private:
    // --- reporting -------------------------------------------------------------
    const char* verb() const { return op_ == Op::Copy ? "复制" : "移动"; }

    void checkCancel() {
        if (cancel_.load(std::memory_order_relaxed)) {
            cancelled_ = true;
            throw Stop{};
        }
    }
    // Reports a failure of one file; throws Stop when the user cancels.
    void fail(const std::string& path, const std::string& message, int code, bool canSkip = true) {
        failed_ = true;
        OpError e{path, message, code, canSkip};
        if (obs_.error(e) == ErrorAnswer::Cancel && canSkip) throw Stop{};
    }
    void failSys(const std::string& path, const std::string& what, int code) {
        fail(path, "无法" + what + quoted(path) + "：" + reasonText(code), code);
    }
    void failCopy(const std::string& src, const std::string& dst, int code) {
        fail(src, "无法将" + quoted(src) + verb() + "到" + quoted(dst) + "：" + reasonText(code),
             code);
    }
    void report() { obs_.progress(prog_); }
    void fileDone(std::uint64_t bytes) {
        prog_.filesDone++;
        (void)bytes;
        report();
    }

    // --- the walk ----------------------------------------------------------------
    void scan(int dirfd, const std::string& name, const struct stat& st);
    void transfer(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                  const std::string& dname, bool topLevel, bool mergeAsked);
    void place(int sdir, const std::string& sname, const struct stat& sst, int ddir,
               const std::string& dname);
    void replaceFile(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, const struct stat& dst);
    void merge(int sdir, const std::string& sname, const struct stat& sst, int ddir,
               const std::string& dname, bool mergeAsked);
    void copyDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                 const std::string& dname, bool fresh);
    void walkChildren(int sfd, int dfd, bool fresh, bool mergeAsked);
    bool copyNonDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                    const std::string& dname, bool replace);
    bool copyRegular(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool replace);
    bool copySpecial(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool replace);
    bool copyData(int in, int out, const struct stat& sst);
    bool copyRange(int in, int out, std::uint64_t from, std::uint64_t to,
                   std::pair<dev_t, dev_t> devs, std::uint64_t base);
    bool commitTemp(int fd, int ddir, const std::string& tmpName, const std::string& dname,
                    bool replace, int& err);
    void removeSource(int sdir, const std::string& sname, bool isDir);
    std::string tempName();

    // Current source and destination paths, grown and shrunk with the walk.
    struct PathScope {
        PathScope(Engine& e, const std::string& s, const std::string& d)
            : e_(e), sl_(e.spath_.size()), dl_(e.dpath_.size()) {
            e.spath_ = joinPath(e.spath_, s);
            e.dpath_ = joinPath(e.dpath_, d);
        }
        ~PathScope() {
            e_.spath_.resize(sl_);
            e_.dpath_.resize(dl_);
        }
        Engine& e_;
        std::size_t sl_, dl_;
    };

    Op op_;
    Policy policy_;
    OperationObserver& obs_;
    const std::atomic<bool>& cancel_;
    bool failed_ = false;
    bool cancelled_ = false;
    bool replaceAll_ = false;
    bool useProcLink_ = true;
    bool tmpfileWorks_ = true;
    std::set<std::pair<dev_t, dev_t>> noReflink_;
    std::set<std::pair<dev_t, dev_t>> noCopyRange_;
    std::unique_ptr<char[]> buffer_;
    Progress prog_;
    std::string spath_, dpath_;
    unsigned tempCounter_ = 0;
};

std::string Engine::tempName() {
    char buf[64];
    std::snprintf(buf, sizeof buf, ".qb-%ld-%u.part", static_cast<long>(::getpid()),
                  ++tempCounter_);
    return buf;
}

// Adds the tree's files and bytes to the totals; errors surface later, in the copy.
void Engine::scan(int dirfd, const std::string& name, const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) {
        prog_.filesTotal++;
        if (S_ISREG(st.st_mode)) prog_.bytesTotal += static_cast<std::uint64_t>(st.st_size);
        return;
    }
    Fd fd(::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.ok()) return;
    DIR* d = ::fdopendir(::dup(fd.get()));
    if (!d) return;
    std::vector<std::string> dirs;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (e->d_type == DT_DIR) {
            dirs.emplace_back(e->d_name);
            continue;
        }
        if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN) {
            prog_.filesTotal++;
            continue;
        }
        struct stat cst;
        if (::fstatat(fd.get(), e->d_name, &cst, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(cst.st_mode))
            dirs.emplace_back(e->d_name);
        else
            scan(fd.get(), e->d_name, cst);
    }
    ::closedir(d);
    for (const auto& sub : dirs) {
        struct stat cst;
        if (::fstatat(fd.get(), sub.c_str(), &cst, AT_SYMLINK_NOFOLLOW) == 0)
            scan(fd.get(), sub, cst);
    }
}

Outcome Engine::run(const std::string& sourceIn, const std::string& destFolder) {
    try {
        std::string source = sourceIn;
        while (source.size() > 1 && source.back() == '/')
            source.pop_back();
        const auto slash = source.rfind('/');
        const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
        std::string parent = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : source.substr(0, slash);
        prog_.item = name;
        if (name.empty() || name == "." || name == ".." || source == "/") {
            fail(source,
                 "无法" + std::string(verb()) + quoted(source) + "：它不是可以" + verb() +
                     "的项目。",
                 EINVAL, false);
            return Outcome::Failed;
        }

        Fd dest(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dest.ok()) {
            const int code = errno;
            fail(destFolder, "目标" + quoted(destFolder) + "不是可用的文件夹：" + reasonText(code),
                 code, false);
            return Outcome::Failed;
        }
        Fd sdir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat sst;
        if (!sdir.ok() || ::fstatat(sdir.get(), name.c_str(), &sst, AT_SYMLINK_NOFOLLOW) != 0) {
            const int code = errno;
            fail(source, "找不到" + quoted(source) + "：" + reasonText(code), code, false);
            return Outcome::Failed;
        }

        // A folder cannot go into itself or one of its own subfolders: walk up from
        // the destination by "..", which follows the real tree whatever the spelling.
        if (S_ISDIR(sst.st_mode)) {
            Fd up(::dup(dest.get()));
            for (int depth = 0; up.ok() && depth < 4096; ++depth) {
                struct stat ust;
                if (::fstat(up.get(), &ust) != 0) break;
                if (sameFile(ust, sst)) {
                    fail(source,
                         "不能把文件夹" + quoted(source) + verb() + "到它自身或它的子文件夹" +
                             quoted(destFolder) + "中。",
                         0, false);
                    return Outcome::Failed;
                }
                Fd next(::openat(up.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                struct stat nst;
                if (!next.ok() || ::fstat(next.get(), &nst) != 0 || sameFile(nst, ust)) break;
                up = std::move(next);
            }
        }

        spath_ = parent;
        dpath_ = destFolder;
        struct stat dst;
        const bool clash = ::fstatat(dest.get(), name.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0;
        if (clash && sameFile(dst, sst)) {
            // The item is already where it should go.
            if (policy_ != Policy::AutoRename) {
                fail(source, "不能用" + quoted(source) + "替换它自身：源和目标是同一个项目。", 0,
                     false);
                return Outcome::Failed;
            }
            if (op_ == Op::Move) return Outcome::Done;
        }

        struct stat ddst;
        const bool sameFs = ::fstat(dest.get(), &ddst) == 0 && ddst.st_dev == sst.st_dev;
        if (op_ == Op::Copy || !sameFs) scan(sdir.get(), name, sst);
        report();
        transfer(sdir.get(), name, sst, dest.get(), name, true, false);
    } catch (const Stop&) {
    } catch (...) {
        failed_ = true;
    }
    if (failed_) return Outcome::Failed;
    if (cancelled_) return Outcome::Cancelled;
    return Outcome::Done;
}

// Handles one entry whose destination may already exist.
void Engine::transfer(int sdir, const std::string& sname, const struct stat& sst, int ddir,
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
    const bool dstDir = S_ISDIR(dst.st_mode);
    if (srcDir != dstDir) {
        const std::string msg =
            srcDir ? quoted(dpath_) + "是一个文件，不能用同名文件夹" + quoted(spath_) + "替换它。"
                   : quoted(dpath_) + "是一个文件夹，不能用同名文件" + quoted(spath_) + "替换它。";
        fail(spath_, msg, 0, !topLevel);
        return;
    }
    if (srcDir) {
        if (policy_ == Policy::AskReplace && !replaceAll_ && !mergeAsked) {
            switch (obs_.askMerge(infoOf(dpath_, dst), infoOf(spath_, sst))) {
            case ReplaceAnswer::Yes:
                break;
            case ReplaceAnswer::YesToAll:
                replaceAll_ = true;
                break;
            case ReplaceAnswer::No:
                return;
            case ReplaceAnswer::Cancel:
                cancelled_ = true;
                throw Stop{};
            }
        }
        merge(sdir, sname, sst, ddir, dname, true);
        return;
    }
    if (policy_ == Policy::AskReplace && !replaceAll_) {
        switch (obs_.askReplace(infoOf(dpath_, dst), infoOf(spath_, sst))) {
        case ReplaceAnswer::Yes:
            break;
        case ReplaceAnswer::YesToAll:
            replaceAll_ = true;
            break;
        case ReplaceAnswer::No:
            if (S_ISREG(sst.st_mode)) prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
            fileDone(0);
            return;
        case ReplaceAnswer::Cancel:
            cancelled_ = true;
            throw Stop{};
        }
    }
    replaceFile(sdir, sname, sst, ddir, dname, dst);
}

// Puts an entry at a free destination name.
void Engine::place(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                   const std::string& dname) {
    PathScope ps(*this, sname, dname);
    if (op_ == Op::Move) {
        if (::renameat2(sdir, sname.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE) == 0) {
            prog_.current = dpath_;
            fileDone(0);
            return;
        }
        int code = errno;
        if (code == EINVAL) {
            // File systems without RENAME_NOREPLACE: the name was free a moment ago.
            if (::renameat(sdir, sname.c_str(), ddir, dname.c_str()) == 0) {
                prog_.current = dpath_;
                fileDone(0);
                return;
            }
            code = errno;
        }
        if (code != EXDEV) {
            failCopy(spath_, dpath_, code);
            return;
        }
        // Another file system: copy, then remove the source file by file below.
    }
    if (S_ISDIR(sst.st_mode))
        copyDir(sdir, sname, sst, ddir, dname, true);
    else if (copyNonDir(sdir, sname, sst, ddir, dname, false) && op_ == Op::Move)
        removeSource(sdir, sname, false);
}

void Engine::replaceFile(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                         const std::string& dname, const struct stat& dst) {
    if (op_ == Op::Move) {
        if (sameFile(sst, dst)) {
            // Two links to one file: the destination already holds it.
            removeSource(sdir, sname, false);
            fileDone(0);
            return;
        }
        // rename() replaces the target in one step.
        if (::renameat(sdir, sname.c_str(), ddir, dname.c_str()) == 0) {
            prog_.current = dpath_;
            fileDone(0);
            return;
        }
        if (errno != EXDEV) {
            failCopy(spath_, dpath_, errno);
            return;
        }
    }
    if (copyNonDir(sdir, sname, sst, ddir, dname, true) && op_ == Op::Move)
        removeSource(sdir, sname, false);
}

void Engine::merge(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                   const std::string& dname, bool mergeAsked) {
    (void)sst;
    Fd sfd(::openat(sdir, sname.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sfd.ok()) {
        failSys(spath_, "读取文件夹", errno);
        return;
    }
    Fd dfd(::openat(ddir, dname.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dfd.ok()) {
        failSys(dpath_, "打开文件夹", errno);
        return;
    }
    walkChildren(sfd.get(), dfd.get(), false, mergeAsked);
    if (op_ == Op::Move) {
        // Whatever was declined or skipped stays, and its folder with it.
        if (::unlinkat(sdir, sname.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
            errno != EEXIST)
            failSys(spath_, "删除文件夹", errno);
    }
}

// Copies a folder tree (or moves it across file systems) to a new name.
void Engine::copyDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                     const std::string& dname, bool fresh) {
    Fd sfd(::openat(sdir, sname.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sfd.ok()) {
        failSys(spath_, "读取文件夹", errno);
        return;
    }
    // Owner-only while it fills, so a read-only source folder can still be filled.
    if (::mkdirat(ddir, dname.c_str(), 0700) != 0) {
        failSys(dpath_, "创建文件夹", errno);
        return;
    }
    Fd dfd(::openat(ddir, dname.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dfd.ok()) {
        failSys(dpath_, "打开文件夹", errno);
        return;
    }
    const auto finish = [&] {
        ::fchmod(dfd.get(), sst.st_mode & 07777);
        const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
        ::futimens(dfd.get(), times);
    };
    try {
        walkChildren(sfd.get(), dfd.get(), fresh, false);
    } catch (const Stop&) {
        finish();
        throw;
    }
    finish();
    if (op_ == Op::Move) removeSource(sdir, sname, true);
}

void Engine::walkChildren(int sfd, int dfd, bool fresh, bool mergeAsked) {
    struct Entry {
        std::string name;
        unsigned char type;
    };
    std::vector<Entry> entries;
    {
        DIR* d = ::fdopendir(::dup(sfd));
        if (!d) {
            failSys(spath_, "读取文件夹", errno);
            return;
        }
        errno = 0;
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            entries.push_back({e->d_name, e->d_type});
        }
        const int code = errno;
        ::closedir(d);
        if (code != 0) {
            failSys(spath_, "读取文件夹", code);
            return;
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const auto& e : entries) {
        checkCancel();
        struct stat cst;
        if (::fstatat(sfd, e.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
            PathScope ps(*this, e.name, e.name);
            failSys(spath_, verb(), errno);
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

bool Engine::copyNonDir(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                        const std::string& dname, bool replace) {
    prog_.current = spath_;
    report();
    bool ok;
    if (S_ISREG(sst.st_mode))
        ok = copyRegular(sdir, sname, sst, ddir, dname, replace);
    else
        ok = copySpecial(sdir, sname, sst, ddir, dname, replace);
    fileDone(0);
    return ok;
}

// Links the finished temporary file in under its real name.
bool Engine::commitTemp(int fd, int ddir, const std::string& tmpName, const std::string& dname,
                        bool replace, int& err) {
    if (tmpName.empty()) {
        // Anonymous O_TMPFILE: give it a name only now that it is whole.
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        if (!replace) {
            if (::linkat(AT_FDCWD, proc, ddir, dname.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
            err = errno;
            return false;
        }
        for (;;) {
            const std::string t = tempName();
            if (::linkat(AT_FDCWD, proc, ddir, t.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) continue;
                err = errno;
                return false;
            }
            if (::renameat(ddir, t.c_str(), ddir, dname.c_str()) == 0) return true;
            err = errno;
            ::unlinkat(ddir, t.c_str(), 0);
            return false;
        }
    }
    const int r = replace
                      ? ::renameat(ddir, tmpName.c_str(), ddir, dname.c_str())
                      : ::renameat2(ddir, tmpName.c_str(), ddir, dname.c_str(), RENAME_NOREPLACE);
    if (r == 0) return true;
    err = errno;
    if (!replace && err == EINVAL) {
        if (::linkat(ddir, tmpName.c_str(), ddir, dname.c_str(), 0) == 0) {
            ::unlinkat(ddir, tmpName.c_str(), 0);
            return true;
        }
        err = errno;
    }
    ::unlinkat(ddir, tmpName.c_str(), 0);
    return false;
}

bool Engine::copyRegular(int sdir, const std::string& sname, const struct stat& sst0, int ddir,
                         const std::string& dname, bool replace) {
    Fd in(::openat(sdir, sname.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sst;
    if (!in.ok() || ::fstat(in.get(), &sst) != 0) {
        failCopy(spath_, dpath_, errno);
        prog_.bytesDone += static_cast<std::uint64_t>(sst0.st_size);
        return false;
    }
    // New content is written where no one can see it and takes its name only when whole.
    Fd out;
    std::string tmpName;
    if (tmpfileWorks_ && useProcLink_) {
        out.reset(::openat(ddir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (!out.ok() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
            tmpfileWorks_ = false;
    }
    if (!out.ok() && !(tmpfileWorks_ && useProcLink_)) {
        for (;;) {
            tmpName = tempName();
            out.reset(
                ::openat(ddir, tmpName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
            if (out.ok() || errno != EEXIST) break;
        }
    }
    if (!out.ok()) {
        failCopy(spath_, dpath_, errno);
        prog_.bytesDone += static_cast<std::uint64_t>(sst.st_size);
        return false;
    }
    const std::uint64_t before = prog_.bytesDone;
    bool ok;
    try {
        ok = copyData(in.get(), out.get(), sst);
    } catch (const Stop&) {
        if (!tmpName.empty()) ::unlinkat(ddir, tmpName.c_str(), 0);
        throw;
    }
    int err = 0;
    if (ok) {
        // Keep the permissions and times; a file system that has no modes (FAT) is no error.
        if (::fchmod(out.get(), sst.st_mode & 07777) != 0 && errno != EPERM &&
            errno != EOPNOTSUPP) {
            err = errno;
            ok = false;
        }
        const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
        if (ok && ::futimens(out.get(), times) != 0 && errno != EPERM) {
            err = errno;
            ok = false;
        }
        if (ok && !commitTemp(out.get(), ddir, tmpName, dname, replace, err)) ok = false;
        if (!ok) {
            if (!tmpName.empty()) ::unlinkat(ddir, tmpName.c_str(), 0);
            failCopy(spath_, dpath_, err);
        }
    } else if (!tmpName.empty()) {
        ::unlinkat(ddir, tmpName.c_str(), 0);
    }
    prog_.bytesDone = before + static_cast<std::uint64_t>(sst.st_size);
    return ok;
}

// Copies the bytes; reports a failure itself and returns false.
bool Engine::copyData(int in, int out, const struct stat& sst) {
    struct stat ost;
    ::fstat(out, &ost);
    const auto devs = std::make_pair(sst.st_dev, ost.st_dev);
    const std::uint64_t base = prog_.bytesDone;
    if (sst.st_size == 0) return true;
    if (!noReflink_.count(devs)) {
        if (::ioctl(out, FICLONE, in) == 0) return true;
        if (errno != EOPNOTSUPP && errno != EXDEV && errno != EINVAL && errno != ENOTTY &&
            errno != EPERM && errno != ENOSYS) {
            failCopy(spath_, dpath_, errno);
            return false;
        }
        noReflink_.insert(devs);
    }
    const auto total = static_cast<std::uint64_t>(sst.st_size);
    // A sparse file keeps its holes: a disk image must not grow to its full size.
    bool sparse = static_cast<std::uint64_t>(sst.st_blocks) * 512 < total;
    std::uint64_t from = 0;
    while (from < total) {
        std::uint64_t to = total;
        if (sparse) {
            const off_t data = ::lseek(in, static_cast<off_t>(from), SEEK_DATA);
            if (data < 0 && errno == ENXIO) break; // only a hole is left
            if (data < 0) {
                sparse = false; // no hole finding here: copy it all
            } else {
                from = static_cast<std::uint64_t>(data);
                const off_t hole = ::lseek(in, data, SEEK_HOLE);
                if (hole > data) to = std::min(total, static_cast<std::uint64_t>(hole));
            }
            if (from >= total) break;
        }
        if (!copyRange(in, out, from, to, devs, base)) return false;
        from = to;
    }
    if (sparse && ::ftruncate(out, static_cast<off_t>(total)) != 0) {
        failCopy(spath_, dpath_, errno);
        return false;
    }
    return true;
}

// Copies bytes [from, to) to the same place in `out`: in the kernel where it can,
// else by reads and writes.
bool Engine::copyRange(int in, int out, std::uint64_t from, std::uint64_t to,
                       std::pair<dev_t, dev_t> devs, std::uint64_t base) {
    std::uint64_t pos = from, reported = from;
    while (pos < to) {
        ssize_t n;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - pos));
        if (!noCopyRange_.count(devs)) {
            loff_t ip = static_cast<loff_t>(pos), op = static_cast<loff_t>(pos);
            n = ::copy_file_range(in, &ip, out, &op, want, 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                    errno == EBADF) {
                    noCopyRange_.insert(devs); // not between these two file systems
                    continue;
                }
                failCopy(spath_, dpath_, errno);
                return false;
            }
        } else {
            if (!buffer_) buffer_.reset(new char[kBuffer]);
            n = ::pread(in, buffer_.get(), std::min(want, kBuffer), static_cast<off_t>(pos));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failCopy(spath_, dpath_, errno);
                return false;
            }
            for (ssize_t off = 0; off < n;) {
                const ssize_t w =
                    ::pwrite(out, buffer_.get() + off, static_cast<std::size_t>(n - off),
                             static_cast<off_t>(pos) + off);
                if (w < 0 && errno == EINTR) continue;
                if (w < 0) {
                    failCopy(spath_, dpath_, errno);
                    return false;
                }
                off += w;
            }
        }
        if (n == 0) return true; // the file shrank meanwhile
        pos += static_cast<std::uint64_t>(n);
        if (pos - reported >= kChunk && pos < to) {
            reported = pos;
            prog_.bytesDone = base + pos;
            report();
            checkCancel();
        }
    }
    return true;
}

// Symbolic links (copied as links, never followed) and named pipes.
bool Engine::copySpecial(int sdir, const std::string& sname, const struct stat& sst, int ddir,
                         const std::string& dname, bool replace) {
    std::string target;
    if (S_ISLNK(sst.st_mode)) {
        std::vector<char> buf(static_cast<std::size_t>(sst.st_size) + 2);
        for (;;) {
            const ssize_t n = ::readlinkat(sdir, sname.c_str(), buf.data(), buf.size());
            if (n < 0) {
                failCopy(spath_, dpath_, errno);
                return false;
            }
            if (static_cast<std::size_t>(n) < buf.size()) {
                target.assign(buf.data(), static_cast<std::size_t>(n));
                break;
            }
            buf.resize(buf.size() * 2);
        }
    } else if (!S_ISFIFO(sst.st_mode)) {
        fail(spath_, "无法" + std::string(verb()) + quoted(spath_) + "：不支持这种类型的文件。",
             ENOTSUP);
        return false;
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
    if (r != 0) {
        failCopy(spath_, dpath_, errno);
        return false;
    }
    const struct timespec times[2] = {sst.st_atim, sst.st_mtim};
    ::utimensat(ddir, at.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (S_ISFIFO(sst.st_mode)) ::fchmodat(ddir, at.c_str(), sst.st_mode & 07777, 0);
    if (replace && ::renameat(ddir, at.c_str(), ddir, dname.c_str()) != 0) {
        const int code = errno;
        ::unlinkat(ddir, at.c_str(), 0);
        failCopy(spath_, dpath_, code);
        return false;
    }
    return true;
}

void Engine::removeSource(int sdir, const std::string& sname, bool isDir) {
    if (::unlinkat(sdir, sname.c_str(), isDir ? AT_REMOVEDIR : 0) == 0) return;
    // A folder that still holds skipped files stays.
    if (isDir && (errno == ENOTEMPTY || errno == EEXIST)) return;
    failSys(spath_, "删除", errno);
}

} // namespace

std::string renamedName(const std::string& name, bool isDir, int n) {
    std::string stem = name, ext;
    if (!isDir) {
        static const char* const doubles[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst"};
        for (const char* d : doubles) {
            const std::size_t len = std::strlen(d);
            if (name.size() > len && name.compare(name.size() - len, len, d) == 0) {
                ext = d;
                break;
            }
        }
        if (ext.empty()) {
            const auto dot = name.rfind('.');
            if (dot != std::string::npos && dot > 0) ext = name.substr(dot);
        }
        stem = name.substr(0, name.size() - ext.size());
    }
    long number = n;
    // "report (3)" goes on to "report (4)", not "report (3) (2)".
    if (stem.size() > 4 && stem.back() == ')') {
        const auto open = stem.rfind(" (");
        if (open != std::string::npos && open + 2 < stem.size() - 1) {
            const std::string digits = stem.substr(open + 2, stem.size() - open - 3);
            if (digits.size() < 9 && std::all_of(digits.begin(), digits.end(),
                                                 [](char c) { return c >= '0' && c <= '9'; })) {
                number = std::stol(digits) + n - 1;
                stem.resize(open);
            }
        }
    }
    const std::string suffix = " (" + std::to_string(number) + ")";
    while (!stem.empty() && stem.size() + suffix.size() + ext.size() > kNameMax)
        popUtf8(stem);
    if (stem.size() + suffix.size() + ext.size() > kNameMax) ext.clear();
    return stem + suffix + ext;
}

Outcome runOperation(Op op, Policy policy, const std::string& source, const std::string& destFolder,
                     OperationObserver& observer, const std::atomic<bool>& cancel) {
    Engine engine(op, policy, observer, cancel);
    return engine.run(source, destFolder);
}

} // namespace qb
