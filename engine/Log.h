// The engine's log: the decisions a bug report needs, handed to a sink the program sets.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// Takes one line of the engine's log. Called on the thread that decided (the job's
// or a copy worker's), so it must be safe to call from several threads at once.
using EngineLogSink = void (*)(std::string_view line);

// Where the engine's log goes from now on; nullptr (the default) logs nothing, and
// then no line is even put together.
void setEngineLogSink(EngineLogSink sink);

namespace engine {

// Whether a sink is set.
bool logging();
// Puts a line together printf-style and hands it to the sink, if one is set.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The system's words for an errno, with its number: "Invalid argument (22)".
std::string errorText(int code);

// Decisions that would otherwise be logged for every file, once per job each.
enum class LogKind { CopyRange, TempFile, NoReplace, Exchange, Trash, Sync, Count };

class LogOnce {
public:
    // True the first time it is asked about `kind` while a sink is set.
    bool first(LogKind kind) {
        return logging() &&
               !seen_[static_cast<std::size_t>(kind)].exchange(true, std::memory_order_relaxed);
    }

private:
    std::array<std::atomic<bool>, static_cast<std::size_t>(LogKind::Count)> seen_{};
};

} // namespace engine
} // namespace qb
