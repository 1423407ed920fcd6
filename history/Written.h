// The entries a copied folder's copy wrote, and which of them an undo may take back.
#pragma once
#include "history/Journal.h"

#include <string>
#include <vector>

namespace qb::history {

// Every entry under the open folder `dirfd` by its path inside it, a folder before
// what it holds; links are not followed.
std::vector<WrittenEntry> listTree(int dirfd);

// A copied folder now (`now`) against what its copy wrote (`then`).
struct CopyCheck {
    std::vector<std::string> kept;   // added or changed since: stays (the topmost of each)
    std::vector<std::string> pieces; // written and unchanged, each taken whole
    bool whole() const { return kept.empty(); } // the folder itself can go as one
};
CopyCheck checkCopy(const std::vector<WrittenEntry>& then, const std::vector<WrittenEntry>& now);

} // namespace qb::history
