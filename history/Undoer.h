// The run of an undo (Undo.cpp: the items; UndoMoves.cpp: moves, the Trash).
#pragma once
#include "engine/Log.h"
#include "engine/Trash.h"
#include "history/Places.h"
#include "history/Undo.h"
#include "history/Written.h"

#include <set>

namespace qb::history {

struct UndoStop {};

class Undoer {
public:
    Undoer(Journal& j, const UndoPlan& plan, Policy policy, UndoObserver& obs,
           const std::atomic<bool>& cancel);
    UndoResult run();

private:
    void undoItem(const ItemRecord& r);
    void undoMerge(const ItemRecord& top);
    void trashCopy(const ItemRecord& r, int dir);
    void trashPieces(const ItemRecord& r, int folder, const CopyCheck& c);
    // Sends (dir, name of `path`) to the Trash, recorded; false when it could not.
    // `counted`: one of the drop's own entries (not what took an item's place).
    bool trashOne(int dir, const std::string& path, ItemKind kind, bool counted = true);
    void moveBack(const ItemRecord& r, int dir);
    void restoreReplaced(const ItemRecord& r);
    void restoreOne(const ItemRecord& r, const ReplacedRecord& rep);
    // Moves `from` in `fromDir` to the free `to` in `toDir`; false when it could not.
    bool moveTo(int fromDir, const std::string& from, int toDir, const std::string& to, bool isDir);
    // The move itself: 0, errno, or -1 when refused (recorded).
    int relocate(int fromDir, const std::string& from, int toDir, const std::string& to,
                 bool isDir);
    bool mergeBack(int fromDir, const ItemRecord& r, int toDir);
    // The path an item goes back to in `toDir`: `want`, or under the clash policy
    // another free one; empty: left where it is.
    std::string freeTarget(int toDir, const std::string& want, const std::string& item,
                           std::int64_t& row);
    std::string renamedTarget(int toDir, const std::string& want, const std::string& item);
    std::int64_t record(const std::string& from, const std::string& to, ItemKind kind,
                        const std::string& info = {});
    void settle(std::int64_t row, const std::string& at, bool ok);
    bool toTrash(int dir, const std::string& path, engine::Trash::Placed& where, int& err);
    void rebind(const std::string& to) { j_.rebindUnder(to); }
    void failed(const std::string& path, int code);
    void refuse(const std::string& path, Refusal why);

    Journal& j_;
    const UndoPlan& plan_;
    Policy policy_;
    UndoObserver& obs_;
    const std::atomic<bool>& cancel_;
    UndoResult res_;
    engine::LogOnce once_;
    engine::Trash trash_{&once_};
    Folders folders_;
    std::set<std::string> done_; // taken back by an earlier undo
};

} // namespace qb::history
