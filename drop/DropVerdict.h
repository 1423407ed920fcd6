// What a drop on a slot (or on any folder) would do, told while the drag hovers:
// the count of the dragged items, the verdict, its words and the row's colour.
#pragma once
#include "drop/DropPlan.h"
#include "engine/Operation.h"
#include "verdict/Judge.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class QDragMoveEvent;

namespace qb {

class Board;
class BoardView;

using verdict::DragCount;
using verdict::Verdict;

// The dragged items, counted on a thread of their own so the window never waits.
class DragCounting : public QObject {
public:
    ~DragCounting() override;
    // Starts counting `items` unless they are already being counted; their devices
    // are known on return, their sizes later.
    void start(const QList<QByteArray>& items);
    void stop();
    const QList<QByteArray>& items() const { return items_; }
    DragCount snapshot() const;
    // Runs on the window's thread each time an item's count is done.
    std::function<void()> counted;

private:
    QList<QByteArray> items_;
    mutable std::mutex mutex_;
    DragCount count_;
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

// The verdict for a drop of what `drag` counts into `destFolder`; `rememberedDisk`
// is the identity of the disk the folder was chosen on ("" for none).
Verdict verdictFor(const QByteArray& destFolder, Op op, const DragCount& drag,
                   const QString& rememberedDisk = {});
// The words of a verdict, as the status line shows them while the drag hovers;
// `destFolder` is named in them.
QString verdictText(const Verdict& v, const QString& destFolder);
// The identity of the disk `folder` lies on now ("" when it is no folder).
QString diskIdentity(const QString& folder);

// The hover over the board: which row is judged, what the status line said before.
class HoverVerdicts {
public:
    HoverVerdicts(BoardView& view, Board& board);

    // A drag entered or moved; `row` is the slot under it (0: none). `mayRefuse`:
    // whether the event may be answered with a refusal (not a drag's entry, whose
    // refusal would end the drag's visit to the window).
    void hover(QDragMoveEvent* event, const QList<QByteArray>& items, int row, bool mayRefuse);
    // The drag left the window or was dropped: the row and status line as they were.
    // A drop keeps the count for its own verdict.
    void leave(bool keepCount);
    // The plan for a drop of `items` onto `target` at the moment of the drop, with
    // what the drag's count knows of them.
    DropPlan planDrop(DropWay way, const QList<QByteArray>& items, const SlotTarget& target);
    // The plan the hover refused where the drag is now, if it did.
    std::optional<DropPlan> refusedPlan() const;
    DragCounting& counting() { return counting_; }

private:
    Verdict show();

    BoardView& view_;
    Board& board_;
    DropPlanner planner_;
    DragCounting counting_;
    int row_ = 0;
    DropPlan last_; // row_'s, until the pointer moves to another row or a count ends
    QString statusBefore_, shown_;
    bool hovering_ = false;
};

} // namespace qb
