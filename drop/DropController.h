// The drop controller: what files dropped on the main window do.
#pragma once
// The target slot, the mode, and what each dropped item does there.
#include "drop/DropReport.h"
#include "drop/FileOperation.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace qb {

class Board;
class BoardView;

// The path a configure-mode drop gives a slot: for an existing file (anything found
// that is not a folder) its folder, up to and including the last "/"; otherwise the
// path unchanged.
QString configureModeText(const QString& path);

// The copy or move of one dropped item; normally startFileOperationWithResult.
using DropFileOperation =
    std::function<void(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                       const QByteArray& destFolder, OperationResultDone done)>;
// Installs `op` for the following drops (tests); an empty function restores the real one.
void setDropFileOperation(DropFileOperation op);

// A subfolder of slot `row` that takes a drop in the slot's place (row 0: none).
struct DropInto {
    int row = 0;
    QString folder;
};

class DropController : public QObject {
public:
    DropController(BoardView& view, Board& board) : view_(view), board_(board) {}

    // A drag entering or moving over the window: any drag carrying at least one
    // local file is welcome over the whole window while no drop runs; the drop
    // itself decides what the place and the mode allow.
    void answerDrag(QDragMoveEvent* event);
    // A drop at global `globalPos`: answered at once; its items are handled
    // afterwards, one after another. A drop that carries no data (Xwayland may
    // refuse it once the button is released after a drag from a Wayland window)
    // takes the items the drag carried over the window.
    // `into` (a subfolder the board offered for a slot) takes the drop as the
    // slot itself would, with that folder as the destination.
    void takeDrop(QDropEvent* event, QPoint globalPos, const DropInto& into = {});

    // True from a drop's arrival until its last item is done; drags are refused meanwhile.
    bool inProgress() const { return busy_; }
    // The journal's record of the last copy or move drop begun (0: none, or no journal).
    std::int64_t lastJournalDrop() const { return lastJournalDrop_; }

private:
    struct Running {
        QList<QByteArray> items; // the file system's bytes, as the drag gave them
        qsizetype next = 0;
        int row = 0;
        Op op = Op::Copy;
        QPointer<QWidget> under;
        DropInto into;
        std::optional<DropReport> report; // copies and moves only
        // The whole drop so far: the worst outcome of its items, and whether a
        // replacement destroyed what no Trash could take.
        Outcome overall = Outcome::Done;
        bool destroyed = false;
        std::uint32_t missing = 0;    // Missing flags, warned about once for the drop
        std::int64_t journalDrop = 0; // its record in the drop journal
    };

    void start();
    // Where the drop's items go: the slot's folder as the field shows it now, or
    // the subfolder the drop was made on.
    QString destination() const;
    void configure();
    void beginJournalDrop();
    void nextItem();
    void itemDone(const OperationResult& result);
    void finish(bool handled);
    // Runs one step of the drop as an event handler; a step that fails ends the drop.
    void step(const std::function<void()>& body);

    BoardView& view_;
    Board& board_;
    bool busy_ = false;
    Running drop_;
    QList<QByteArray> dragItems_; // of the drag over the window, as last read
    std::int64_t lastJournalDrop_ = 0;
};

} // namespace qb
