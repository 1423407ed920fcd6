#pragma once
// A real drag from another program: a small GTK program (harness/drag_source.py)
// offers files as a file manager does, and xdotool moves the mouse as a hand would.
#include "harness/Desktop.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace qb::harness {

// The GTK program holding the files to drag.
class DragSource {
public:
    DragSource(const Desktop& desk, const QStringList& paths);
    // Paths as the file system's bytes, for names that are not valid text: they
    // reach the GTK program as percent-encoded file URIs, never as decoded text.
    DragSource(const Desktop& desk, const QList<QByteArray>& paths);
    ~DragSource();
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    // Waits until the source window is shown; its centre is where a drag starts.
    bool waitReady(QString* error);

    // Presses on the source, moves past the drag distance in small steps, travels
    // to `target` with moves about 50 ms apart and lets go there; waits until the
    // source has seen the drag end.
    bool dragTo(QPoint target, QString* error);

    // The same drag in steps: pressed and carried to `target`, still held; then
    // on to further points; then let go where it is (waits for the drag's end).
    bool carryTo(QPoint target, QString* error);
    bool moveOn(QPoint target, QString* error);
    bool letGo(QString* error);

    QByteArray output() const { return out_; }

private:
    // Pressed on the source and pulled past the drag distance: xdotool's words.
    QStringList pickUp() const;
    bool xdotool(const QStringList& args, QString* error);
    bool fail(QString* error, const QByteArray& why);
    bool waitEnd(qsizetype ends, QString* error);
    QPoint at_;
    inline static const QString kTitle = QStringLiteral("drag source");
    const Desktop& desk_;
    QProcess proc_;
    QByteArray out_;
    QPoint start_;
};

} // namespace qb::harness
