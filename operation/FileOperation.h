// The engine's Qt face: one copy or move on a worker thread, its questions, its result.
#pragma once
// An operation starts on a worker thread and returns at once. The window keeps
// repainting and its timers keep running; a progress dialog appears when the
// operation takes longer than about half a second; the replacement and error
// questions are shown with open() and answered through callbacks while the worker
// waits. No nested event loops.
#include "engine/Operation.h"
#include "engine/Pause.h"
#include "history/Undo.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace qb {

// The questions of a running operation. Called on the UI thread; each shows its
// question and returns at once, and `answer` is called later on the UI thread,
// once. An `answer` dropped without being called counts as Cancel.
// Tests install their own to answer without a person.
class OperationPrompts {
public:
    using ReplaceReply = std::function<void(ReplaceAnswer)>;
    using ErrorReply = std::function<void(ErrorAnswer)>;
    virtual ~OperationPrompts() = default;
    virtual void askReplace(QWidget* parent, const ItemInfo& existing, const ItemInfo& incoming,
                            ReplaceReply answer) = 0;
    virtual void askMerge(QWidget* parent, const ItemInfo& existing, const ItemInfo& incoming,
                          ReplaceReply answer) = 0;
    // `text` is the sentence for the user. Only acknowledged (the answer is
    // ignored) when !error.canSkip.
    virtual void askError(QWidget* parent, const OpError& error, const QString& text,
                          ErrorReply answer) = 0;

    // An undo's questions; the Qt dialogs unless overridden.
    using ClashReply = std::function<void(history::ClashAnswer)>;
    using ConfirmReply = std::function<void(bool)>;
    // The place `taken` an item would go back to holds something else now; `item` is
    // where the item is. Replace is offered only when `canTrash`.
    virtual void askClash(QWidget* parent, const QString& taken, const QString& item, bool canTrash,
                          ClashReply answer);
    // Whether to run the undo `text` describes.
    virtual void askUndo(QWidget* parent, const QString& text, ConfirmReply answer);
};

// The installed prompts (the Qt dialogs unless a test installed others).
OperationPrompts& operationPrompts();
// Installs `p` (not owned); nullptr restores the Qt dialogs.
void setOperationPrompts(OperationPrompts* p);
// The Qt dialogs themselves, whatever is installed.
OperationPrompts& qtOperationPrompts();

// A queued job's hold on its running operations: its pause, its cancel, and the
// name its windows carry while other jobs are about. Fields other than the pause
// and the cancel are the UI thread's.
struct JobControl {
    PauseGate pause;
    std::atomic<bool> cancel{false};
    QString name;                  // the slot the job goes to
    bool nameWindows = false;      // questions and progress name the job (others exist)
    std::function<void()> changed; // pause or cancel toggled from a progress window
    bool verify = false; // its copies are read back and compared (OperationOptions::verify)
    // "Keep both" for all was answered: it holds for the job's later items too.
    std::atomic<bool> keepBothAll{false};
};

// A replace or merge question of `job`'s (none: a lone operation), asked by `ask`
// unless an earlier "keep both" for all answers it.
template <typename Ask> ReplaceAnswer jobAnswer(JobControl* job, Ask ask) {
    if (job && job->keepBothAll) return ReplaceAnswer::KeepBothToAll;
    const ReplaceAnswer a = ask();
    if (job && a == ReplaceAnswer::KeepBothToAll) job->keepBothAll = true;
    return a;
}

using OperationDone = std::function<void(Outcome)>;
// Starts the copy or move on a worker thread and returns at once; `done` runs later on the
// UI thread (never inside this call) with the outcome. Paths are the file system's bytes.
// Input to the program's other windows is held off until then.
void startFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                        const QByteArray& destFolder, OperationDone done);

// The same, with the whole account of the operation (Trash, failures).
using OperationResultDone = std::function<void(const OperationResult&)>;
void startFileOperationWithResult(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                                  const QByteArray& destFolder, OperationResultDone done);

// The same, recorded as an item of drop `journalDrop` of dropJournal() (0: not recorded).
// With `control`, the operation pauses and cancels with its job.
void startRecordedFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                                const QByteArray& destFolder, std::int64_t journalDrop,
                                OperationResultDone done, std::shared_ptr<JobControl> control = {});

// The same around any job that reports to an observer (tests drive the dialogs with it).
using OperationJob =
    std::function<OperationResult(OperationObserver&, const std::atomic<bool>& cancel)>;
void startOperationJob(QWidget* owner, Op op, OperationJob job, OperationResultDone done,
                       std::shared_ptr<JobControl> control = {});

// The same for an undo, whose job can also ask what to do where an item's old
// place is taken (called on the worker; waits for the answer).
using ClashQuestion = std::function<history::ClashAnswer(const std::string& taken,
                                                         const std::string& item, bool canTrash)>;
using UndoJob = std::function<OperationResult(OperationObserver&, const ClashQuestion&,
                                              const std::atomic<bool>& cancel)>;
void startUndoJob(QWidget* owner, UndoJob job, OperationResultDone done);

// Operations (copies, moves, undos) on their workers now.
int runningOperations();
// Cancels every running operation: paused ones wake, open questions count as Cancel.
// Each still ends as a cancel does, through its `done`.
void cancelAllOperations();

// A widget whose clicks and keys go through while operations run (the quit button).
void passesWhileBusy(QWidget* widget);

// Delay before the progress dialog appears.
constexpr int kProgressDelayMs = 500;

} // namespace qb
