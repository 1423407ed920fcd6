// Edge docking of the main window: the two polls and the re-arm. The rules are
// in app/Docking.h; this adapts them to the window.
#include "app/Docking.h"

#include "app/Unit1.h"
#include "platform/Cursor.h"
#include "platform/Timers.h"

#include <QRadioButton>
#include <QTimer>

namespace {

// The main window as docking sees it. The window has no frame from the window
// manager, so its frame geometry is the whole window, caption strip included.
class MainWindowDock final : public qb::docking::Window {
public:
    explicit MainWindowDock(TForm1& form) : form_(form) {}

    bool autoHide() const override { return form_.RadioButton[11]->isChecked(); }
    int left() const override { return form_.frameGeometry().x(); }
    int width() const override { return form_.frameGeometry().width(); }
    void setLeft(int x) override {
        // The reveal poll sets 0 again and again while the cursor rests at the
        // edge: only a real change goes to the window system.
        if (x != left()) form_.move(x, form_.frameGeometry().y());
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

void TForm1::Timer1Timer() {
    const int x = qb::cursor().pos().x();
    MainWindowDock dock(*this);
    qb::docking::hideTick(dock, x);
}

void TForm1::Timer2Timer() {
    const int x = qb::cursor().pos().x();
    MainWindowDock dock(*this);
    qb::docking::revealTick(dock, x);
}

void TForm1::FormMouseMove() {
    MainWindowDock dock(*this);
    qb::docking::rearm(dock);
}
