#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace qb {

namespace {

// The toolkit's own options, as its application classes take them (with one
// dash or two): those followed by a value, those that carry it after "=", and
// plain switches.
constexpr std::string_view kToolkitValueOptions[] = {"platform",
                                                     "platformpluginpath",
                                                     "platformtheme",
                                                     "plugin",
                                                     "qwindowgeometry",
                                                     "geometry",
                                                     "qwindowtitle",
                                                     "title",
                                                     "qwindowicon",
                                                     "icon",
                                                     "session",
                                                     "display",
                                                     "name",
                                                     "visual",
                                                     "style",
                                                     "stylesheet"};
constexpr std::string_view kToolkitAssignOptions[] = {"style", "stylesheet", "qmljsdebugger"};
constexpr std::string_view kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <size_t N> bool listed(const std::string_view (&names)[N], std::string_view name) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

CommandLine refuse(std::string problem) {
    return {CommandLine::Action::Refuse, std::move(problem)};
}

} // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-')
            return refuse("unexpected argument '" + std::string(arg) + "'");
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") return {CommandLine::Action::Help, {}};
        if (arg == "--version") return {CommandLine::Action::Version, {}};

        const std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const size_t eq = name.find('=');
        if (eq != std::string_view::npos) {
            if (listed(kToolkitAssignOptions, name.substr(0, eq))) continue;
        } else if (listed(kToolkitValueOptions, name)) {
            if (++i >= argc) return refuse("option '" + std::string(arg) + "' needs a value");
            continue;
        } else if (listed(kToolkitFlags, name)) {
            continue;
        }
        return refuse("unknown option '" + std::string(arg) + "'");
    }
    return {};
}

std::string usageLine() {
    return "Usage: quillbeck [--help] [--version] [toolkit options]\n";
}

std::string helpText() {
    return usageLine() +
           "Shows the folder board that hides at the left screen edge.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "The standard options of Qt programs (-display, -platform, -style, ...) are\n"
           "accepted too. Only one copy runs for each user. See quillbeck(1).\n";
}

std::string versionText(const char* program) {
    return std::string(program) + " " QB_VERSION "\n" +
           "Copyright (C) 2026 The Quillbeck developers\n"
           "License GPL-3.0-or-later <https://www.gnu.org/licenses/gpl.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

int answerCommandLine(const CommandLine& line) {
    const auto put = [](const std::string& text, FILE* stream) {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
               std::fflush(stream) == 0;
    };
    switch (line.action) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::Help:
        return put(helpText(), stdout) ? 0 : 1;
    case CommandLine::Action::Version:
        return put(versionText("quillbeck"), stdout) ? 0 : 1;
    case CommandLine::Action::Refuse:
        put("quillbeck: " + line.problem + "\n" + usageLine(), stderr);
        return 2;
    }
    return 2;
}

} // namespace qb
