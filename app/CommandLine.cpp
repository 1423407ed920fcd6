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

CommandLine refuse(std::string problem, std::string command = {}) {
    CommandLine line;
    line.action = CommandLine::Action::Refuse;
    line.problem = std::move(problem);
    line.command = std::move(command);
    return line;
}

CommandLine help(std::string command) {
    CommandLine line;
    line.action = CommandLine::Action::Help;
    line.command = std::move(command);
    return line;
}

// A number from `low` to `high` in plain decimal digits.
bool readNumber(std::string_view text, int low, int high, int& out) {
    if (text.empty() || text.size() > 2 || text[0] == '0') return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high) return false;
    out = n;
    return true;
}

bool readSlot(std::string_view text, CommandLine& line) {
    const size_t colon = text.find(':');
    return colon != std::string_view::npos &&
           readNumber(text.substr(0, colon), 1, 10, line.group) &&
           readNumber(text.substr(colon + 1), 1, 20, line.row);
}

CommandLine readSend(int argc, const char* const* argv) {
    const auto wrong = [](std::string problem) { return refuse(std::move(problem), "send"); };
    CommandLine line;
    line.action = CommandLine::Action::Send;
    bool optionsEnded = false;
    bool slotGiven = false;
    bool nameGiven = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") return help("send");
        if (arg == "--copy" || arg == "--move") {
            const char mode = arg[2];
            if (line.mode && line.mode != mode)
                return wrong("--copy and --move exclude each other");
            line.mode = mode;
            continue;
        }
        if (arg == "--wait" || arg == "--verbose") {
            (arg == "--wait" ? line.wait : line.verbose) = true;
            continue;
        }
        // --slot G:R, --slot=G:R, --name NAME, --name=NAME
        const size_t eq = arg.find('=');
        const std::string_view option = arg.substr(0, eq);
        if (option != "--slot" && option != "--name")
            return wrong("unknown option '" + std::string(arg) + "'");
        std::string_view value;
        if (eq != std::string_view::npos)
            value = arg.substr(eq + 1);
        else if (++i < argc)
            value = argv[i];
        else
            return wrong("option '" + std::string(arg) + "' needs a value");
        bool& given = option == "--slot" ? slotGiven : nameGiven;
        if (given) return wrong("option '" + std::string(option) + "' given twice");
        given = true;
        if (slotGiven && nameGiven) return wrong("--slot and --name exclude each other");
        if (option == "--slot") {
            if (!readSlot(value, line))
                return wrong("'" + std::string(value) + "' is no slot: GROUP:ROW, 1-10:1-20");
        } else {
            if (value.empty()) return wrong("--name needs a slot's name");
            line.name = std::string(value);
        }
    }
    if (!slotGiven && !nameGiven) return wrong("send needs --slot or --name");
    if (line.files.empty()) return wrong("send needs at least one file");
    for (const std::string& f : line.files)
        if (f.empty()) return wrong("an empty file name");
    return line;
}

} // namespace

CommandLine readSubcommand(const std::string& command, int argc, const char* const* argv) {
    if (command == "send") return readSend(argc, argv);
    if (argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0))
        return help(command);
    if (argc > 0) return refuse(command + " takes no arguments", command);
    CommandLine line;
    line.action = command == "show" ? CommandLine::Action::Show : CommandLine::Action::Slots;
    return line;
}

CommandLine readCommandLine(int argc, const char* const* argv) {
    if (argc > 1) {
        const std::string first = argv[1];
        if (first == "send" || first == "show" || first == "slots")
            return readSubcommand(first, argc - 2, argv + 2);
    }
    // Everything is read: --help or --version beside anything else is a wrong use.
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-')
            return refuse("unexpected argument '" + std::string(arg) + "'");
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help" || arg == "--version") {
            if (line.action == CommandLine::Action::Run)
                line.action =
                    arg == "--version" ? CommandLine::Action::Version : CommandLine::Action::Help;
            continue;
        }

        const std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const size_t eq = name.find('=');
        if (eq != std::string_view::npos) {
            if (listed(kToolkitAssignOptions, name.substr(0, eq))) continue;
        } else if (listed(kToolkitValueOptions, name)) {
            if (++i >= argc) return refuse("option '" + std::string(arg) + "' needs a value");
            if (name == "platform") line.platform = argv[i];
            if (name == "display") line.display = argv[i];
            continue;
        } else if (listed(kToolkitFlags, name)) {
            continue;
        }
        return refuse("unknown option '" + std::string(arg) + "'");
    }
    return line;
}

