#pragma once
// The program's command line, read before the application object exists: asking
// for the help or the version needs no display and touches no settings.
#include <string>
#include <vector>

namespace qb {

struct CommandLine {
    // Send, Show and Slots talk to the running program or read the settings:
    // `quillbeck send|show|slots ...`.
    enum class Action { Run, Help, Version, Refuse, Send, Show, Slots };
    Action action = Action::Run;
    // For Refuse: what is wrong, for the error line.
    std::string problem;
    // For Help and Refuse: the command ("send", "show", "slots") whose help or usage
    // is meant; empty for the program's own.
    std::string command;
    // The toolkit's -platform and -display values, when given: where the program
    // would open its windows.
    std::string platform;
    std::string display;

    // For Send. `mode`: 0 what the board shows, 'c' copy, 'm' move.
    char mode = 0;
    int group = 0; // with row: the slot; 0 when `name` picks it
    int row = 0;
    std::string name;
    bool wait = false;
    bool verbose = false;           // with wait: the board's status line too
    std::vector<std::string> files; // as given, bytes exact
};

// Reads the arguments after the program name. Besides its own options the
// program accepts the toolkit's standard ones (-display, -platform, -style,
// -session ...), which the application object takes away later; a session
// manager restarts a program with -session.
CommandLine readCommandLine(int argc, const char* const* argv);

// Reads `quillbeck send ...` etc.: the arguments after the command's name.
CommandLine readSubcommand(const std::string& command, int argc, const char* const* argv);

// The text for --help, --version and the usage line of a refusal; `command`
// picks a command's own ("" for the program's).
std::string helpText(const std::string& command = {});
std::string versionText(const char* program);
std::string usageLine(const std::string& command = {});

// Answers Help, Version and Refuse on the standard streams and returns the exit
// code; for Run returns -1, printing nothing.
int answerCommandLine(const CommandLine& line);

} // namespace qb
