// What is dragged: each item's device at once, then its files, bytes and names,
// counted in the background.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

namespace qb::verdict {

struct DraggedItem {
    std::string path;
    bool exists = false;
    dev_t dev = 0;
    // Filled in by count(): everything below the item, the item itself included.
    bool counted = false;
    std::uint64_t files = 0, bytes = 0, largest = 0;
    std::uint64_t longestName = 0; // bytes
    std::string fatForbidden;      // the first name FAT or exFAT cannot hold
    std::string caseClash;         // the first name that differs from a sibling's in case only
};

// The drag as counted so far.
struct DragCount {
    std::vector<DraggedItem> items;
    bool finished() const;
    std::uint64_t bytes(bool (*include)(const DraggedItem&) = nullptr) const;
};

// The item's device and existence: one lstat, done while the drag enters.
DraggedItem look(const std::string& path);
// Walks the item's tree without following links; stops early when `cancel` is set.
// False when cancelled.
bool count(DraggedItem& item, const std::atomic<bool>& cancel);

// Whether FAT or exFAT refuses the name: a reserved character, a control
// character, or a trailing dot or blank (which those file systems drop).
bool fatForbidden(const std::string& name);
// The name with letters folded to one case, as case-insensitive file systems compare them.
std::string foldCase(const std::string& name);
// The first of `names` whose folded form another of them shares, or "".
std::string caseClashAmong(const std::vector<std::string>& names);

} // namespace qb::verdict
