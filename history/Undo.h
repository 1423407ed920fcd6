// Undoing a recorded drop: what it would do, then doing it.
#pragma once
// A moved item goes back to where it came from, a copied one to the Trash (never
// deleted), and each entry it replaced comes back from the Trash. Whatever is no longer
// what the drop left there is left alone and listed; a path now taken by something
// else is never overwritten.
#include "history/Journal.h"
#include "history/Places.h"

namespace qb::history {

struct UndoPlan {
    std::int64_t dropId = 0;
    DropRecord drop;
    std::vector<ItemRecord> items;       // all of the drop's rows, in order
    int toMove = 0;                      // items that go back to their sources
    int toTrash = 0;                     // copies that go to the Trash
    int toRestore = 0;                   // replaced entries that come back from the Trash
    std::vector<std::string> firstNames; // the first few paths the undo handles
    std::vector<std::string> changed;    // no longer what the drop left: left alone
    std::vector<std::string> clashes;    // source paths taken now: the observer is asked
    std::vector<Refused> refused;        // left where they are though unchanged, and why
    std::vector<std::string> kept;       // added or changed in copied folders since: stay
    int alreadyDone = 0;                 // taken back by an earlier undo that did not finish
    std::vector<std::int64_t> blockers;  // later drops that depend on this one
    bool alreadyUndone = false;
    // Nothing stands in the way and something would be done.
    bool possible() const { return !alreadyUndone && blockers.empty() && total() > 0; }
    int total() const { return toMove + toTrash + toRestore; }
};

UndoPlan planUndo(const Journal& journal, std::int64_t dropId);

// What happens to an item whose source path is taken by something else.
enum class ClashAnswer { Replace, Skip, Rename, Cancel };

class UndoObserver {
public:
    virtual ~UndoObserver() = default;
    virtual void progress(const std::string& path) { (void)path; }
    // `taken` is the path the item would go back to; `item` where it is now. Replace
    // sends what is at `taken` to the Trash (only offered when one can take it).
    virtual ClashAnswer askClash(const std::string& taken, const std::string& item,
                                 bool canTrash) = 0;
};

struct UndoResult {
    Outcome outcome = Outcome::Done;
    std::int64_t undoDrop = 0; // the undo's own record
    int moved = 0, trashed = 0, restored = 0;
    std::vector<std::string> leftAlone; // changed since the drop, or skipped
    std::vector<std::string> failed;    // could not be undone (with why, for the log)
    std::vector<Refused> refused;       // left where they are, not checkable or not safe
    std::vector<std::string> kept;      // added or changed in copied folders since: stayed
    // Everything was taken back or deliberately left: the drop is undone. Otherwise it
    // stays on offer for the rest.
    bool finished = false;
};

// Runs `plan` (made just before). The clash policy: AutoRename puts a clashing item
// back under a free name, AskReplace asks `observer`, AutoReplace sends what took the
// place to the Trash (asking when no Trash can take it).
UndoResult runUndo(Journal& journal, const UndoPlan& plan, Policy clashPolicy,
                   UndoObserver& observer, const std::atomic<bool>& cancel);

} // namespace qb::history
