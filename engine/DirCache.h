// Folders a walk holds open, within a budget of descriptors whatever the tree's depth.
#pragma once
// A walk needs a folder's handle while it is in it and again when it comes back up;
// holding one per level runs out of descriptors under the usual limit in a deep tree.
// Beyond the budget the least recently used handles are released, and reopened by
// name from the folder above (or by ".." from the folder below) when needed again,
// checked against the identity recorded first: a folder put in the place of another
// meanwhile is refused, never followed.
#include "engine/Posix.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qb::engine {

struct DirNode : std::enable_shared_from_this<DirNode> {
    std::shared_ptr<DirNode> parent; // null for a root, which is never released
    std::string name;                // in the parent
    FileId id{};
    std::shared_ptr<const Fd> fd; // null while released
    std::uint64_t used = 0;       // when last asked for
};
using DirRef = std::shared_ptr<DirNode>;

class DirCache {
public:
    // The fewest handles it keeps: the folders a walk is in, and those it just used.
    static constexpr std::size_t kMinBudget = 8;

    explicit DirCache(std::size_t budget = 4096) { setBudget(budget); }
    void setBudget(std::size_t budget) { budget_ = budget < kMinBudget ? kMinBudget : budget; }
    std::size_t budget() const { return budget_; }

    // A folder held open for the whole job. Null when `fd` cannot be examined.
    static DirRef root(Fd fd);
    // Opens the folder `name` in `parent` without following a link; null and errno on
    // failure. `st` (if given) gets its stat.
    DirRef open(const DirRef& parent, const std::string& name, struct stat* st = nullptr);
    // The folder's descriptor, reopened if it was released; -1 and errno on failure
    // (ESTALE: another folder is there now). It stays valid at least until the next
    // call that opens one; those the walk is in (current()) stay open.
    int fd(DirNode& n);
    // Before a walk goes back up from `child`: its parent, if released, is reopened
    // through ".." while the child is still open (no walk down from the top).
    void backTo(const DirNode& child);
    // The folders the walk is in now: never released while they are.
    void setCurrent(const DirNode* src, const DirNode* dst) {
        current_[0] = src;
        current_[1] = dst;
    }
    // Handles open now, roots aside.
    std::size_t held();

    // Descriptors the process may still open: the soft limit less those open now.
    static std::size_t freeDescriptors();

private:
    int reopen(DirNode& n, int at, const char* name, int flags);
    int adopt(DirNode& n, int raw);
    void trim();

    std::size_t budget_ = kMinBudget;
    std::uint64_t tick_ = 0;
    std::vector<std::weak_ptr<DirNode>> open_;
    const DirNode* current_[2] = {nullptr, nullptr};
};

} // namespace qb::engine
