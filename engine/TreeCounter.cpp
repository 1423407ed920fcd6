// Counting a source tree before the work: its files, its bytes, its folders.
#include "engine/TreeCounter.h"

#include <dirent.h>
#include <fcntl.h>

namespace qb::engine {

void TreeCounter::count(const DirRef& parent, const std::string& name, const struct stat& st) {
    if (pause_) pause_->waitWhilePaused(cancel_);
    if (cancel_.load(std::memory_order_relaxed)) throw Stop{};
    if (!S_ISDIR(st.st_mode)) {
        totals_.filesTotal++;
        if (S_ISREG(st.st_mode)) totals_.bytesTotal += static_cast<std::uint64_t>(st.st_size);
        return;
    }
    folders_.insert(idOf(st));
    const DirRef dir = dirs_.open(parent, name);
    std::vector<Entry> entries;
    if (!dir || listEntries(dirs_.fd(*dir), entries) != 0) return;
    struct Up {
        DirCache& dirs;
        const DirNode& from;
        ~Up() { dirs.backTo(from); }
    } const up{dirs_, *dir};
    for (const Entry& e : entries) {
        if (e.type != DT_DIR && e.type != DT_REG && e.type != DT_UNKNOWN) {
            totals_.filesTotal++;
            continue;
        }
        // The folders below may have released this one's handle.
        const int fd = dirs_.fd(*dir);
        if (fd < 0) return;
        struct stat cst;
        if (::fstatat(fd, e.name.c_str(), &cst, AT_SYMLINK_NOFOLLOW) == 0) count(dir, e.name, cst);
    }
}

} // namespace qb::engine
