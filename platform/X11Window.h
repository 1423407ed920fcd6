#pragma once

class QWidget;

namespace qb {

// Turns the top-level widget `w` into a dock-type X11 window without a taskbar or
// pager entry: the window manager then neither frames it nor keeps it on screen,
// so it can stand fully beyond the left screen edge. Under Xwayland, where
// compositors keep managed windows on screen, it is placed by the program alone
// (override-redirect). Creates the native window; call before the first show().
// Off X11 (offscreen tests) only the native window is created.
void makeDockWindow(QWidget* w);

// Whether the running platform is X11.
bool onX11();
// Whether the X server is Xwayland: it sees the pointer only over X windows.
bool onXwayland();

} // namespace qb
