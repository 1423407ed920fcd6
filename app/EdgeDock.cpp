#include "app/EdgeDock.h"

#include "app/Unit1.h"
#include "platform/EdgeSensor.h"
#include "platform/Handler.h"
#include "platform/Monitors.h"
#include "platform/X11Window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

namespace qb {

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

EdgeDock::EdgeDock(TForm1& form) : QObject(&form), form_(form) {
    setObjectName(QStringLiteral("EdgeDock"));
    // A native Wayland window can neither learn where the pointer is nor place
    // itself: there is no edge to find.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        refuse(cannotFindEdge());
        return;
    }
    if (wantsSensor()) {
        sensor_ = new EdgeSensor(this);
        connect(sensor_, &EdgeSensor::touched, this,
                [this](QPoint p) { qb::runHandler(&form_, [this, p] { form_.revealAt(p); }); });
    }
}

EdgeDock* EdgeDock::of(const TForm1& form) {
    return form.findChild<EdgeDock*>(QString(), Qt::FindDirectChildrenOnly);
}

QString EdgeDock::cannotLeaveScreen() {
    return tr("状态：窗口无法移出屏幕边缘，不自动隐藏");
}

QString EdgeDock::cannotFindEdge() {
    return tr("状态：无法检测屏幕左边缘，不自动隐藏");
}

void EdgeDock::syncSensor() {
    if (!sensor_) return;
    const bool on = form_.RadioButton[11]->isChecked() && !refused_;
    sensor_->cover(on ? monitors::exposedLeftEdges(monitors::current()) : QList<QRect>());
    if (on && !sensor_->isCovering()) refuse(cannotFindEdge());
}

void EdgeDock::hid(int left) {
    if (sensor_) sensor_->raise(); // above whatever was mapped since
    pendingLeft_ = left;
    QTimer::singleShot(kCheckAfterMs, this, [this] {
        // A window manager that keeps the window on screen has moved it back
        // by now, and the toolkit knows where it stands.
        if (pendingLeft_ && form_.frameGeometry().x() != *pendingLeft_) refuse(cannotLeaveScreen());
        pendingLeft_.reset();
    });
}

void EdgeDock::refuse(const QString& status) {
    pendingLeft_.reset();
    if (refused_) return;
    refused_ = true;
    if (sensor_) sensor_->cover({});
    // Nobody must be left with a window out of reach: one that stands beyond the
    // desktop comes back at its left edge.
    const QList<monitors::Monitor> screens = monitors::current();
    const QRect frame = form_.frameGeometry();
    if (!screens.isEmpty() && frame.right() < monitors::desktopLeft(screens))
        form_.move(monitors::desktopLeft(screens), frame.y());
    form_.Labeltip->setText(status);
}

} // namespace qb
