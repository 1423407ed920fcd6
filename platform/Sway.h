#pragma once
// sway's IPC, for what an X11 program cannot ask for itself there: sway puts a
// floating Xwayland window centred on the output of the focused workspace,
// whatever place the window asks for.
#include <QPoint>
#include <QtGlobal>

namespace qb::sway {

// Moves the floating X11 window `xid` so that its top-left corner stands at `p`
// (layout pixels), onto whatever output holds that place. False, doing nothing,
// without sway ($SWAYSOCK unset) or when sway refuses.
bool moveWindow(quint64 xid, QPoint p);

} // namespace qb::sway
