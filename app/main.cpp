#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "app/SendCommand.h"
#include "app/Startup.h"
#include "platform/Translations.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Answered before the application object exists: no display, no settings.
    const qb::CommandLine line = qb::readCommandLine(argc, argv);
    const int answered = qb::answerCommandLine(line);
    if (answered >= 0) return answered;
    // Talks to the running program: no display of its own.
    if (line.action == qb::CommandLine::Action::Send ||
        line.action == qb::CommandLine::Action::Show)
        return qb::runSendCommand(line);
    if (line.action == qb::CommandLine::Action::Slots) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("quillbeck"));
        return qb::printSlots();
    }

    // Cursor polling and placement at negative coordinates need X11 (Xwayland on
    // a Wayland desktop). The desktop's scale factor applies; a user's own
    // choice of platform wins.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    // Said plainly, instead of the toolkit's abort.
    const std::string problem = qb::displayProblem(line.platform, line.display);
    if (!problem.empty()) {
        std::fprintf(stderr, "quillbeck: %s\n", problem.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillbeck"));
    qb::installTranslations(app);
    return qb::runProgram();
}
