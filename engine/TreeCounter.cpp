#include "engine/TreeCounter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>

namespace qb {
namespace engine {

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
    static SysCalls calls{::close, ::renameat2, ::syncfs, ::fsync};
    return calls;
}

std::string tempName() {
    static std::atomic<unsigned> counter{0};
    char buf[64];
    std::snprintf(buf, sizeof buf, ".qb-%ld-%u.part", static_cast<long>(::getpid()), ++counter);
    return buf;
}

void TreeCounter::count(int dirfd, const std::string& name, const struct stat& st) {
    if (cancel_.load(std::memory_order_relaxed)) throw Stop{};
    if (!S_ISDIR(st.st_mode)) {
        totals_.filesTotal++;
        if (S_ISREG(st.st_mode)) totals_.bytesTotal += static_cast<std::uint64_t>(st.st_size);
        return;
    }
    folders_.insert(idOf(st));
    Fd fd(openDir(dirfd, name));
    std::vector<Entry> entries;
    if (!fd.ok() || listEntries(fd.get(), entries) != 0) return;
    for (const Entry& e : entries) {
        if (e.type != DT_DIR && e.type != DT_REG && e.type != DT_UNKNOWN) {
            totals_.filesTotal++;
            continue;
        }
        struct stat cst;
        if (::fstatat(fd.get(), e.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) == 0)
            count(fd.get(), e.name, cst);
    }
}

} // namespace engine

namespace {

constexpr std::size_t kNameMax = 255;

// Drops the last UTF-8 character of s.
void popUtf8(std::string& s) {
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

std::string extensionOf(const std::string& name) {
    static const char* const doubles[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst"};
    for (const char* d : doubles) {
        const std::size_t len = std::strlen(d);
        if (name.size() > len && name.compare(name.size() - len, len, d) == 0) return d;
    }
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) return name.substr(dot);
    return {};
}

// "report (3)" goes on to "report (4)", not "report (3) (2)".
long countOnFrom(std::string& stem, int n) {
    if (stem.size() <= 4 || stem.back() != ')') return n;
    const auto open = stem.rfind(" (");
    if (open == std::string::npos || open + 2 >= stem.size() - 1) return n;
    const std::string digits = stem.substr(open + 2, stem.size() - open - 3);
    if (digits.size() >= 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return n;
    stem.resize(open);
    return std::stol(digits) + n - 1;
}

} // namespace

std::string renamedName(const std::string& name, bool isDir, int n) {
    const std::string ext = isDir ? std::string() : extensionOf(name);
    std::string stem = name.substr(0, name.size() - ext.size());
    const long number = countOnFrom(stem, n);
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::string e = ext;
    while (!stem.empty() && stem.size() + suffix.size() + e.size() > kNameMax)
        popUtf8(stem);
    if (stem.size() + suffix.size() + e.size() > kNameMax) e.clear();
    return stem + suffix + e;
}

std::vector<std::string> distinctItems(const std::vector<std::string>& items) {
    std::vector<std::string> out;
    std::vector<std::pair<engine::FileId, std::string>> seen;
    for (const std::string& item : items) {
        std::string p = item;
        while (p.size() > 1 && p.back() == '/')
            p.pop_back();
        const auto slash = p.rfind('/');
        const std::string parent = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : p.substr(0, slash);
        const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
        struct stat st;
        if (::stat(parent.c_str(), &st) == 0) {
            const std::pair<engine::FileId, std::string> key{engine::idOf(st), name};
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
            seen.push_back(key);
        } else if (std::find(out.begin(), out.end(), item) != out.end()) {
            continue;
        }
        out.push_back(item);
    }
    return out;
}

} // namespace qb
