#pragma once
// The docking rules, apart from any window so they can be checked on their own.
//
// With auto-hide on, the main window slides beyond the left screen edge once the
// cursor leaves it to the right, and comes back when the cursor touches the left
// edge. Two polls drive it: the hide poll (stopped while the window is hidden or
// shown but not yet re-armed) and the reveal poll (always running). A mouse
// movement over the window's own background re-arms hiding.
#include <optional>

namespace qb::docking {

inline constexpr int kHidePeriodMs = 200;
inline constexpr int kRevealPeriodMs = 100;
// A cursor left of this x (negative x included) brings the window back.
inline constexpr int kRevealEdgeX = 10;

// The main window as the rules see it. `left`, `top` and `width` are its outer
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
void hideTick(Window& w, int cursorX, int hiddenLeft);
// On one monitor at scale 1: hidden at minus the width.
void hideTick(Window& w, int cursorX);

// Reveal poll tick, or the pointer or a drag reaching an edge sensor: `place`
// is where the touched edge brings the window, none when the cursor touches no
// edge. It does not re-arm hiding: the window stays out until the cursor has
// been over its background, however far the cursor travels.
void revealTo(Window& w, std::optional<Place> place);
// On one monitor: a cursor left of x = 10 brings the window back to 0.
void revealTick(Window& w, int cursorX);

// A mouse movement over the window's own background (never over a child
// control). `edgeLeft` is the left edge of the monitor the window stands on.
void rearm(Window& w, int edgeLeft = 0);

} // namespace qb::docking
