#pragma once
// Whether the program can open its windows, told before the toolkit tries: the
// toolkit aborts the process when it cannot, and a command started from a shell,
// a script or a login without a desktop deserves a plain answer instead.
#include <string>

namespace qb {

// Why the program cannot open its windows on the toolkit's `platform` and `display`
// (its -platform and -display options, "" when not given; the environment
// otherwise), or "" when nothing stands in the way that can be told beforehand.
std::string displayProblem(const std::string& platform = {}, const std::string& display = {});

} // namespace qb
