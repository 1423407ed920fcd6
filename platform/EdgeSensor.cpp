#include "platform/EdgeSensor.h"

#include "platform/X11Window.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QEnterEvent>
#include <QWidget>

namespace qb {

namespace {

class SensorWindow final : public QWidget {
public:
    explicit SensorWindow(EdgeSensor& owner) : owner_(owner) {
        setObjectName(QStringLiteral("EdgeSensor"));
        setWindowTitle(QStringLiteral("quillbeck edge"));
        // Placed by the program, not the window manager, so it can sit on the
        // very edge and above everything; never focused.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                       Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAcceptDrops(true);
        // A compositor shows what lies under a transparent pixel; without one the
        // column shows the button face.
        if (onXwayland()) {
            setAttribute(Qt::WA_TranslucentBackground);
            setAttribute(Qt::WA_NoSystemBackground);
        } else {
            setAutoFillBackground(true);
        }
    }

protected:
    void enterEvent(QEnterEvent* e) override { emit owner_.touched(e->globalPosition().toPoint()); }
    // The drag is only a sign that the pointer is at the edge: it is refused,
    // so the drag source shows no drop here.
    void dragEnterEvent(QDragEnterEvent* e) override {
        emit owner_.touched(geometry().topLeft() + e->position().toPoint());
        e->ignore();
    }

private:
    EdgeSensor& owner_;
};

} // namespace

EdgeSensor::EdgeSensor(QObject* parent) : QObject(parent) {}

EdgeSensor::~EdgeSensor() = default;

void EdgeSensor::cover(const QList<QRect>& columns) {
    if (columns == columns_ && isCovering()) return;
    columns_ = columns;
    windows_.clear();
    // Xwayland keeps the last place it saw the pointer at (where the program
    // ended, say). A column mapped over that place counts the pointer as inside
    // already, and its real arrival there would bring no enter: that place is
    // moved off the column first. Only X's idea of the place moves.
    if (onXwayland()) {
        const QPoint p = QCursor::pos();
        for (const QRect& column : columns)
            if (column.contains(p)) QCursor::setPos(p + QPoint(column.width(), 0));
    }
    for (const QRect& column : columns) {
        auto w = std::make_unique<SensorWindow>(*this);
        w->setGeometry(column);
        w->show();
        w->raise();
        windows_.push_back(std::move(w));
    }
}

bool EdgeSensor::isCovering() const {
    if (windows_.size() != static_cast<size_t>(columns_.size())) return false;
    for (size_t i = 0; i < windows_.size(); ++i)
        if (!windows_[i]->isVisible() ||
            windows_[i]->geometry() != columns_[static_cast<qsizetype>(i)])
            return false;
    return true;
}

void EdgeSensor::raise() {
    for (const auto& w : windows_)
        w->raise();
}

} // namespace qb
