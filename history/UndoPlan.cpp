// What an undo of a drop would do, worked out before it runs.
#include "engine/Posix.h"
#include "history/Recorder.h"
#include "history/Undo.h"
#include "history/UndoItems.h"
#include "history/Written.h"

#include <map>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace qb::history {

namespace {

// Names the plan lists; the rest are counted.
constexpr std::size_t kFirstNames = 5;

class Planner {
public:
    Planner(const Journal& j, UndoPlan& p) : j_(j), p_(p) {
        for (std::string& path : j.undoneBefore(p.dropId))
            done_.insert(std::move(path));
    }

    // In the order the undo goes, newest first: a place an item leaves, or one a
    // replaced entry comes back to, is seen as it will be when the undo gets there.
    void run() {
        for (auto ri = p_.items.rbegin(); ri != p_.items.rend(); ++ri) {
            const ItemRecord& r = *ri;
            bool leaving = false; // the item goes, so its place is free for what it replaced
            if (undoable(r) && done_.count(r.dest)) {
                p_.alreadyDone++;
                leaving = true;
            } else if (undoable(r)) {
                leaving = item(r);
            }
            for (const ReplacedRecord& rep : r.replaced)
                replaced(r, rep, leaving);
        }
    }

private:
    Identity at(const std::string& path) const {
        const auto it = then_.find(path);
        return it != then_.end() ? it->second : identityOf(path);
    }
    void name(const std::string& path) {
        if (p_.firstNames.size() < kFirstNames) p_.firstNames.push_back(path);
    }
    bool item(const ItemRecord& r);
    bool copiedFolder(const ItemRecord& r);
    void replaced(const ItemRecord& r, const ReplacedRecord& rep, bool leaving);

    const Journal& j_;
    UndoPlan& p_;
    std::set<std::string> done_;
    std::map<std::string, Identity> then_;
};

// Whether the item goes (its place becomes free).
bool Planner::item(const ItemRecord& r) {
    const std::string from = parentOf(r.dest);
    const Refusal fromWhy = judgePath(from, r.destDir, Use::Take);
    if (fromWhy != Refusal::None && fromWhy != Refusal::NotTheFolder) {
        p_.refused.push_back({r.dest, fromWhy});
        return false;
    }
    if (fromWhy != Refusal::None || !unchanged(r.placed, at(r.dest), r.kind)) {
        p_.changed.push_back(r.dest);
        return false;
    }
    if (p_.drop.op == Op::Move) {
        const Refusal why = judgePath(parentOf(r.source), r.sourceDir, Use::Make);
        if (why != Refusal::None) {
            p_.refused.push_back({r.dest, why});
            return false;
        }
        p_.toMove++;
        if (pathExists(r.source)) p_.clashes.push_back(r.source);
    } else if (r.kind == ItemKind::Folder && !copiedFolder(r)) {
        return false;
    } else {
        p_.toTrash++;
    }
    name(r.dest);
    then_[r.dest] = Identity{};
    return true;
}

// A copied folder goes whole when nothing in it was added or changed since; otherwise
// only what the copy wrote goes, and the rest stays. False: it stays.
bool Planner::copiedFolder(const ItemRecord& r) {
    if (!r.writtenKnown) {
        p_.refused.push_back({r.dest, Refusal::Unchecked});
        return false;
    }
    engine::Fd fd(::open(r.dest.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.ok()) return true;
    const CopyCheck c = checkCopy(j_.written(r.id), listTree(fd.get()));
    for (const std::string& k : c.kept)
        p_.kept.push_back(r.dest + "/" + k);
    if (c.whole()) return true;
    if (!c.pieces.empty()) {
        p_.toTrash++;
        name(r.dest);
    }
    return false;
}

void Planner::replaced(const ItemRecord& r, const ReplacedRecord& rep, bool leaving) {
    if (done_.count(rep.trashFile)) {
        p_.alreadyDone++;
        return;
    }
    // It comes back where the item leaves its place, or where the place is free.
    if (!pathExists(rep.trashFile) || !(leaving || !at(rep.path).known)) {
        p_.changed.push_back(rep.path);
        return;
    }
    Refusal why = Refusal::None;
    ItemKind kind = ItemKind::File;
    engine::Fd files(openTrashEntry(rep, why, &kind));
    if (!files.ok() && why == Refusal::None) why = Refusal::TrashChanged;
    if (why == Refusal::None) {
        const FolderId dest = parentOf(rep.path) == parentOf(r.dest) ? r.destDir : FolderId{};
        why = judgePath(parentOf(rep.path), dest, Use::Put);
    }
    if (why != Refusal::None) {
        p_.refused.push_back({rep.path, why});
        return;
    }
    p_.toRestore++;
    name(rep.path);
    then_[rep.path] = identityOf(rep.trashFile);
}

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
    Planner(journal, p).run();
    return p;
}

} // namespace qb::history
