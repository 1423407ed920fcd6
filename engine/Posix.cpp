// The engine's POSIX helpers: paths, folder listings, the swappable system calls.
#include "engine/Posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <sys/xattr.h>

namespace qb::engine {

std::string joinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + '/' + name;
}

ItemInfo infoOf(const std::string& path, const struct stat& st) {
    ItemInfo i;
    i.path = path;
    i.isDir = S_ISDIR(st.st_mode);
    i.size = i.isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
    i.mtime = st.st_mtim.tv_sec;
    return i;
}

int openDir(int at, const std::string& name) {
    return ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int listEntries(int dirfd, std::vector<Entry>& out) {
    out.clear();
    DIR* d = ::fdopendir(::dup(dirfd));
    if (!d) return errno;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        out.push_back({e->d_name, e->d_type});
    }
    const int code = errno;
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return code;
}

int openParent(int base, const std::string& rel, std::string& leaf) {
    Fd cur(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    std::size_t pos = 0;
    for (;;) {
        const std::size_t slash = rel.find('/', pos);
        if (slash == std::string::npos) break;
        if (slash > pos) {
            cur.reset(::openat(cur.get(), rel.substr(pos, slash - pos).c_str(),
                               O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!cur.ok()) return -1;
        }
        pos = slash + 1;
    }
    leaf = rel.substr(pos);
    return cur.release();
}

// By "..", which follows the real tree whatever the spelling of the path.
std::vector<FileId> ancestors(int dirfd) {
    std::vector<FileId> out;
    Fd up(::dup(dirfd));
    for (int depth = 0; up.ok() && depth < 4096; ++depth) {
        struct stat ust;
        if (::fstat(up.get(), &ust) != 0) break;
        out.push_back(idOf(ust));
        Fd next(::openat(up.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat nst;
        if (!next.ok() || ::fstat(next.get(), &nst) != 0 || sameFile(nst, ust)) break;
        up = std::move(next);
    }
    return out;
}

SysCalls& sys() {
    static SysCalls calls{::close,     ::renameat2, ::syncfs,         ::fsync,  ::write,
                          ::pwrite,    ::linkat,    ::fchmod,         ::fchown, ::futimens,
                          ::fsetxattr, ::mkdirat,   ::sync_file_range};
    return calls;
}

int claimName(int fromDir, const std::string& from, int toDir, const std::string& to, bool isDir,
              LogOnce* once, const char* what) {
    if (sys().renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL) return err;
    logRenameFallback(once, false, toDir, what);
    if (!isDir) {
        // A new link never replaces either.
        if (sys().linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) == 0) {
            if (::unlinkat(fromDir, from.c_str(), 0) == 0) return 0;
            err = errno;
            ::unlinkat(toDir, to.c_str(), 0);
            return err;
        }
        err = errno;
        if (!unsupported(err) && err != EMLINK) return err;
    }
    // Neither: the name is taken by an exclusive create, then replaced by the entry.
    const int made =
        isDir ? ::mkdirat(toDir, to.c_str(), 0700)
              : ::openat(toDir, to.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (made < 0) return errno;
    if (!isDir) ::close(made);
    if (sys().renameat2(fromDir, from.c_str(), toDir, to.c_str(), 0) == 0) return 0;
    err = errno;
    ::unlinkat(toDir, to.c_str(), isDir ? AT_REMOVEDIR : 0);
    return err;
}

std::string tempName() {
    static std::atomic<unsigned> counter{0};
    char buf[64];
    std::snprintf(buf, sizeof buf, ".qb-%ld-%u.part", static_cast<long>(::getpid()), ++counter);
    return buf;
}

std::string describeFs(int fd) {
    struct statfs fs;
    struct stat st;
    if (::fstatfs(fd, &fs) != 0 || ::fstat(fd, &st) != 0) return "an unknown file system";
    char buf[96];
    std::snprintf(buf, sizeof buf, "file system 0x%lx on device %u:%u",
                  static_cast<unsigned long>(fs.f_type), major(st.st_dev), minor(st.st_dev));
    return buf;
}

void logRenameFallback(LogOnce* once, bool exchange, int dir, const char* instead) {
    if (!once || !once->first(exchange ? LogKind::Exchange : LogKind::NoReplace)) return;
    logLine("renameat2 without %s on %s: %s", exchange ? "RENAME_EXCHANGE" : "RENAME_NOREPLACE",
            describeFs(dir).c_str(), instead);
}

} // namespace qb::engine
