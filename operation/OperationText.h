// The sentences the user reads for the engine's errors.
#pragma once
#include "engine/Operation.h"

#include <QString>

namespace qb {

// The sentence for an error of a copy (or move): what failed, where, and why.
QString operationErrorText(Op op, const OpError& error);

} // namespace qb
