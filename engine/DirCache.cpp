// The walk's folder handles: opened, released beyond the budget, reopened and checked.
#include "engine/DirCache.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

namespace qb::engine {

DirRef DirCache::root(Fd fd) {
    struct stat st;
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return nullptr;
    auto n = std::make_shared<DirNode>();
    n->id = idOf(st);
    n->fd = std::make_shared<const Fd>(std::move(fd));
    return n;
}

DirRef DirCache::open(const DirRef& parent, const std::string& name, struct stat* st) {
    const int at = fd(*parent);
    if (at < 0) return nullptr;
    Fd raw(openDir(at, name));
    struct stat s;
    if (!raw.ok() || ::fstat(raw.get(), &s) != 0) return nullptr;
    auto n = std::make_shared<DirNode>();
    n->parent = parent;
    n->name = name;
    n->id = idOf(s);
    adopt(*n, raw.release());
    if (st) *st = s;
    return n;
}

int DirCache::fd(DirNode& n) {
    if (n.fd) {
        n.used = ++tick_;
        return n.fd->get();
    }
    if (!n.parent) {
        errno = EBADF;
        return -1;
    }
    const int at = fd(*n.parent);
    return at < 0 ? -1 : reopen(n, at, n.name.c_str(), O_NOFOLLOW);
}

void DirCache::backTo(const DirNode& child) {
    DirNode* up = child.parent.get();
    if (!up || up->fd || !child.fd) return;
    const int saved = errno;
    // ".." of a folder moved meanwhile is another folder: refused here, reopened by name later.
    if (reopen(*up, child.fd->get(), "..", 0) < 0) errno = saved;
}

int DirCache::reopen(DirNode& n, int at, const char* name, int flags) {
    Fd raw(::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
    struct stat st;
    if (!raw.ok() || ::fstat(raw.get(), &st) != 0) return -1;
    if (idOf(st) != n.id) {
        errno = ESTALE;
        return -1;
    }
    return adopt(n, raw.release());
}

int DirCache::adopt(DirNode& n, int raw) {
    n.fd = std::make_shared<const Fd>(raw);
    n.used = ++tick_;
    open_.push_back(n.weak_from_this());
    if (open_.size() > budget_) trim();
    return raw;
}

void DirCache::trim() {
    // Folders no longer needed anywhere closed their handles with their last user.
    held();
    while (open_.size() > budget_) {
        auto victim = open_.end();
        std::uint64_t oldest = UINT64_MAX;
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            const DirRef n = it->lock();
            if (n && n.get() != current_[0] && n.get() != current_[1] && n->used < oldest) {
                oldest = n->used;
                victim = it;
            }
        }
        if (victim == open_.end()) return;
        if (const DirRef n = victim->lock()) n->fd.reset();
        open_.erase(victim);
    }
}

std::size_t DirCache::held() {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [](const std::weak_ptr<DirNode>& w) {
                                   const DirRef n = w.lock();
                                   return !n || !n->fd;
                               }),
                open_.end());
    return open_.size();
}

std::size_t DirCache::freeDescriptors() {
    struct rlimit lim;
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return 1 << 16;
    std::size_t used = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            used += e->d_name[0] != '.';
        ::closedir(d);
        used = used > 0 ? used - 1 : 0; // the listing's own
    } else {
        used = 32; // a guess: what a desktop program holds
    }
    return lim.rlim_cur > used ? static_cast<std::size_t>(lim.rlim_cur) - used : 0;
}

} // namespace qb::engine
