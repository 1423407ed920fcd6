// Undoing a recorded drop from the windows: the question, the run, the account.
#pragma once
// The undo runs on a worker thread through the same runner, progress dialog and
// questions as a drop; the window keeps working meanwhile.
#include "history/Undo.h"
#include "operation/DropHistory.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace qb {

class BoardView;
class DropController;

// "撤销：3 项已移动到 照片": the tray's entry for undoing `drop`.
QString undoEntryText(const history::DropRecord& drop);
// The question before an undo: what it will do, and what it leaves alone.
QString undoPlanText(const history::UndoPlan& plan);
// Why `plan` cannot run; empty when it can.
QString undoRefusalText(const history::UndoPlan& plan);
// What an undo did, and what it left alone and why.
QString undoResultText(const history::UndoResult& result);

class UndoController final : public QObject {
public:
    using JournalSource = std::function<history::Journal*()>;
    // `drops` (may be null) is asked whether a drop is running.
    UndoController(BoardView& view, const DropController* drops, JournalSource journal);

    // The journal, or null where none could be opened.
    history::Journal* journal() const { return journal_(); }
    // The newest drop an undo can take back, or 0 (also when a drop after it went
    // unrecorded).
    std::int64_t lastUndoable() const;
    // Asks about undoing drop `dropId` (0: the last one) and, once confirmed, runs it.
    // `owner` is the window the questions belong to (null: the board). Returns false,
    // saying why on the status line or in a box, when there is nothing to undo or
    // something else runs.
    bool undo(std::int64_t dropId = 0, QWidget* owner = nullptr);
    bool busy() const { return busy_; }

private:
    bool lastUnrecorded(std::int64_t last) const;
    void run(std::int64_t dropId, QWidget* owner);
    void finished(const history::UndoResult& result);

    BoardView& view_;
    const DropController* drops_;
    JournalSource journal_;
    bool busy_ = false;
};

} // namespace qb
