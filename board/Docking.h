#pragma once

// Edge docking: with auto-hide on, the main window slides beyond the left screen
// edge once the cursor leaves it to the right, and comes back when the cursor
// touches the left edge. Two polls drive it: the hide poll (stopped while the
// window is hidden or shown but not yet re-armed) and the reveal poll (always
// running). A mouse movement over the window's own background re-arms hiding.
//
// The rules are kept apart from the window so they can be checked on their own.

namespace qb::docking {

inline constexpr int kHidePeriodMs = 200;
inline constexpr int kRevealPeriodMs = 100;
// A cursor left of this x (negative x included) brings the window back.
inline constexpr int kRevealEdgeX = 10;

// The main window as docking sees it. `left` and `width` are its outer geometry
// (caption strip and frame included) in screen pixels.
class Window {
public:
    // Auto-hide is on exactly while "隐藏窗口" is checked.
    virtual bool autoHide() const = 0;
    virtual int left() const = 0;
    virtual int width() const = 0;
    // Moves the window horizontally only; its top never changes through docking.
    virtual void setLeft(int x) = 0;
    virtual void activate() = 0;
    // Period of the hide poll; 0 stops it, and the period it already has changes
    // nothing (a running poll keeps its rhythm).
    virtual void setHidePeriod(int ms) = 0;

protected:
    ~Window() = default;
};

// Hide poll tick. A cursor exactly on the right edge (left + width) keeps the
// window; one pixel further hides it, and the hide poll stops until re-armed.
inline void hideTick(Window& w, int cursorX) {
    if (!w.autoHide()) return;
    const int width = w.width();
    if (cursorX > w.left() + width) {
        w.setLeft(-width);
        w.setHidePeriod(0);
    }
}

// Reveal poll tick. It does not re-arm hiding: the window stays out until the
// cursor has been over its background, however far the cursor travels.
inline void revealTick(Window& w, int cursorX) {
    if (w.autoHide() && cursorX < kRevealEdgeX) w.setLeft(0);
}

// A mouse movement over the window's own background (never over a child control).
inline void rearm(Window& w) {
    if (!w.autoHide()) return;
    w.activate();
    w.setLeft(0);
    w.setHidePeriod(kHidePeriodMs);
}

} // namespace qb::docking

namespace qb {

// The two polls and the re-arm of the main window, reading the cursor.
class Docking {
public:
    explicit Docking(docking::Window& window) : window_(window) {}
    void Timer1Timer(); // the hide poll
    void Timer2Timer(); // the reveal poll
    void FormMouseMove();

private:
    docking::Window& window_;
};

} // namespace qb
