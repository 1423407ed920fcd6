#include "platform/Timers.h"

#include <QTimer>

namespace qb {

void setTimerPeriod(QTimer& timer, int ms) {
    if (ms <= 0) {
        timer.stop();
        return;
    }
    if (timer.isActive() && timer.interval() == ms) return;
    timer.start(ms);
}

int timerPeriod(const QTimer& timer) {
    return timer.isActive() ? timer.interval() : 0;
}

} // namespace qb
