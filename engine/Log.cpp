// The engine's log: the sink, and lines put together only when there is one.
#include "engine/Log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qb {

namespace {

std::atomic<EngineLogSink> g_sink{nullptr};

} // namespace

void setEngineLogSink(EngineLogSink sink) {
    g_sink.store(sink, std::memory_order_release);
}

namespace engine {

bool logging() {
    return g_sink.load(std::memory_order_acquire) != nullptr;
}

void logLine(const char* format, ...) {
    const EngineLogSink sink = g_sink.load(std::memory_order_acquire);
    if (!sink) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    sink(std::string_view(line, std::min(static_cast<std::size_t>(n), sizeof line - 1)));
}

std::string errorText(int code) {
    char buf[256];
    // GNU strerror_r: returns a pointer, maybe to a static string; thread-safe.
    return std::string(strerror_r(code, buf, sizeof buf)) + " (" + std::to_string(code) + ")";
}

} // namespace engine
} // namespace qb
