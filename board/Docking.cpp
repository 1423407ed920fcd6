#include "board/Docking.h"

#include "platform/Cursor.h"
#include "platform/Monitors.h"

#include <QRect>

#include <climits>

namespace qb {

using monitors::Monitor;

void Docking::Timer1Timer() {
    const Cursor& c = cursor();
    const QPoint p = c.pos();
    if (!window_.allowsHiding()) return;
    // A pointer the display server lost sight of is over another program's
    // window: it has left this one.
    const int x = c.seen() ? p.x() : INT_MAX;
    const int hidden = monitors::hiddenLeft(monitors::desktopLeft(monitors::current()),
                                            window_.width(), window_.scale());
    const int before = window_.left();
    docking::hideTick(window_, x, hidden);
    if (before != window_.left()) window_.hid(window_.left());
}

void Docking::Timer2Timer() {
    const Cursor& c = cursor();
    const QPoint p = c.pos();
    window_.syncEdge();
    // Where the server cannot see the pointer, the edge sensor reports the edge.
    if (c.seen()) revealAt(p);
}

void Docking::revealAt(QPoint p) {
    const QList<Monitor> screens = monitors::current();
    const qsizetype i = monitors::edgeTouched(screens, p, docking::kRevealEdgeX);
    if (i < 0) return;
    docking::Place place{0, window_.top()};
    if (!screens.isEmpty()) {
        // Back whole on the monitor whose edge was touched: moved into its span
        // only where it does not fit at its height.
        const Monitor& m = screens[i];
        place = {m.geometry.left(), monitors::topWithin(m, window_.top(), window_.height())};
    }
    const int before = window_.left();
    docking::revealTo(window_, place);
    if (window_.left() != before) window_.shown();
}

void Docking::FormMouseMove() {
    // Back to the left edge of the monitor it stands on.
    const QList<Monitor> screens = monitors::current();
    const QRect frame(window_.left(), window_.top(), window_.width(), window_.height());
    const qsizetype i = monitors::monitorOf(screens, frame);
    docking::rearm(window_, i < 0 ? 0 : screens[i].geometry.left());
    window_.shown();
}

} // namespace qb
