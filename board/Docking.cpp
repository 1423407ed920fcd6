#include "board/Docking.h"

#include "platform/Cursor.h"

namespace qb {

void Docking::Timer1Timer() {
    docking::hideTick(window_, cursor().pos().x());
}

void Docking::Timer2Timer() {
    docking::revealTick(window_, cursor().pos().x());
}

void Docking::FormMouseMove() {
    docking::rearm(window_);
}

} // namespace qb
