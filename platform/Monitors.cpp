#include "platform/Monitors.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <climits>

namespace qb::monitors {

QList<Monitor> current() {
    QList<Monitor> list;
    // The primary first: it is the fallback wherever no monitor holds a window.
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        list << Monitor{primary->geometry(), primary->availableGeometry()};
    for (const QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen())
            list << Monitor{s->geometry(), s->availableGeometry()};
    return list;
}

int desktopLeft(const QList<Monitor>& monitors) {
    if (monitors.isEmpty()) return 0;
    int left = INT_MAX;
    for (const Monitor& m : monitors)
        left = std::min(left, m.geometry.left());
    return left;
}

namespace {

// Rows [top, bottom] of `column` that no monitor covers.
QList<QRect> uncoveredParts(const QList<Monitor>& monitors, int column, int top, int bottom) {
    QList<QRect> parts;
    int y = top;
    while (y <= bottom) {
        int coveredTo = y - 1;
        for (const Monitor& m : monitors)
            if (m.geometry.contains(column, y))
                coveredTo = std::max(coveredTo, m.geometry.bottom());
        if (coveredTo >= y) {
            y = coveredTo + 1;
            continue;
        }
        // Free from y down to the next monitor that starts on this column.
        int freeTo = bottom;
        for (const Monitor& m : monitors)
            if (m.geometry.left() <= column && column <= m.geometry.right() && m.geometry.top() > y)
                freeTo = std::min(freeTo, m.geometry.top() - 1);
        parts << QRect(column + 1, y, 1, freeTo - y + 1);
        y = freeTo + 1;
    }
    return parts;
}

} // namespace

QList<QRect> exposedLeftEdges(const QList<Monitor>& monitors) {
    QList<QRect> edges;
    for (const Monitor& m : monitors)
        edges << uncoveredParts(monitors, m.geometry.left() - 1, m.geometry.top(),
                                m.geometry.bottom());
    return edges;
}

qsizetype edgeTouched(const QList<Monitor>& monitors, QPoint p, int reach) {
    if (monitors.isEmpty()) return p.x() < reach ? 0 : -1;
    const QList<QRect> edges = exposedLeftEdges(monitors);
    bool onSome = false;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const QRect& g = monitors[i].geometry;
        if (!g.contains(p)) continue;
        onSome = true;
        if (p.x() >= g.left() + reach) continue;
        for (const QRect& e : edges)
            if (e.left() == g.left() && e.top() <= p.y() && p.y() <= e.bottom()) return i;
    }
    // A point no monitor shows (a position reported from beyond the desktop)
    // touches the desktop's left edge when it lies left of it: the monitor on
    // that edge nearest to it in height takes the window.
    const int left = desktopLeft(monitors);
    if (onSome || p.x() >= left + reach) return -1;
    qsizetype best = -1;
    int bestDistance = INT_MAX;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const QRect& g = monitors[i].geometry;
        if (g.left() != left) continue;
        const int distance = p.y() < g.top() ? g.top() - p.y() : std::max(0, p.y() - g.bottom());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

qsizetype monitorOf(const QList<Monitor>& monitors, const QRect& r) {
    qsizetype best = monitors.isEmpty() ? -1 : 0;
    qint64 bestArea = 0;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const QRect common = monitors[i].geometry.intersected(r);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    return best;
}

int topWithin(const Monitor& m, int top, int height) {
    const QRect& a = m.available;
    if (height >= a.height()) return a.top();
    return std::clamp(top, a.top(), a.bottom() + 1 - height);
}

int smallestAvailableHeight(const QList<Monitor>& monitors) {
    int h = monitors.isEmpty() ? 0 : INT_MAX;
    for (const Monitor& m : monitors)
        h = std::min(h, m.available.height());
    return h;
}

int hiddenLeft(int edge, int width, double dpr) {
    // The toolkit rounds a logical position and a logical size to device pixels
    // each on its own; at a fractional scale the window may need one logical
    // pixel more to be gone entirely.
    const auto device = [dpr](int logical) { return qRound(logical * dpr); };
    int left = edge - width;
    while (device(left) + device(width) > device(edge))
        --left;
    return left;
}

} // namespace qb::monitors
