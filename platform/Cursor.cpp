#include "platform/Cursor.h"

#include "platform/X11Window.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <optional>

namespace qb {

namespace {

// Xwayland keeps reporting the last place it saw the pointer at while the pointer
// is over a Wayland window. This remembers that place whenever the pointer may
// have gone there: at start and when it leaves one of the program's windows.
// Until the reported place changes (the pointer moved over an X window), it
// says nothing about where the pointer is.
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
        if (event->type() == QEvent::Leave && qobject_cast<QWindow*>(watched))
            stale_ = QCursor::pos();
        return false;
    }

private:
    std::optional<QPoint> stale_;
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
