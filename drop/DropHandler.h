#pragma once
// Files and folders dropped on the main window: the target slot, the mode, and
// what each dropped item does there.
#include "drop/FileEngine.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;
class TForm1;

namespace qb {

// One drop as taken at the moment it happened.
struct DropRequest {
    QStringList items;       // local paths, in the order the source gave them
    QPointer<QWidget> under; // the main window's widget under the pointer (null: none)
};

// The local files of a drag's data, in the source's order. Other URLs are left out.
QStringList droppedLocalPaths(const QMimeData* data);

// The path a configure-mode drop gives a slot: for an existing file (anything found
// that is not a folder) its folder, up to and including the last "/"; otherwise the
// path unchanged.
QString configureModeText(const QString& path);

// True when `path` names an existing folder (a link to a folder counts).
bool isExistingFolder(const QString& path);

// Handles one drop on `form` now: the mode, the target slot, every item in turn, the
// status line and the focus. A cancelled copy or move ends the drop: the items
// after it are left alone.
void applyDrop(TForm1& form, const DropRequest& drop);

// True from a drop's arrival until its last item is done; drags are refused meanwhile.
bool dropInProgress(const TForm1& form);

// The copy or move of one dropped item; normally the file operation front end.
using DropFileOperation = std::function<Outcome(QWidget* owner, Op op, Policy policy,
                                                const QString& source, const QString& destFolder)>;
// Installs `op` for the following drops (tests); an empty function restores the real one.
void setDropFileOperation(DropFileOperation op);

} // namespace qb
