// What a drop on a slot will do, decided in one place for every way in: a drag
// onto the board, a drop on a subfolder list's entry, `quillbeck send` and the file
// managers' menus (which run it). The queue takes nothing but plans.
#pragma once
#include "engine/Operation.h"
#include "verdict/Judge.h"

#include <QString>

namespace qb {

class Board;
class BoardView;

// How the drop came. A drag (onto a slot or a list entry) takes the duplicate
// policy the board shows as each item starts, as a drop always did; a send takes
// the board's as it is sent.
enum class DropWay { Drag, ListEntry, Send };
// A send's --copy or --move; Board: the slot's own action, else the board's mode.
enum class AskedOp { Board, Copy, Move };

struct SlotTarget {
    int group = 0; // 0: the group the board shows
    int row = 0;
    QString subfolder{}; // a folder the board offered for the slot; empty: the slot's own
};

struct DropPlan {
    DropWay way = DropWay::Drag;
    int group = 0; // the slot's group, never 0 once planned (1 while no group is shown)
    int row = 0;
    QString subfolder;
    QString destFolder; // where the items go, as planned
    Op op = Op::Copy;
    Policy policy = Policy::AskReplace;
    bool slotsOwnAction = false; // the op is the slot's own, not the board's
    bool verify = false;         // copies are read back and compared (the slot's choice)
    verdict::Verdict verdict;
    QString reason;  // the verdict's words for a refused plan ("" when it may run)
    QString refusal; // the status line a refused plan leaves
    bool refused() const { return !refusal.isEmpty(); }
    bool followsBoard() const { return way != DropWay::Send; }
};

class DropPlanner {
public:
    DropPlanner(BoardView& view, Board& board) : view_(view), board_(board) {}

    // Whether a drag onto row `r` of `group` (0: the group shown) copies or moves at
    // all (not configure mode, and a mode or the slot's own action says which).
    bool dragCopiesOrMoves(int r, int group = 0) const;
    // The plan for `count` (what is dropped, as counted so far) onto `target`.
    DropPlan plan(DropWay way, const SlotTarget& target, AskedOp asked,
                  const verdict::DragCount& count) const;
    // Judges `plan` again, by `count` and the destination as they are now.
    void judge(DropPlan& plan, const verdict::DragCount& count) const;
    // The slot's folder as it is now (the field the board shows for its group, the
    // settings file's for another), or the subfolder planned.
    QString folderNow(const DropPlan& plan) const;
    // The policy for the plan's next item.
    Policy policyNow(const DropPlan& plan) const;

private:
    BoardView& view_;
    Board& board_;
};

// The board's checked duplicate policy (asking, which loses nothing, when none is).
Policy checkedPolicy(const BoardView& view);

} // namespace qb
