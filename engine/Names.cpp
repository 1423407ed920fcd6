// What an item is called at its destination, and which items of a drop are repeats.
#include "engine/Names.h"

#include "engine/Posix.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace qb {

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

namespace {

// The folder holding `item`, and the item's name in it.
std::string parentOf(const std::string& item, std::string& name) {
    std::string p = item;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const auto slash = p.rfind('/');
    name = slash == std::string::npos ? p : p.substr(slash + 1);
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

} // namespace

std::vector<std::string> distinctItems(const std::vector<std::string>& items) {
    std::vector<std::string> out;
    std::vector<std::pair<engine::FileId, std::string>> seen;
    for (const std::string& item : items) {
        std::string name;
        const std::string parent = parentOf(item, name);
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
    // An item inside a folder that is itself an item goes with that folder: on its
    // own it would find itself gone.
    std::vector<engine::FileId> folders;
    for (const std::string& item : out) {
        std::string name;
        const std::string parent = parentOf(item, name);
        struct stat st; // the entry itself, never what a link to a folder shows
        if (::fstatat(AT_FDCWD, engine::joinPath(parent, name).c_str(), &st, AT_SYMLINK_NOFOLLOW) ==
                0 &&
            S_ISDIR(st.st_mode))
            folders.push_back(engine::idOf(st));
    }
    if (folders.empty()) return out;
    std::vector<std::string> outer;
    for (const std::string& item : out) {
        std::string name;
        const std::string parent = parentOf(item, name);
        const engine::Fd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const std::vector<engine::FileId> up =
            dir.ok() ? engine::ancestors(dir.get()) : std::vector<engine::FileId>();
        const bool inner = std::any_of(up.begin(), up.end(), [&](const engine::FileId& id) {
            return std::find(folders.begin(), folders.end(), id) != folders.end();
        });
        if (!inner) outer.push_back(item);
    }
    return outer;
}

} // namespace qb
