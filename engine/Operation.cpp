// The engine's entry point: one job per dropped item.
#include "engine/Operation.h"

#include "engine/Job.h"

#include <sys/resource.h>

namespace qb {

namespace {

// A folder tree holds two descriptors per level while it is copied: the usual soft
// limit of 1,024 ends a deep tree's move halfway, while the hard limit the desktop
// allows is far above. The program waits in poll(), never select(), so more
// descriptors harm nothing.
void raiseFileLimit() {
    struct rlimit lim;
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur >= lim.rlim_max) return;
    lim.rlim_cur = lim.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &lim);
}

} // namespace

OperationResult runOperation(Op op, Policy policy, const std::string& source,
                             const std::string& destFolder, OperationObserver& observer,
                             const std::atomic<bool>& cancel, const OperationOptions& options) {
    raiseFileLimit();
    engine::Job job(op, policy, observer, cancel, options);
    return job.run(source, destFolder);
}

} // namespace qb
