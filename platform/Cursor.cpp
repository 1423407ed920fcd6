#include "platform/Cursor.h"

#include "platform/X11Window.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <optional>

namespace qb {

namespace {

// Xwayland keeps reporting the last place it saw the pointer at while the pointer
// is over a Wayland window. This remembers that place whenever the pointer may
// have gone there: at start and when it leaves one of the program's windows.
// Until the reported place changes (the pointer moved over an X window), it
// says nothing about where the pointer is. A leave straight into another of the
// program's windows (the board onto the edge sensor) is no leave from the
// program: the server saw the pointer arrive there.
class StalePlace final : public QObject {
public:
    StalePlace() : stale_(QCursor::pos()) { qGuiApp->installEventFilter(this); }
    bool isStale(QPoint p) {
        if (stale_ && *stale_ == p) return true;
        stale_.reset();
        return false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!qobject_cast<QWindow*>(watched)) return false;
        if (event->type() == QEvent::Leave) {
            // The toolkit delivers the enter of a crossing right after its leave,
            // before any timer: until then the leave may still be undone.
            beforeLeave_ = stale_;
            stale_ = QCursor::pos();
            justLeft_ = true;
            QTimer::singleShot(0, this, [this] { justLeft_ = false; });
        } else if (event->type() == QEvent::Enter && justLeft_) {
            stale_ = beforeLeave_;
            justLeft_ = false;
        }
        return false;
    }

private:
    std::optional<QPoint> stale_;
    std::optional<QPoint> beforeLeave_;
    bool justLeft_ = false;
};

class PointerCursor final : public Cursor {
public:
    QPoint pos() const override { return QCursor::pos(); }
    bool seen() const override {
        if (!onXwayland()) return true;
        static StalePlace stale;
        return !stale.isStale(QCursor::pos());
    }
};

PointerCursor pointer;
Cursor* installed = nullptr;

} // namespace

Cursor& cursor() {
    return installed ? *installed : pointer;
}

void setCursor(Cursor* c) {
    installed = c;
}

} // namespace qb
