// Edge docking of the main window: the two polls, the re-arm and the reveal at
// a touched edge. The rules are in app/Docking.h; this adapts them to the window
// and to the monitors.
#include "app/Docking.h"

#include "app/EdgeDock.h"
#include "app/Unit1.h"
#include "platform/Cursor.h"
#include "platform/Monitors.h"
#include "platform/Timers.h"

#include <QRadioButton>
#include <QTimer>

#include <climits>

namespace {

using qb::monitors::Monitor;

// The main window as docking sees it. The window has no frame from the window
// manager, so its frame geometry is the whole window, caption strip included.
class MainWindowDock final : public qb::docking::Window {
public:
    explicit MainWindowDock(TForm1& form) : form_(form) {}

    bool autoHide() const override { return form_.RadioButton[11]->isChecked(); }
    int left() const override { return form_.frameGeometry().x(); }
    int top() const override { return form_.frameGeometry().y(); }
    int width() const override { return form_.frameGeometry().width(); }
    void setLeft(int x) override {
        // The reveal poll sets 0 again and again while the cursor rests at the
        // edge: only a real change goes to the window system.
        if (x != left()) form_.move(x, top());
    }
    void moveTo(int x, int y) override {
        if (x != left() || y != top()) form_.move(x, y);
    }
    void activate() override {
        // Every mouse movement over the background lands here; asking the window
        // manager again while already active would only cost round trips.
        if (form_.isActiveWindow()) return;
        form_.raise();
        form_.activateWindow();
    }
    void setHidePeriod(int ms) override { qb::setTimerPeriod(*form_.Timer1, ms); }

private:
    TForm1& form_;
};

} // namespace

void qb::revealAt(TForm1& form, QPoint p) {
    MainWindowDock dock(form);
    const QList<Monitor> screens = monitors::current();
    const qsizetype i = monitors::edgeTouched(screens, p, docking::kRevealEdgeX);
    if (i < 0) return;
    docking::Place place{0, dock.top()};
    if (!screens.isEmpty()) {
        // Back whole on the monitor whose edge was touched: moved into its span
        // only where it does not fit at its height.
        const Monitor& m = screens[i];
        place = {m.geometry.left(),
                 monitors::topWithin(m, dock.top(), form.frameGeometry().height())};
    }
    const int before = dock.left();
    docking::revealTo(dock, place);
    if (dock.left() != before)
        if (EdgeDock* edge = EdgeDock::of(form)) edge->shown();
}

void TForm1::Timer1Timer() {
    const qb::Cursor& c = qb::cursor();
    const QPoint p = c.pos();
    qb::EdgeDock* edge = qb::EdgeDock::of(*this);
    if (edge && !edge->allowsHiding()) return;
    // A pointer the display server lost sight of is over another program's
    // window: it has left this one.
    const int x = c.seen() ? p.x() : INT_MAX;
    MainWindowDock dock(*this);
    const int hidden = qb::monitors::hiddenLeft(qb::monitors::desktopLeft(qb::monitors::current()),
                                                dock.width(), devicePixelRatioF());
    const int before = dock.left();
    qb::docking::hideTick(dock, x, hidden);
    if (edge && before != dock.left()) edge->hid(dock.left());
}

void TForm1::Timer2Timer() {
    const qb::Cursor& c = qb::cursor();
    const QPoint p = c.pos();
    if (qb::EdgeDock* edge = qb::EdgeDock::of(*this)) edge->syncSensor();
    // Where the server cannot see the pointer, the edge sensor reports the edge.
    if (c.seen()) qb::revealAt(*this, p);
}

void TForm1::FormMouseMove() {
    MainWindowDock dock(*this);
    // Back to the left edge of the monitor it stands on.
    const QList<Monitor> screens = qb::monitors::current();
    const qsizetype i = qb::monitors::monitorOf(screens, frameGeometry());
    qb::docking::rearm(dock, i < 0 ? 0 : screens[i].geometry.left());
    if (qb::EdgeDock* edge = qb::EdgeDock::of(*this)) edge->shown();
}
