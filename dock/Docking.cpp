// Edge docking of the main window: polls, re-arm, edge sensor and the hide check.
#include "dock/Docking.h"

#include "dock/Log.h"
#include "platform/Cursor.h"
#include "platform/EdgeSensor.h"
#include "platform/Handler.h"
#include "platform/Monitors.h"
#include "platform/Timers.h"
#include "platform/X11Window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <climits>

namespace qb {

using monitors::Monitor;

namespace {

// Long enough for any window manager to have answered a move.
constexpr int kCheckAfterMs = 1000;

// Xwayland sees the pointer only over X windows, so the edge needs a window of
// its own there. QUILLBECK_EDGE_SENSOR=1 or 0 forces the choice.
bool wantsSensor() {
    const QByteArray forced = qgetenv("QUILLBECK_EDGE_SENSOR");
    if (forced == "1") return true;
    if (forced == "0") return false;
    return onXwayland();
}

} // namespace

Docking::Docking(QWidget& window, DockHost& host, QTimer& hidePoll, QTimer& revealPoll)
    : window_(window), host_(host), hidePoll_(hidePoll), revealPoll_(revealPoll) {
    connect(&hidePoll_, &QTimer::timeout, this,
            [this] { runHandler(&window_, [this] { hideTick(); }); });
    connect(&revealPoll_, &QTimer::timeout, this,
            [this] { runHandler(&window_, [this] { revealTick(); }); });
}

Docking::~Docking() = default;

void Docking::start() {
    watchEdge();
    setTimerPeriod(hidePoll_, docking::kHidePeriodMs);
    setTimerPeriod(revealPoll_, docking::kRevealPeriodMs);
}

void Docking::watchEdge() {
    delete sensor_;
    sensor_ = nullptr;
    refused_ = false;
    pendingLeft_.reset();
    // A native Wayland window can neither learn where the pointer is nor place
    // itself: there is no edge to find.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        refuse(cannotFindEdge());
        return;
    }
    if (!wantsSensor()) {
        qCInfo(lcDock) << "edge watch: the display server follows the pointer, no sensor";
        return;
    }
    qCInfo(lcDock) << "edge watch: a sensor along the exposed left edges";
    sensor_ = new EdgeSensor(this);
    connect(sensor_, &EdgeSensor::touched, this,
            [this](QPoint p) { runHandler(&window_, [this, p] { revealAt(p); }); });
}

QString Docking::cannotLeaveScreen() {
    return QCoreApplication::translate("qb::Docking", "状态：窗口无法移出屏幕边缘，不自动隐藏");
}

QString Docking::cannotFindEdge() {
    return QCoreApplication::translate("qb::Docking", "状态：无法检测屏幕左边缘，不自动隐藏");
}

void Docking::hideTick() {
    const Cursor& c = cursor();
    const QPoint p = c.pos();
    if (!allowsHiding() || held()) return;
    // A pointer the display server lost sight of is over another program's
    // window: it has left this one.
    const int x = c.seen() ? p.x() : INT_MAX;
    const int hidden = monitors::hiddenLeft(monitors::desktopLeft(monitors::current()), width(),
                                            window_.devicePixelRatioF());
    const int before = left();
    docking::hideTick(*this, x, hidden);
    if (before != left()) hid(left());
}

void Docking::revealTick() {
    const Cursor& c = cursor();
    const QPoint p = c.pos();
    syncSensor();
    // Where the server cannot see the pointer, the edge sensor reports the edge.
    if (c.seen()) revealAt(p);
}

void Docking::revealAt(QPoint p) {
    const QList<Monitor> screens = monitors::current();
    const qsizetype i = monitors::edgeTouched(screens, p, docking::kRevealEdgeX);
    if (i < 0) return;
    docking::Place place{0, top()};
    if (!screens.isEmpty()) {
        // Back whole on the monitor whose edge was touched: moved into its span
        // only where it does not fit at its height.
        const Monitor& m = screens[i];
        host_.fitToMonitorHeight(m.available.height());
        place = {m.geometry.left(), monitors::topWithin(m, top(), height())};
    }
    const int before = left();
    docking::revealTo(*this, place);
    if (left() != before) {
        qCDebug(lcDock) << "revealed at" << place.left << place.top << "for the cursor at" << p;
        shown();
    }
}