std::string usageLine(const std::string& command) {
    const std::string send = "quillbeck send [--copy|--move] (--slot GROUP:ROW | --name NAME) "
                             "[--wait [--verbose]] FILE...\n";
    if (command == "send") return "Usage: " + send;
    if (!command.empty()) return "Usage: quillbeck " + command + " [--help]\n";
    return "Usage: quillbeck [--help] [--version] [toolkit options]\n"
           "       " +
           send +
           "       quillbeck show\n"
           "       quillbeck slots\n";
}

std::string helpText(const std::string& command) {
    if (command == "send")
        return usageLine(command) +
               "Hands FILEs to the running program (started if none runs), which copies or\n"
               "moves them into a slot as a drop onto it would. Each FILE must exist and be\n"
               "readable, or nothing is sent.\n"
               "\n"
               "      --copy, --move    copy or move, whatever the board's mode\n"
               "      --slot GROUP:ROW  the slot: groups 1-10, rows 1-20\n"
               "      --name NAME       the slot whose folder is named NAME, the shown group\n"
               "                        first\n"
               "      --wait            wait for the end and print a line per FILE:\n"
               "                        done|skipped|cancelled<TAB>FILE or\n"
               "                        failed<TAB>FILE<TAB>REASON\n"
               "      --verbose         with --wait, also the board's status line, on\n"
               "                        standard error\n"
               "  -h, --help            show this help and exit\n"
               "\n"
               "In FILE and REASON a tab, a line break, a backslash and other control\n"
               "characters are written \\t, \\n, \\\\ and \\xHH.\n"
               "Exit status: 0 done (without --wait: taken), 1 failed, 2 cancelled, 3 refused\n"
               "or no program to talk to, 4 some skipped and none failed; 1 also when there\n"
               "is no display to start the program on, 2 for wrong arguments.\n";
    if (command == "show")
        return usageLine(command) +
               "Brings the running program's board to the left screen edge, starting the\n"
               "program if none runs.\n"
               "\n"
               "  -h, --help  show this help and exit\n"
               "\n"
               "Exit status: 0 shown, 1 no display to start the program on, 2 wrong\n"
               "arguments, 3 no program to talk to.\n";
    if (command == "slots")
        return usageLine(command) +
               "Prints the current account's set slots, one a line:\n"
               "GROUP<TAB>ROW<TAB>NAME<TAB>PATH, escaped as send --wait does. Needs no\n"
               "display and writes nothing.\n"
               "\n"
               "  -h, --help  show this help and exit\n"
               "\n"
               "Exit status: 0, 1 when the output cannot be written, 2 wrong arguments.\n";
    return usageLine() +
           "Shows the folder board that hides at the left screen edge.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "  send    copy or move FILEs into a slot of the running program (started if\n"
           "          none runs), as a drop onto the slot would\n"
           "  show    bring the running program's board to the left screen edge\n"
           "  slots   print the current account's slots: group, row, name, path,\n"
           "          tab-separated, one a line\n"
           "'quillbeck COMMAND --help' tells more of each.\n"
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
        return put(helpText(line.command), stdout) ? 0 : 1;
    case CommandLine::Action::Version:
        return put(versionText("quillbeck"), stdout) ? 0 : 1;
    case CommandLine::Action::Refuse:
        put("quillbeck: " + line.problem + "\n" + usageLine(line.command), stderr);
        return 2;
    case CommandLine::Action::Send:
    case CommandLine::Action::Show:
    case CommandLine::Action::Slots:
        return -1;
    }
    return 2;
}

} // namespace qb
