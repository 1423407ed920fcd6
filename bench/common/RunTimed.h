#pragma once
// Runs a command to its end in a process of its own and times it, as the command-line
// benchmarks compare whole processes. Plain POSIX: no Qt.
#include <string>
#include <vector>

namespace qb::bench {

struct RunTime {
    bool ok = false; // exited with 0
    double wall = 0; // seconds
    double cpu = 0;  // user + system seconds of the process
};

RunTime runTimed(const std::vector<std::string>& cmd);

} // namespace qb::bench
