// Command-line access to settings files through the same store as the program, for
// users who script their boards. Arguments and output are UTF-8.
#include "store/Settings.h"

#include <cstdio>
#include <cstring>

namespace {

int usage() {
    std::fputs("usage: quillbeck-ini read FILE SECTION KEY DEFAULT | write FILE SECTION KEY VALUE"
               " | erase FILE SECTION | sections FILE\n",
               stderr);
    return 2;
}

int answer(const char* text) {
    return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

constexpr const char* kHelp =
    "Usage: quillbeck-ini read FILE SECTION KEY DEFAULT\n"
    "       quillbeck-ini write FILE SECTION KEY VALUE\n"
    "       quillbeck-ini erase FILE SECTION\n"
    "       quillbeck-ini sections FILE\n"
    "Reads and changes Quillbeck's settings files. FILE may leave out its .ini ending;\n"
    "the files hold GB18030 text, arguments and output are UTF-8.\n"
    "\n"
    "  read      print KEY of SECTION, or DEFAULT when there is none\n"
    "  write     store VALUE under KEY in SECTION, creating what is missing\n"
    "  erase     remove SECTION with all its keys\n"
    "  sections  print the names of the sections, one a line\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when the file could not be written, 2 for wrong\n"
    "arguments. See quillbeck-ini(1).\n";

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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const auto arg = [&](int i) { return QString::fromUtf8(argv[i]); };
    const char* command = argv[1];
    if (argc == 2 && (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0))
        return answer(kHelp);
    if (argc == 2 && std::strcmp(command, "--version") == 0) return answer(kVersion);
    try {
        if (std::strcmp(command, "read") == 0 && argc == 6) {
            printLine(qb::ReadSetting(arg(2), arg(3), arg(4), arg(5)));
        } else if (std::strcmp(command, "write") == 0 && argc == 6) {
            qb::WriteSetting(arg(2), arg(3), arg(4), arg(5));
        } else if (std::strcmp(command, "erase") == 0 && argc == 4) {
            qb::EraseSettingSection(arg(2), arg(3));
        } else if (std::strcmp(command, "sections") == 0 && argc == 3) {
            QStringList sections;
            qb::ListSettingSections(arg(2), sections);
            for (const QString& name : sections)
                printLine(name);
        } else {
            return usage();
        }
    } catch (const qb::SettingsError& error) {
        const QByteArray message = error.message().toUtf8() + '\n';
        std::fwrite(message.constData(), 1, size_t(message.size()), stderr);
        return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
