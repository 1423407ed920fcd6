#pragma once
// A slot's folder dragged out to another program: a file manager copies or links
// it, an editor or a terminal takes its path as text.
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QMimeData;
class QWidget;

namespace qb {

// The folder as a drag offers it: a file:// URL as "text/uri-list", the path as
// "text/plain". Null for a path that is not absolute.
QMimeData* folderMimeData(const QString& folder);

// Starts a drag of `folder` from `source` offering copy and link, and returns
// once it ended.
void dragFolderOut(QWidget* source, const QString& folder);

// Watches a widget for a press that moves past the drag distance, and drags out
// the folder at the press (empty: none there). The press and the release still
// reach the widget as before: a click stays a click.
class FolderDragStart final : public QObject {
public:
    using FolderAt = std::function<QString(QPoint pos)>;
    // `hold` is told when the drag starts (true) and when it ended (false).
    FolderDragStart(QWidget* watched, FolderAt folderAt, std::function<void(bool)> hold = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* watched_;
    FolderAt folderAt_;
    std::function<void(bool)> hold_;
    QPoint pressedAt_;
    bool pressed_ = false;
};

} // namespace qb
