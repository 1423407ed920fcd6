#include "app/Startup.h"
#include "platform/Translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Cursor polling and placement at negative coordinates need X11 (Xwayland on
    // a Wayland desktop). The desktop's scale factor applies; a user's own
    // choice of platform wins.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillbeck"));
    qb::installTranslations(app);
    return qb::runProgram();
}
