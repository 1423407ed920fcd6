#include "RunTimed.h"

#include <chrono>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qb::bench {

RunTime runTimed(const std::vector<std::string>& cmd) {
    std::vector<char*> argv;
    for (const auto& a : cmd)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    RunTime t;
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid) return t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    t.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return t;
}

} // namespace qb::bench
