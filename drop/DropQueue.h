// The drop queue's plan: which waiting jobs may start beside the running ones.
#pragma once
#include "engine/Operation.h"
#include "operation/QueueRows.h"

#include <QString>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qb {

// What a job touches: the file systems of its items and its destination, and
// the paths themselves.
struct JobFootprint {
    std::vector<std::string> sources;
    std::string dest;
    std::vector<dev_t> devices; // unknown ones left out
    bool move = false;
    // A move whose items all lie on the destination's file system: renames, done
    // in constant time.
    bool rename = false;
};

// The footprint of a job, from the file system as it is now.
JobFootprint footprintOf(Op op, const std::vector<std::string>& sources, const std::string& dest);

// Whether `a` and `b` must not run side by side: they share a file system (unless
// either only renames), or one changes or reads what the other changes.
bool mustWait(const JobFootprint& a, const JobFootprint& b);

// The waiting jobs (indices into `waiting`, in order) that may start beside
// `running`: a job waits behind any running job and any earlier waiting one it
// must not run beside, so jobs on one file system keep their order.
std::vector<std::size_t> startable(const std::vector<JobFootprint>& running,
                                   const std::vector<JobFootprint>& waiting);

} // namespace qb
