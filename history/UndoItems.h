// What an undo's plan and its run both ask of a path and of an item's row.
#pragma once
#include "history/Journal.h"

#include <string>

#include <sys/stat.h>

namespace qb::history {

// Whether anything, a dangling link too, is at `path`.
inline bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The rows that undo themselves: dropped items placed whole, and the entries of merges.
inline bool undoable(const ItemRecord& r) {
    return r.state == ItemState::Done && !r.merged && !r.dest.empty();
}

} // namespace qb::history
