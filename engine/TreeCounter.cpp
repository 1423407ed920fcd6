// Counting a source tree before the work: its files, its bytes, its folders.
#include "engine/TreeCounter.h"

#include <dirent.h>
#include <fcntl.h>

namespace qb::engine {

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

} // namespace qb::engine