void Docking::bringToEdge(QPoint pointer) {
    pendingLeft_.reset();
    const QList<Monitor> screens = monitors::current();
    const QRect frame = frameRect(window_);
    bool onScreen = false;
    for (const Monitor& m : screens)
        onScreen = onScreen || m.geometry.intersects(frame);
    if (!screens.isEmpty() && (host_.autoHide() || !onScreen)) {
        qsizetype i = 0;
        for (qsizetype k = 0; k < screens.size(); ++k)
            if (screens[k].geometry.contains(pointer)) i = k;
        const Monitor& m = screens[i];
        host_.fitToMonitorHeight(m.available.height());
        moveTo(m.geometry.left(), monitors::topWithin(m, top(), height()));
    }
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void Docking::hideNow() {
    if (!allowsHiding() || !host_.autoHide()) return;
    const int hidden = monitors::hiddenLeft(monitors::desktopLeft(monitors::current()), width(),
                                            window_.devicePixelRatioF());
    const int before = left();
    docking::hideTick(*this, INT_MAX, hidden);
    if (before != left()) hid(left());
}

void Docking::rearm() {
    // Back to the left edge of the monitor it stands on.
    const QList<Monitor> screens = monitors::current();
    const QRect frame(left(), top(), width(), height());
    const qsizetype i = monitors::monitorOf(screens, frame);
    docking::rearm(*this, i < 0 ? 0 : screens[i].geometry.left());
    shown();
}

bool Docking::autoHide() const {
    return host_.autoHide();
}

int Docking::left() const {
    return frameRect(window_).x();
}

int Docking::top() const {
    return frameRect(window_).y();
}

int Docking::width() const {
    return frameRect(window_).width();
}

int Docking::height() const {
    return frameRect(window_).height();
}

void Docking::setLeft(int x) {
    // The reveal poll sets 0 again and again while the cursor rests at the edge:
    // only a real change goes to the window system.
    if (x != left()) window_.move(x, top());
}

void Docking::moveTo(int x, int y) {
    if (x != left() || y != top()) window_.move(x, y);
}

void Docking::activate() {
    // Every mouse movement over the background lands here; asking the window
    // manager again while already active would only cost round trips.
    if (window_.isActiveWindow()) return;
    window_.raise();
    window_.activateWindow();
}

void Docking::setHidePeriod(int ms) {
    setTimerPeriod(hidePoll_, ms);
}

// Keeps the sensor on the exposed left edges while auto-hide is on (cheap when
// nothing changed: the reveal poll calls it on every tick).
void Docking::syncSensor() {
    if (!sensor_) return;
    const bool on = host_.autoHide() && !refused_;
    const QList<QRect> columns =
        on ? monitors::exposedLeftEdges(monitors::current()) : QList<QRect>();
    if (columns != sensor_->columns()) qCInfo(lcDock) << "edge sensor columns:" << columns;
    sensor_->cover(columns);
    if (on && !sensor_->isCovering()) refuse(cannotFindEdge());
}

// The hide poll moved the window to `left`: checked once the window system had
// time to answer.
void Docking::hid(int hiddenLeft) {
    qCDebug(lcDock) << "hidden at x" << hiddenLeft;
    if (sensor_) sensor_->raise(); // above whatever was mapped since
    pendingLeft_ = hiddenLeft;
    QTimer::singleShot(kCheckAfterMs, this, [this] {
        // A window manager that keeps the window on screen has moved it back by
        // now, and the toolkit knows where it stands.
        if (pendingLeft_ && left() != *pendingLeft_) {
            qCInfo(lcDock) << "hiding refused: the window stands at x" << left() << "not at"
                           << *pendingLeft_;
            refuse(cannotLeaveScreen());
        }
        pendingLeft_.reset();
    });
}

void Docking::refuse(const QString& status) {
    pendingLeft_.reset();
    if (refused_) return;
    refused_ = true;
    qCInfo(lcDock) << "no auto-hide on this desktop:" << status;
    if (sensor_) sensor_->cover({});
    // Nobody must be left with a window out of reach: one that stands beyond the
    // desktop comes back at its left edge.
    const QList<Monitor> screens = monitors::current();
    const QRect frame = frameRect(window_);
    if (!screens.isEmpty() && frame.right() < monitors::desktopLeft(screens))
        window_.move(monitors::desktopLeft(screens), frame.y());
    host_.showDockingStatus(status);
}

} // namespace qb
