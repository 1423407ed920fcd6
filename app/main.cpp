#include "app/Startup.h"
#include "platform/Translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The window's pixel layout is not scaled, and cursor polling and placement at
    // negative coordinates need X11 (XWayland on a Wayland desktop). A user's own
    // choice of either wins.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillbeck"));
    qb::installTranslations(app);
    return qb::runProgram();
}
