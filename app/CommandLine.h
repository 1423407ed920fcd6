#pragma once
// The program's command line, read before the application object exists: asking
// for the help or the version needs no display and touches no settings.
#include <string>

namespace qb {

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    // For Refuse: what is wrong, for the error line.
    std::string problem;
};

// Reads the arguments after the program name. Besides its own options the
// program accepts the toolkit's standard ones (-display, -platform, -style,
// -session ...), which the application object takes away later; a session
// manager restarts a program with -session.
CommandLine readCommandLine(int argc, const char* const* argv);

// The text for --help, --version and the usage line of a refusal.
std::string helpText();
std::string versionText(const char* program);
std::string usageLine();

// Answers Help, Version and Refuse on the standard streams and returns the exit
// code; for Run returns -1, printing nothing.
int answerCommandLine(const CommandLine& line);

} // namespace qb
