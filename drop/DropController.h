// The drop controller: what files dropped on the main window do.
#pragma once
// The target slot, the mode, and what each dropped item does there.
#include "drop/DropPlan.h"
#include "drop/DropQueue.h"
#include "drop/DropReport.h"
#include "drop/DropVerdict.h"
#include "operation/FileOperation.h"
#include "operation/QueueRows.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

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

// Called once a queued drop has ended: each item's outcome (or the refusal) and
// the status line it left.
using SlotDropDone = std::function<void(const DropReport& report, const QString& status)>;
// A subfolder of slot `row` that takes a drop in the slot's place (row 0: none),
// or with no folder the slot itself, in `group` (0: the group the board shows).
struct DropInto {
    int row = 0;
    QString folder;
    int group = 0;
};

class DropController : public QObject {
public:
    DropController(BoardView& view, Board& board);
    ~DropController() override;

    // Where every way in gets its plan.
    const DropPlanner& planner() const { return planner_; }

    // A drag entering or moving over the window: any drag carrying at least one
    // local file is welcome over the whole window, also while drops run (it is
    // queued); the drop itself decides what the place and the mode allow.
    void answerDrag(QDragMoveEvent* event);
    // A drop at global `globalPos`: answered at once; its items are handled
    // afterwards, one after another. A drop that carries no data (Xwayland may
    // refuse it once the button is released after a drag from a Wayland window)
    // takes the items the drag carried over the window.
    // `into` (a subfolder the board offered for a slot) takes the drop as the
    // slot itself would, with that folder as the destination.
    void takeDrop(QDropEvent* event, QPoint globalPos, const DropInto& into = {});
    // The drag over global `globalPos`: answered as answerDrag() does, and then, over a
    // slot, with the verdict of a drop there (refused where it cannot work, unless
    // `entering`).
    void hoverDrag(QDragMoveEvent* event, QPoint globalPos, bool entering);
    // The drag went away. `released`: its button was let go over the window, on the
    // slot the verdict refused, which ends as any refused drop does.
    void leaveDrag(bool released = false);
    HoverVerdicts& verdicts() { return verdicts_; }

    // Queues `items` as `plan` says, unless the plan is refused; it starts once its
    // items are counted, the verdict still holds, and no job before it that it must
    // not run beside is left. `done` runs on its end (never inside this call).
    // `counted`: what is known of the items already. Returns the job's number.
    quint64 enqueue(const DropPlan& plan, const QList<QByteArray>& items, SlotDropDone done = {},
                    const verdict::DragCount& counted = {});
    // Takes a waiting job out of the queue, its files untouched; false when it
    // is not waiting (unknown, running or ended).
    bool removeQueued(quint64 id);

    // Takes every waiting job out of the queue and cancels the running ones (also
    // paused ones, and any waiting for an answer); each ends as a cancel does.
    void cancelAll();
    // True from a drop's arrival until the last queued job is done.
    bool inProgress() const { return pendingDrops_ > 0 || !jobs_.empty(); }
    // Jobs waiting for their turn behind running ones.
    int waitingCount() const;
    // The journal's record of the last copy or move drop begun (0: none, or no journal).
    std::int64_t lastJournalDrop() const { return lastJournalDrop_; }
    // Set once a drop went unrecorded (the journal refused its row): the newest
    // recorded drop then, which no "undo the last drop" may take back since a later
    // one came in between. Recorded drops after it have greater ids.
    std::optional<std::int64_t> unrecordedAfter() const { return unrecordedAfter_; }

private:
    struct Job;

    void dispatch(QPointer<QWidget> under, const QList<QByteArray>& items, const DropInto& into);
    // A drop the verdict refused: nothing is touched, the status line says why and
    // the focus goes to the slot, as for any refused drop.
    void refuse(const DropPlan& plan);
    void configure(int row, const QList<QByteArray>& items);
    void schedule();
    void begin(Job& job);
    void beginJournalDrop(Job& job);
    void nextItem(Job& job);
    void itemDone(quint64 id, const OperationResult& result);
    void finish(Job& job);
    Job* find(quint64 id) const;
    // The status line: `text`, or what runs while jobs wait.
    void showStatus(const QString& text);
    void queueChanged();
    std::vector<QueueRow> rows() const;
    // Runs one step of job `id` (0: of no job) as an event handler; a step that
    // fails ends its job.
    void step(quint64 id, const std::function<void()>& body);

    BoardView& view_;
    Board& board_;
    DropPlanner planner_;
    int pendingDrops_ = 0;                   // taken, not yet handed to the queue
    std::vector<std::unique_ptr<Job>> jobs_; // running and waiting, in order of arrival
    quint64 lastId_ = 0;
    QString status_;              // the last status line a job gave, without the waiting note
    QString statusShown_;         // what was written to the status line for it
    bool noting_ = false;         // it shows the note of waiting jobs
    QList<QByteArray> dragItems_; // of the drag over the window, as last read
    std::int64_t lastJournalDrop_ = 0;
    std::optional<std::int64_t> unrecordedAfter_;
    QString journalSetAside_; // the note of a broken journal set aside, for the job's end
    HoverVerdicts verdicts_;
};

} // namespace qb
