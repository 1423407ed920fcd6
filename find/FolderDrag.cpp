// Dragging a slot's folder out of the board.
#include "find/FolderDrag.h"

#include "board/Folders.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QUrl>
#include <QWidget>

namespace qb {

QMimeData* folderMimeData(const QString& folder) {
    if (!QDir::isAbsolutePath(folder)) return nullptr;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(folder)});
    data->setText(folder);
    return data;
}

void dragFolderOut(QWidget* source, const QString& folder) {
    QMimeData* data = folderMimeData(folder);
    if (!data) return;
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

FolderDragStart::FolderDragStart(QWidget* watched, FolderAt folderAt,
                                 std::function<void(bool)> hold)
    : QObject(watched), watched_(watched), folderAt_(std::move(folderAt)), hold_(std::move(hold)) {
    watched_->installEventFilter(this);
}

bool FolderDragStart::eventFilter(QObject*, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        pressed_ = mouse->button() == Qt::LeftButton;
        pressedAt_ = pos;
    } else if (type == QEvent::MouseButtonRelease) {
        pressed_ = false;
    } else if (pressed_ && (mouse->buttons() & Qt::LeftButton) &&
               (pos - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        pressed_ = false;
        const QString folder = folderAt_(pressedAt_);
        // A folder that is not there would only make the other program fail.
        if (!isExistingFolder(folder)) return false;
        if (hold_) hold_(true);
        const auto release = qScopeGuard([this] {
            if (hold_) hold_(false);
        });
        dragFolderOut(watched_, folder);
        return true;
    }
    return false;
}

} // namespace qb
