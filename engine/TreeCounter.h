// Counting a source tree before the work: how much there is, and which folders it holds.
#pragma once
#include "engine/DirCache.h"
#include "engine/Pause.h"

#include <atomic>
#include <set>

namespace qb::engine {

class TreeCounter {
public:
    TreeCounter(Progress& totals, const std::atomic<bool>& cancel, DirCache& dirs,
                const PauseGate* pause = nullptr)
        : totals_(totals), cancel_(cancel), dirs_(dirs), pause_(pause) {}
    // Adds the files and bytes under (parent, name) to the totals and notes every
    // folder met. Errors surface later, in the copy. Throws Stop when cancelled.
    void count(const DirRef& parent, const std::string& name, const struct stat& st);
    const std::set<FileId>& folders() const { return folders_; }

private:
    Progress& totals_;
    const std::atomic<bool>& cancel_;
    DirCache& dirs_; // the job's: the count holds no more handles than the walk
    const PauseGate* pause_;
    std::set<FileId> folders_;
};

} // namespace qb::engine
