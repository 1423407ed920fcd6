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

void printLine(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const auto arg = [&](int i) { return QString::fromUtf8(argv[i]); };
    const char* command = argv[1];
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
