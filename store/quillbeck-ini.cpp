// Command-line access to settings files through the same store as the program, for
// users who script their boards. Arguments and output are UTF-8.
#include "store/Settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage = "Usage: quillbeck-ini read FILE SECTION KEY DEFAULT\n"
                               "       quillbeck-ini write FILE SECTION KEY VALUE\n"
                               "       quillbeck-ini erase FILE SECTION\n"
                               "       quillbeck-ini sections FILE\n"
                               "       quillbeck-ini --help | --version\n";

void complain(const QString& text) {
    const QByteArray bytes = "quillbeck-ini: " + text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int usage(const QString& problem) {
    complain(problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool flushed() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    complain(QStringLiteral("cannot write the output: ") +
             QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

int answer(const char* text) {
    std::fputs(text, stdout);
    return flushed() ? 0 : 1;
}

const std::string kHelp = std::string(kUsage) +
                          "Reads and changes Quillbeck's settings files. FILE may leave out its "
                          ".ini ending;\n"
                          "the files hold GB18030 text, arguments and output are UTF-8.\n"
                          "\n"
                          "  read      print KEY of SECTION, or DEFAULT when there is none\n"
                          "  write     store VALUE under KEY in SECTION, creating what is "
                          "missing\n"
                          "  erase     remove SECTION with all its keys\n"
                          "  sections  print the names of the sections, one a line\n"
                          "\n"
                          "  -h, --help     show this help and exit\n"
                          "      --version  show the version and exit\n"
                          "\n"
                          "Exit status: 0 on success, 1 when the file could not be read or "
                          "written,\n"
                          "2 for wrong arguments. See quillbeck-ini(1).\n";

constexpr const char* kVersion =
    "quillbeck-ini " QB_VERSION "\n"
    "Copyright (C) 2026 The Quillbeck developers\n"
    "License GPL-3.0-or-later <https://www.gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

void printLine(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

struct Command {
    const char* name;
    int arguments;
    const char* needs;
};
constexpr Command kCommands[] = {{"read", 4, "FILE SECTION KEY DEFAULT"},
                                 {"write", 4, "FILE SECTION KEY VALUE"},
                                 {"erase", 2, "FILE SECTION"},
                                 {"sections", 1, "FILE"}};

// A file to read must be there: a missing one is no empty one.
bool readable(const QString& file) {
    const QString problem = qb::SettingsReadProblem(file);
    if (problem.isEmpty()) return true;
    complain(qb::SettingsFilePath(file) + QStringLiteral(": ") + problem);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(QStringLiteral("missing command"));
    const auto arg = [&](int i) { return QString::fromUtf8(argv[i]); };
    const std::string command = argv[1];
    const bool help = command == "--help" || command == "-h";
    if (help || command == "--version") {
        if (argc > 2) return usage(QStringLiteral("unexpected argument '%1'").arg(arg(2)));
        return answer(help ? kHelp.c_str() : kVersion);
    }
    const Command* found = nullptr;
    for (const Command& c : kCommands)
        if (command == c.name) found = &c;
    if (!found)
        return usage((command.size() > 1 && command[0] == '-'
                          ? QStringLiteral("unknown option '%1'")
                          : QStringLiteral("unknown command '%1'"))
                         .arg(arg(1)));
    // Asked of a command, the help is the tool's.
    if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0))
        return answer(kHelp.c_str());
    if (argc - 2 != found->arguments)
        return usage(QStringLiteral("%1 needs %2").arg(arg(1), QLatin1String(found->needs)));
    try {
        if (command == "read") {
            if (!readable(arg(2))) return 1;
            printLine(qb::ReadSetting(arg(2), arg(3), arg(4), arg(5)));
        } else if (command == "write") {
            qb::WriteSetting(arg(2), arg(3), arg(4), arg(5));
        } else if (command == "erase") {
            qb::EraseSettingSection(arg(2), arg(3));
        } else {
            if (!readable(arg(2))) return 1;
            QStringList sections;
            qb::ListSettingSections(arg(2), sections);
            for (const QString& name : sections)
                printLine(name);
        }
    } catch (const qb::SettingsError& error) {
        complain(error.reason().isEmpty() ? error.message()
                                          : QStringLiteral("cannot write to %1: %2")
                                                .arg(qb::SettingsFilePath(arg(2)), error.reason()));
        return 1;
    }
    return flushed() ? 0 : 1;
}
