// The docking rules: when a poll tick or a re-arm moves the window.
#include "dock/Rules.h"

namespace qb::docking {

void hideTick(Window& w, int cursorX, int hiddenLeft) {
    if (!w.autoHide()) return;
    if (cursorX > w.left() + w.width()) {
        w.setLeft(hiddenLeft);
        w.setHidePeriod(0);
    }
}

void hideTick(Window& w, int cursorX) {
    hideTick(w, cursorX, -w.width());
}

void revealTo(Window& w, std::optional<Place> place) {
    if (!w.autoHide() || !place) return;
    if (place->top == w.top())
        w.setLeft(place->left);
    else
        w.moveTo(place->left, place->top);
}

void revealTick(Window& w, int cursorX) {
    revealTo(w, cursorX < kRevealEdgeX ? std::optional<Place>(Place{0, w.top()}) : std::nullopt);
}

void rearm(Window& w, int edgeLeft) {
    if (!w.autoHide()) return;
    w.activate();
    w.setLeft(edgeLeft);
    w.setHidePeriod(kHidePeriodMs);
}

} // namespace qb::docking
