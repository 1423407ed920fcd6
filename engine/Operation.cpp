// The engine's entry point: one job per dropped item.
#include "engine/Operation.h"

#include "engine/Job.h"

namespace qb {

OperationResult runOperation(Op op, Policy policy, const std::string& source,
                             const std::string& destFolder, OperationObserver& observer,
                             const std::atomic<bool>& cancel, const OperationOptions& options) {
    engine::Job job(op, policy, observer, cancel, options);
    return job.run(source, destFolder);
}

} // namespace qb
