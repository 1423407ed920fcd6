// Undoing a drop: the items in turn and the record (moves and the Trash: UndoMoves.cpp;
// the plan: UndoPlan.cpp).
#include "history/Undo.h"

#include "engine/Posix.h"
#include "history/Recorder.h"
#include "history/UndoItems.h"
#include "history/Undoer.h"

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::history {

using engine::logLine;

Undoer::Undoer(Journal& j, const UndoPlan& plan, Policy policy, UndoObserver& obs,
               const std::atomic<bool>& cancel)
    : j_(j), plan_(plan), policy_(policy), obs_(obs), cancel_(cancel) {
    for (std::string& p : j.undoneBefore(plan.dropId))
        done_.insert(std::move(p));
}

UndoResult Undoer::run() {
    DropRecord u = plan_.drop;
    u.id = 0;
    u.timeMs = 0;
    u.op = Op::Move; // everything goes back to where it was
    u.undoOf = plan_.dropId;
    res_.undoDrop = j_.beginDrop(u);
    // Each dropped item in reverse order; a merge's entries in reverse order too,
    // inside folders made again where a move took them away.
    const std::vector<ItemRecord>& items = plan_.items;
    bool stopped = false;
    try {
        for (auto top = items.rbegin(); top != items.rend(); ++top) {
            if (top->parentId != 0) continue;
            if (top->merged)
                undoMerge(*top);
            else
                undoItem(*top);
        }
    } catch (const UndoStop&) {
        stopped = true;
    }
    folders_.finish();
    res_.outcome = stopped               ? Outcome::Cancelled
                   : res_.failed.empty() ? Outcome::Done
                                         : Outcome::Failed;
    j_.endDrop(res_.undoDrop, res_.outcome);
    // Undone only when nothing is left but what changed since or the user skipped: a
    // stopped, failed or refused part stays on offer (the next plan skips what is done).
    res_.finished = !stopped && res_.failed.empty() && res_.refused.empty();
    if (res_.finished) j_.setUndone(plan_.dropId, res_.undoDrop);
    return res_;
}

// A merge's entries in reverse order, inside folders made again where a move took
// them away; then what the merge replaced.
void Undoer::undoMerge(const ItemRecord& top) {
    const std::vector<ItemRecord>& items = plan_.items;
    std::vector<const ItemRecord*> folders{&top}, entries;
    for (const ItemRecord& r : items) {
        if (r.parentId != top.id) continue;
        (r.merged ? folders : entries).push_back(&r);
    }
    if (plan_.drop.op == Op::Move) {
        for (const ItemRecord* f : folders) {
            // The folder as its entries found it when they left, where one says.
            FolderId was;
            for (const ItemRecord* e : entries)
                if (parentOf(e->source) == f->source && e->sourceDir.known) was = e->sourceDir;
            Refusal why = Refusal::None;
            if (folders_.open(f->source, was, Use::Make, why) < 0) continue; // its entries say
            const struct timespec times[2] = {
                {f->sourceAtimeNs / 1000000000, f->sourceAtimeNs % 1000000000},
                {f->sourceMtimeNs / 1000000000, f->sourceMtimeNs % 1000000000}};
            folders_.settleMade(f->source, f->sourceMode, times);
        }
    }
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
        undoItem(**e);
    restoreReplaced(top);
}

std::int64_t Undoer::record(const std::string& from, const std::string& to, ItemKind kind,
                            const std::string& info) {
    if (!res_.undoDrop) return 0;
    ItemRecord r;
    r.dropId = res_.undoDrop;
    r.source = from;
    r.dest = to;
    r.kind = kind;
    r.before = identityOf(to);
    r.trashInfo = info;
    r.sourceDir = folderIdOf(parentOf(from));
    return j_.beginItem(r, true);
}

void Undoer::settle(std::int64_t row, const std::string& at, bool ok) {
    if (!row) return;
    ItemKind kind = ItemKind::File;
    const Identity now = identityOf(at, &kind);
    j_.finishItem(row, ok ? ItemState::Done : ItemState::Failed, kind, ok ? now : Identity{});
    if (ok) j_.setDestDir(row, folderIdOf(parentOf(at)));
    j_.flush();
}

void Undoer::failed(const std::string& path, int code) {
    res_.failed.push_back(path + ": " + (code ? std::strerror(code) : "not undone"));
    logLine("undo: %s", res_.failed.back().c_str());
}

void Undoer::refuse(const std::string& path, Refusal why) {
    res_.refused.push_back({path, why});
    logLine("undo: %s left where it is (refusal %d)", path.c_str(), static_cast<int>(why));
}

void Undoer::undoItem(const ItemRecord& r) {
    if (cancel_.load()) throw UndoStop{};
    if (!undoable(r) || done_.count(r.dest)) return restoreReplaced(r);
    Refusal why = Refusal::None;
    const int dir = folders_.open(parentOf(r.dest), r.destDir, Use::Take, why);
    if (dir < 0 && why != Refusal::NotTheFolder) return refuse(r.dest, why);
    ItemKind kindNow = r.kind;
    const Identity now = dir >= 0 ? entryIdentity(dir, nameOf(r.dest), &kindNow) : Identity{};
    if (!unchanged(r.placed, now, r.kind)) {
        res_.leftAlone.push_back(r.dest);
        // Gone: what it replaced can come back to the free place.
        if (!now.known) restoreReplaced(r);
        return;
    }
    obs_.progress(r.dest);
    if (plan_.drop.op == Op::Copy)
        trashCopy(r, dir);
    else
        moveBack(r, dir);
}

void Undoer::trashCopy(const ItemRecord& r, int dir) {
    if (r.kind == ItemKind::Folder) {
        // Only what the copy wrote and nobody changed since goes.
        if (!r.writtenKnown) return refuse(r.dest, Refusal::Unchecked);
        engine::Fd folder(engine::openDir(dir, nameOf(r.dest)));
        struct stat st;
        if (!folder.ok() || ::fstat(folder.get(), &st) != 0 || st.st_ino != r.placed.ino)
            return res_.leftAlone.push_back(r.dest);
        const CopyCheck c = checkCopy(j_.written(r.id), listTree(folder.get()));
        if (!c.whole()) {
            trashPieces(r, folder.get(), c);
            for (const ReplacedRecord& rep : r.replaced)
                res_.leftAlone.push_back(rep.path); // its place is still taken
            return;
        }
    }
    if (trashOne(dir, r.dest, r.kind)) restoreReplaced(r);
}

void Undoer::trashPieces(const ItemRecord& r, int folder, const CopyCheck& c) {
    for (const std::string& k : c.kept)
        res_.kept.push_back(r.dest + "/" + k);
    for (auto it = c.pieces.rbegin(); it != c.pieces.rend(); ++it) {
        if (cancel_.load()) throw UndoStop{};
        std::string leaf;
        engine::Fd dir(engine::openParent(folder, *it, leaf));
        ItemKind kind = ItemKind::File;
        if (dir.ok() && entryIdentity(dir.get(), leaf, &kind).known)
            trashOne(dir.get(), r.dest + "/" + *it, kind);
    }
}

UndoResult runUndo(Journal& journal, const UndoPlan& plan, Policy clashPolicy,
                   UndoObserver& observer, const std::atomic<bool>& cancel) {
    Undoer u(journal, plan, clashPolicy, observer, cancel);
    return u.run();
}

} // namespace qb::history
