#pragma once

#include <QRect>

class QWidget;

namespace qb {

// Turns the top-level widget `w` into a dock-type X11 window without a taskbar or
// pager entry: the window manager then neither frames it nor keeps it on screen,
// so it can stand fully beyond the left screen edge. Under Xwayland, where
// compositors keep managed windows on screen, it is placed by the program alone
// (override-redirect). Creates the native window; call before the first show().
// Off X11 (offscreen tests) only the native window is created.
void makeDockWindow(QWidget* w);

// Gives the shown board `w` the keyboard when a command, the tray or a shortcut
// brought it, on an Xwayland desktop too. There the window is unmanaged: sway
// refuses its request for the keyboard while another program's window has it,
// but focuses it as it is mapped, so it is mapped afresh; and the request names
// the server's current time, as the last X event the program saw may predate
// the focus it must take over. Nothing happens elsewhere or when it is active.
void takeKeyboard(QWidget* w);

// The top-level widget `w`'s frame on the screen. Qt measures the frame once, from
// the window manager's window around it, and keeps the figure: measured while that
// window was still 1x1 (openbox frames even dock windows, sized a moment later),
// it leaves a frame smaller than the window itself. The window's own area is then
// the better answer.
QRect frameRect(const QWidget& w);

// Whether the running platform is X11.
bool onX11();
// Whether the X server is Xwayland: it sees the pointer only over X windows.
bool onXwayland();

} // namespace qb
