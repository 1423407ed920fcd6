#pragma once
// The monitors as edge docking sees them: where the desktop's left boundary
// lies, which monitor's left edge a point touches, and where a window coming
// back there must stand to be seen whole. All in the toolkit's logical pixels.
#include <QList>
#include <QPoint>
#include <QRect>

namespace qb::monitors {

struct Monitor {
    QRect geometry;
    QRect available; // without panels and docks
    bool operator==(const Monitor&) const = default;
};

// The monitors of the running desktop (empty without a display).
QList<Monitor> current();

// The x of the desktop's leftmost pixel column (0 without monitors).
int desktopLeft(const QList<Monitor>& monitors);

// The parts of the monitors' left edges with no monitor beside them on the
// left: one pixel column each, the places where a pointer stops at an edge.
QList<QRect> exposedLeftEdges(const QList<Monitor>& monitors);

// The monitor whose exposed left edge `p` touches, `p.x()` less than `reach`
// pixels right of it; -1 when it touches none. Without monitors the desktop is
// taken as starting at x = 0.
qsizetype edgeTouched(const QList<Monitor>& monitors, QPoint p, int reach);

// The monitor that holds most of `r` (the primary when none does), or -1.
qsizetype monitorOf(const QList<Monitor>& monitors, const QRect& r);

// The top of a window of `height` that comes back on `m`: unchanged while the
// window fits into the monitor's available height there, else moved into it;
// a window taller than that height starts at its top.
int topWithin(const Monitor& m, int top, int height);

// The smallest available height among the monitors (0 without monitors).
int smallestAvailableHeight(const QList<Monitor>& monitors);

// The left, in logical pixels, that puts a window of `width` entirely beyond
// `edge` at the scale `dpr`, with its right edge as close to the edge as device
// pixels allow: `edge - width` at whole scales.
int hiddenLeft(int edge, int width, double dpr);

} // namespace qb::monitors
