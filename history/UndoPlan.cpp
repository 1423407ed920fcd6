// What an undo of a drop would do, worked out before it runs.
#include "history/Recorder.h"
#include "history/Undo.h"
#include "history/UndoItems.h"

#include <map>

namespace qb::history {

namespace {

// Names the plan lists; the rest are counted.
constexpr std::size_t kFirstNames = 5;

} // namespace

UndoPlan planUndo(const Journal& journal, std::int64_t dropId) {
    UndoPlan p;
    p.dropId = dropId;
    const std::optional<DropRecord> d = journal.drop(dropId);
    if (!d) return p;
    p.drop = *d;
    p.alreadyUndone = d->undoneBy != 0;
    p.items = journal.items(dropId);
    p.blockers = journal.laterDependents(dropId);
    const auto name = [&p](const std::string& path) {
        if (p.firstNames.size() < kFirstNames) p.firstNames.push_back(path);
    };
    // In the order the undo goes, newest first: a place an item leaves, or one a
    // replaced entry comes back to, is seen as it will be when the undo gets there.
    std::map<std::string, Identity> then;
    const auto at = [&then](const std::string& path) {
        const auto it = then.find(path);
        return it != then.end() ? it->second : identityOf(path);
    };
    for (auto ri = p.items.rbegin(); ri != p.items.rend(); ++ri) {
        const ItemRecord& r = *ri;
        bool leaving = false; // the item goes, so its place is free for what it replaced
        if (undoable(r)) {
            const Identity now = at(r.dest);
            leaving = unchanged(r.placed, now, r.kind);
            if (leaving) then[r.dest] = Identity{};
            if (!leaving) {
                p.changed.push_back(r.dest);
            } else if (d->op == Op::Move) {
                p.toMove++;
                name(r.dest);
                if (pathExists(r.source)) p.clashes.push_back(r.source);
            } else {
                p.toTrash++;
                name(r.dest);
            }
        }
        for (const ReplacedRecord& rep : r.replaced) {
            // It comes back where the item leaves its place, or where the place is free.
            if (pathExists(rep.trashFile) && (leaving || !at(rep.path).known)) {
                p.toRestore++;
                name(rep.path);
                then[rep.path] = identityOf(rep.trashFile);
            } else {
                p.changed.push_back(rep.path);
            }
        }
    }
    return p;
}

} // namespace qb::history
