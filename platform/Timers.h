#pragma once

class QTimer;

namespace qb {

// Sets a timer's period the way the docking polls need it: 0 (or less) stops the
// timer; the period it already runs at changes nothing (QTimer::start would
// restart it and shift its rhythm); any other period (re)starts it.
void setTimerPeriod(QTimer& timer, int ms);

// The period a timer runs at, 0 when stopped.
int timerPeriod(const QTimer& timer);

} // namespace qb
