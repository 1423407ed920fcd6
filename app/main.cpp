#include "app/CommandLine.h"
#include "app/Startup.h"
#include "platform/Translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Answered before the application object exists: no display, no settings.
    const int answered = qb::answerCommandLine(qb::readCommandLine(argc, argv));
    if (answered >= 0) return answered;

    // Cursor polling and placement at negative coordinates need X11 (Xwayland on
    // a Wayland desktop). The desktop's scale factor applies; a user's own
    // choice of platform wins.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillbeck"));
    qb::installTranslations(app);
    return qb::runProgram();
}
