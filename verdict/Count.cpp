// Counting a dragged tree: files, bytes, the largest file, names a FAT disk refuses.
#include "verdict/Count.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace qb::verdict {
namespace {

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Appends the UTF-8 form of code point `c`.
void putUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Upper-case letters of the scripts names are commonly written in: Latin, Greek, Cyrillic.
char32_t lower(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x178 &&
        c != 0x17F)
        return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ? c + (c & 1) : c | 1;
    return c;
}

class Walk {
public:
    Walk(DraggedItem& item, const std::atomic<bool>& cancel) : item_(item), cancel_(cancel) {}

    bool run() {
        struct stat st {};
        if (::lstat(item_.path.c_str(), &st) != 0) return true;
        name(baseName(item_.path));
        if (!S_ISDIR(st.st_mode)) {
            file(st);
            return true;
        }
        const int fd = ::open(item_.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return fd < 0 || folder(fd);
    }

private:
    void name(const std::string& n) {
        item_.longestName = std::max<std::uint64_t>(item_.longestName, n.size());
        if (item_.fatForbidden.empty() && fatForbidden(n)) item_.fatForbidden = n;
    }
    void file(const struct stat& st) {
        ++item_.files;
        if (!S_ISREG(st.st_mode)) return;
        const auto size = static_cast<std::uint64_t>(st.st_size);
        item_.bytes += size;
        item_.largest = std::max(item_.largest, size);
    }
    // Takes `fd` over. Depth first; one open handle per level.
    bool folder(int fd) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
        if (!dir) {
            ::close(fd);
            return true;
        }
        std::vector<std::string> names, subfolders;
        while (const dirent* e = ::readdir(dir.get())) {
            if (cancel_.load(std::memory_order_relaxed)) return false;
            const char* n = e->d_name;
            if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
            names.emplace_back(n);
            name(names.back());
            struct stat st {};
            if (::fstatat(::dirfd(dir.get()), n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(st.st_mode))
                subfolders.emplace_back(n);
            else
                file(st);
        }
        if (item_.caseClash.empty()) item_.caseClash = caseClashAmong(names);
        for (const std::string& sub : subfolders) {
            const int child = ::openat(::dirfd(dir.get()), sub.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0 && !folder(child)) return false;
        }
        return true;
    }

    DraggedItem& item_;
    const std::atomic<bool>& cancel_;
};

} // namespace

bool DragCount::finished() const {
    return std::all_of(items.begin(), items.end(),
                       [](const DraggedItem& i) { return i.counted || !i.exists; });
}

std::uint64_t DragCount::bytes(bool (*include)(const DraggedItem&)) const {
    std::uint64_t sum = 0;
    for (const DraggedItem& i : items)
        if (!include || include(i)) sum += i.bytes;
    return sum;
}

DraggedItem look(const std::string& path) {
    DraggedItem item;
    item.path = path;
    struct stat st {};
    item.exists = ::lstat(path.c_str(), &st) == 0;
    item.dev = st.st_dev;
    return item;
}

bool count(DraggedItem& item, const std::atomic<bool>& cancel) {
    item.files = item.bytes = item.largest = item.longestName = 0;
    item.fatForbidden.clear();
    item.caseClash.clear();
    if (!Walk(item, cancel).run()) return false;
    item.counted = true;
    return true;
}

bool fatForbidden(const std::string& name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\"*:<>?\\|", c)) return true;
    return name.back() == '.' || name.back() == ' ';
}

std::string foldCase(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
        if (len == 0 || i + static_cast<std::size_t>(len) > name.size()) {
            out += name[i++]; // not UTF-8 we fold: kept as it is
            continue;
        }
        char32_t c = len == 1 ? b : len == 2 ? b & 0x1Fu : b & 0x0Fu;
        for (int k = 1; k < len; ++k)
            c = (c << 6) |
                (static_cast<unsigned char>(name[i + static_cast<std::size_t>(k)]) & 0x3Fu);
        putUtf8(out, lower(c));
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string caseClashAmong(const std::vector<std::string>& names) {
    std::unordered_map<std::string, const std::string*> seen;
    for (const std::string& n : names) {
        const auto [it, inserted] = seen.emplace(foldCase(n), &n);
        if (!inserted && *it->second != n) return n;
    }
    return {};
}

} // namespace qb::verdict
