// The user's Trash: finding one that an entry's mount can use, and putting entries in.
#include "engine/Trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

namespace qb::engine {

namespace {

constexpr char kInfoSuffix[] = ".trashinfo";

bool mountOf(int dirfd, const char* name, std::uint64_t& mnt) {
    struct statx sx;
    const int flags = name[0] ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH;
    if (::statx(dirfd, name, flags, STATX_MNT_ID, &sx) != 0 || !(sx.stx_mask & STATX_MNT_ID))
        return false;
    mnt = sx.stx_mnt_id;
    return true;
}

// Opens (creating where missing, owner-only) the folder `name` in `at`; it must be
// a real folder of ours, never a link someone planted.
int ownDir(int at, const char* name) {
    if (sys().mkdirat(at, name, 0700) != 0 && errno != EEXIST) return -1;
    const int fd = openDir(at, name);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_uid != ::getuid())) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

// Creates every missing folder of an absolute path; returns an fd for it.
int makePath(const std::string& path) {
    Fd cur(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::size_t pos = 1;
    while (cur.ok() && pos < path.size()) {
        const std::size_t end = std::min(path.find('/', pos), path.size());
        const std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        if (sys().mkdirat(cur.get(), part.c_str(), 0700) != 0 && errno != EEXIST) return -1;
        cur.reset(::openat(cur.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return cur.ok() ? ::dup(cur.get()) : -1;
}

// The trash name for the n-th try: "name", "name.2", ... short enough for its info file.
std::string candidate(const std::string& base, int n) {
    std::string s = base;
    // Appended, not concatenated: g++ 12 at -O3 warns falsely about "." + string.
    std::string suffix;
    if (n > 1) suffix.append(".").append(std::to_string(n));
    while (!s.empty() && s.size() + suffix.size() + sizeof kInfoSuffix - 1 > 255) {
        s.pop_back();
        while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80)
            s.pop_back();
    }
    return s + suffix;
}

int writeInfo(int infoDir, const std::string& file, const std::string& text) {
    Fd fd(::openat(infoDir, (file + kInfoSuffix).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                   0600));
    if (!fd.ok()) return errno;
    int err = 0;
    for (std::size_t off = 0; off < text.size() && !err;) {
        const ssize_t n = sys().write(fd.get(), text.data() + off, text.size() - off);
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) off += static_cast<std::size_t>(n);
    }
    if (const int c = fd.close(); !err) err = c;
    if (err) ::unlinkat(infoDir, (file + kInfoSuffix).c_str(), 0);
    return err;
}

// The path of an open folder, as the kernel knows it now.
std::string fdPath(int fd) {
    char buf[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// What failed and why (the errno of the moment), for the log.
template <class Why> void failure(Why& why, const char* what, const std::string& path = {}) {
    why.code = errno;
    why.text = what + path + ": " + errorText(why.code);
}

// A reason of our own, without an errno of the moment.
template <class Why> void refusal(Why& why, int code, const char* what) {
    why.code = code;
    why.text = what;
}

} // namespace

std::string trashPathEncode(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') ||
                          std::string_view("-_.!~*'()/").find(ch) != std::string_view::npos;
        if (keep) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::unique_ptr<Trash::Can> Trash::openHome(std::uint64_t mnt, Why& why) {
    std::string data;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && x[0] == '/')
        data = x;
    else if (const char* h = std::getenv("HOME"); h && h[0] == '/')
        data = std::string(h) + "/.local/share";
    else
        return refusal(why, ENOENT,
                       "home trash: neither $XDG_DATA_HOME nor $HOME is an absolute path"),
               nullptr;
    Fd dataFd(makePath(data));
    if (!dataFd.ok()) return failure(why, "home trash: ", data), nullptr;
    std::uint64_t homeMnt = 0;
    if (!mountOf(dataFd.get(), "", homeMnt) || homeMnt != mnt)
        return refusal(why, EXDEV, "home trash: on another mount"), nullptr;
    Fd trash(ownDir(dataFd.get(), "Trash"));
    if (!trash.ok()) return failure(why, "home trash: Trash in ", data), nullptr;
    std::unique_ptr<Can> can = openCan(trash.get(), why);
    if (!can) why.text = "home trash: " + why.text;
    return can;
}

std::unique_ptr<Trash::Can> Trash::openCan(int trash, Why& why) {
    auto can = std::make_unique<Can>();
    can->files.reset(ownDir(trash, "files"));
    if (!can->files.ok()) failure(why, "files/");
    can->info.reset(ownDir(trash, "info"));
    if (!can->info.ok()) failure(why, "info/");
    if (!can->files.ok() || !can->info.ok()) return nullptr;
    return can;
}

std::unique_ptr<Trash::Can> Trash::openTop(int dirfd, std::uint64_t mnt, Why& why) {
    // The top of the mount: go up while ".." is still on it.
    Fd top(::dup(dirfd));
    for (int depth = 0; top.ok() && depth < 4096; ++depth) {
        std::uint64_t up = 0;
        struct stat a, b;
        if (!mountOf(top.get(), "..", up) || up != mnt || ::fstat(top.get(), &a) != 0 ||
            ::fstatat(top.get(), "..", &b, 0) != 0 || sameFile(a, b))
            break;
        top.reset(::openat(top.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!top.ok()) return failure(why, "trash at the mount's top: its top"), nullptr;
    const std::string uid = std::to_string(::getuid());
    Fd trash;
    struct stat st;
    // An administrator's shared $topdir/.Trash (sticky, no link) holds one folder per user.
    if (::fstatat(top.get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX)) {
        Fd shared(openDir(top.get(), ".Trash"));
        if (shared.ok()) trash.reset(ownDir(shared.get(), uid.c_str()));
    }
    if (!trash.ok()) trash.reset(ownDir(top.get(), (".Trash-" + uid).c_str()));
    if (!trash.ok()) return failure(why, "trash at the mount's top: .Trash-", uid), nullptr;
    std::unique_ptr<Can> can = openCan(trash.get(), why);
    std::uint64_t filesMnt = 0;
    if (can && (!mountOf(can->files.get(), "", filesMnt) || filesMnt != mnt)) {
        refusal(why, EXDEV, "files/ on another mount");
        can.reset();
    }
    if (!can) why.text = "trash at the mount's top: " + why.text;
    return can;
}

Trash::Can* Trash::find(int dirfd) {
    std::uint64_t mnt = 0;
    if (!mountOf(dirfd, "", mnt)) return nullptr;
    const auto it = cache_.find(mnt);
    if (it != cache_.end()) return it->second.get();
    Why home, top;
    std::unique_ptr<Can> can = openHome(mnt, home);
    if (!can) can = openTop(dirfd, mnt, top);
    // The user hears the home trash's reason where it is on this mount, else the top's.
    const int code = home.code != EXDEV || !top.code ? home.code : top.code;
    if (!can) whyNone_[mnt] = {home.text + "; " + top.text, code};
    return (cache_[mnt] = std::move(can)).get();
}

std::string Trash::whyNone(int dirfd) const {
    std::uint64_t mnt = 0;
    if (!mountOf(dirfd, "", mnt)) return "the kernel tells no mount id (statx STATX_MNT_ID)";
    const auto it = whyNone_.find(mnt);
    return it == whyNone_.end() ? std::string() : it->second.text;
}

int Trash::whyNoneCode(int dirfd) const {
    std::uint64_t mnt = 0;
    if (!mountOf(dirfd, "", mnt)) return ENOTSUP;
    const auto it = whyNone_.find(mnt);
    return it == whyNone_.end() || !it->second.code ? 0 : it->second.code;
}

bool Trash::available(int dirfd) {
    return find(dirfd) != nullptr;
}

int Trash::put(int dirfd, const std::string& name, const std::string& path, Placed* where) {
    Can* can = find(dirfd);
    if (!can) {
        const int code = whyNoneCode(dirfd);
        return code ? code : EXDEV;
    }
    const std::string base = path.substr(path.rfind('/') + 1);
    const std::string text =
        "[Trash Info]\nPath=" + trashPathEncode(path) + "\nDeletionDate=" + trashDateNow() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string file = candidate(base.empty() ? name : base, n);
        const int err = writeInfo(can->info.get(), file, text);
        if (err == EEXIST) continue;
        if (err) return err;
        struct stat st;
        const bool isDir =
            ::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        const int code =
            claimName(dirfd, name, can->files.get(), file, isDir, once_,
                      "entries go into the Trash by a hard link or an exclusive create");
        if (!code) {
            if (where) {
                where->file = joinPath(fdPath(can->files.get()), file);
                where->info = joinPath(fdPath(can->info.get()), file + kInfoSuffix);
            }
            return 0;
        }
        ::unlinkat(can->info.get(), (file + kInfoSuffix).c_str(), 0);
        if (code != EEXIST) return code;
    }
    return EEXIST;
}

std::string trashDateNow() {
    const std::time_t t = std::time(nullptr);
    struct tm lt;
    ::localtime_r(&t, &lt);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &lt);
    return buf;
}

} // namespace qb::engine
