#pragma once
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace qb {

// Shows a secondary window without blocking the main window, or brings it to the
// front (restored, when minimised) when it is shown already. The first showing centres it on the
// primary screen; afterwards it stays where the user left it.
inline void showModeless(QWidget* window, bool& placed) {
    if (!placed) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            window->move(area.x() + (area.width() - window->width()) / 2,
                         area.y() + (area.height() - window->height()) / 2);
        }
        placed = true;
    }
    // A window the user minimised comes back: without a taskbar it could not
    // be reached otherwise.
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

// Window flags of the two secondary windows: a fixed frame with only the close box,
// kept above the main window (which stays on top of everything else).
inline Qt::WindowFlags secondaryWindowFlags() {
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;
}

} // namespace qb
