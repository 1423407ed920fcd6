// The drop controller: what files dropped on the main window do.
#pragma once
// The target slot, the mode, and what each dropped item does there.
#include "drop/DropQueue.h"
#include "drop/DropReport.h"
#include "drop/DropVerdict.h"
#include "drop/FileOperation.h"

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

// A copy or move of items into a slot's folder, from any source: a drag onto
// the board, or files sent from outside.
struct SlotDrop {
    int group = 0; // 0: the group the board shows
    int row = 0;
    Op op = Op::Copy;
    Policy policy = Policy::AskReplace;
    QList<QByteArray> items;
    QByteArray destFolder; // empty: the slot's folder
};
// Called once a queued drop has ended, with its outcome and its status line.
using SlotDropDone = std::function<void(Outcome, const QString& status)>;
// A subfolder of slot `row` that takes a drop in the slot's place (row 0: none).
struct DropInto {
    int row = 0;
    QString folder;
};

class DropController : public QObject {
public:
    DropController(BoardView& view, Board& board);
    ~DropController() override;

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
    // `entering`). leaveDrag(): the drag went away.
    void hoverDrag(QDragMoveEvent* event, QPoint globalPos, bool entering);
    void leaveDrag() { verdicts_.leave(false); }
    HoverVerdicts& verdicts() { return verdicts_; }

    // Queues a copy or move; it starts once no job before it that it must not run
    // beside is left. `done` runs on its end (never inside this call). Returns the
    // job's number.
    quint64 enqueue(SlotDrop drop, SlotDropDone done = {});
    // Takes a waiting job out of the queue, its files untouched; false when it
    // is not waiting (unknown, running or ended).
    bool removeQueued(quint64 id);

    // True from a drop's arrival until the last queued job is done.
    bool inProgress() const { return pendingDrops_ > 0 || !jobs_.empty(); }
    // Jobs waiting for their turn behind running ones.
    int waitingCount() const;
    // The journal's record of the last copy or move drop begun (0: none, or no journal).
    std::int64_t lastJournalDrop() const { return lastJournalDrop_; }

private:
    struct Job;

    void dispatch(QPointer<QWidget> under, const QList<QByteArray>& items, const DropInto& into);
    void configure(int row, const QList<QByteArray>& items);
    quint64 add(SlotDrop drop, SlotDropDone done, bool followBoard);
    void schedule();
    void begin(Job& job);
    void beginJournalDrop(Job& job);
    void nextItem(Job& job);
    void itemDone(quint64 id, const OperationResult& result);
    void finish(Job& job);
    Job* find(quint64 id) const;
    QString slotFolder(const Job& job) const;
    Policy policyFor(const Job& job) const;
    // The status line: `text`, and how many jobs wait.
    void showStatus(const QString& text);
    void queueChanged();
    std::vector<QueueRow> rows() const;
    // Runs one step of job `id` (0: of no job) as an event handler; a step that
    // fails ends its job.
    void step(quint64 id, const std::function<void()>& body);

    BoardView& view_;
    Board& board_;
    int pendingDrops_ = 0;                   // taken, not yet handed to the queue
    std::vector<std::unique_ptr<Job>> jobs_; // running and waiting, in order of arrival
    quint64 lastId_ = 0;
    QString status_;              // the last status line a job gave, without the waiting count
    QString statusShown_;         // what was written to the status line for it
    bool noting_ = false;         // the status line shows the note that drops wait
    QString beforeNote_;          // what it showed before that note
    QList<QByteArray> dragItems_; // of the drag over the window, as last read
    std::int64_t lastJournalDrop_ = 0;
    HoverVerdicts verdicts_;
};

} // namespace qb
