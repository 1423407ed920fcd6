#pragma once

// Edge docking: with auto-hide on, the main window slides beyond the left screen
// edge once the cursor leaves it to the right, and comes back when the cursor
// touches the left edge. Two polls drive it: the hide poll (stopped while the
// window is hidden or shown but not yet re-armed) and the reveal poll (always
// running). A mouse movement over the window's own background re-arms hiding.
//
// The rules are kept apart from the window so they can be checked on their own.

#include <QPoint>

#include <optional>

namespace qb::docking {

inline constexpr int kHidePeriodMs = 200;
inline constexpr int kRevealPeriodMs = 100;
// A cursor left of this x (negative x included) brings the window back.
inline constexpr int kRevealEdgeX = 10;

// The main window as docking sees it. `left`, `top` and `width` are its outer
// geometry (caption strip and frame included) in screen pixels.
class Window {
public:
    // Auto-hide is on exactly while "隐藏窗口" is checked.
    virtual bool autoHide() const = 0;
    virtual int left() const = 0;
    virtual int top() const = 0;
    virtual int width() const = 0;
    // Moves the window horizontally only.
    virtual void setLeft(int x) = 0;
    // Moves it also vertically: only a window coming back on a monitor that
    // does not show it whole at its height.
    virtual void moveTo(int x, int y) = 0;
    virtual void activate() = 0;
    // Period of the hide poll; 0 stops it, and the period it already has changes
    // nothing (a running poll keeps its rhythm).
    virtual void setHidePeriod(int ms) = 0;

protected:
    ~Window() = default;
};

// Where a reveal puts the window: the left edge of the monitor whose edge the
// cursor touched, and a top at which that monitor shows the whole window.
struct Place {
    int left = 0;
    int top = 0;
};

// Hide poll tick. A cursor exactly on the right edge (left + width) keeps the
// window; one pixel further hides it, and the hide poll stops until re-armed.
// `hiddenLeft` puts the window entirely beyond the desktop's left edge.
inline void hideTick(Window& w, int cursorX, int hiddenLeft) {
    if (!w.autoHide()) return;
    if (cursorX > w.left() + w.width()) {
        w.setLeft(hiddenLeft);
        w.setHidePeriod(0);
    }
}

// On one monitor at scale 1: hidden at minus the width.
inline void hideTick(Window& w, int cursorX) {
    hideTick(w, cursorX, -w.width());
}

// Reveal poll tick, or the pointer or a drag reaching an edge sensor: `place`
// is where the touched edge brings the window, none when the cursor touches no
// edge. It does not re-arm hiding: the window stays out until the cursor has
// been over its background, however far the cursor travels.
inline void revealTo(Window& w, std::optional<Place> place) {
    if (!w.autoHide() || !place) return;
    if (place->top == w.top())
        w.setLeft(place->left);
    else
        w.moveTo(place->left, place->top);
}

// On one monitor: a cursor left of x = 10 brings the window back to 0.
inline void revealTick(Window& w, int cursorX) {
    revealTo(w, cursorX < kRevealEdgeX ? std::optional<Place>(Place{0, w.top()}) : std::nullopt);
}

// A mouse movement over the window's own background (never over a child
// control). `edgeLeft` is the left edge of the monitor the window stands on.
inline void rearm(Window& w, int edgeLeft = 0) {
    if (!w.autoHide()) return;
    w.activate();
    w.setLeft(edgeLeft);
    w.setHidePeriod(kHidePeriodMs);
}

} // namespace qb::docking

namespace qb {

namespace docking {

// The main window as the docking controller sees it: the rules' window, its
// height and scale, and the edge watch that reports where hiding cannot work
// (an edge sensor where the display server cannot follow the pointer, the check
// that the window really went beyond the edge).
class View : public Window {
public:
    virtual int height() const = 0;
    // Device pixels per logical pixel.
    virtual double scale() const = 0;
    // False once hiding turned out impossible here.
    virtual bool allowsHiding() const = 0;
    // Keeps the edge sensor, if any, on the exposed left edges; called on every
    // reveal tick.
    virtual void syncEdge() = 0;
    // The hide poll moved the window beyond the edge, to `left`.
    virtual void hid(int left) = 0;
    // A reveal or re-arm brought the window back.
    virtual void shown() = 0;

protected:
    ~View() = default;
};

} // namespace docking

// The two polls and the re-arm of the main window, reading the cursor, on
// however many monitors the desktop has.
class Docking {
public:
    explicit Docking(docking::View& window) : window_(window) {}
    void Timer1Timer(); // the hide poll
    void Timer2Timer(); // the reveal poll
    void FormMouseMove();
    // Brings the window back for a cursor at global `p` when `p` touches a
    // monitor's exposed left edge (the reveal poll, or the edge sensor).
    void revealAt(QPoint p);

private:
    docking::View& window_;
};

} // namespace qb
