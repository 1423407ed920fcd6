// Undoing a drop: the moves back, the Trash, the record (the plan: UndoPlan.cpp).
#include "history/Undo.h"

#include "engine/Log.h"
#include "engine/Names.h"
#include "engine/Posix.h"
#include "engine/Trash.h"
#include "history/Recorder.h"
#include "history/UndoItems.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::history {

using engine::logLine;

namespace {

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Which side of an item's row the Trash holds, by its .trashinfo's name.
bool inTrash(const std::string& path, const std::string& info) {
    return !info.empty() && nameOf(info) == nameOf(path) + ".trashinfo" &&
           nameOf(parentOf(path)) == "files";
}

// The .trashinfo of an item that went back into the Trash, saying it came from `path`.
void writeTrashInfo(const std::string& info, const std::string& path) {
    const std::string text = "[Trash Info]\nPath=" + engine::trashPathEncode(path) +
                             "\nDeletionDate=" + engine::trashDateNow() + "\n";
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        (void)n;
        ::close(fd);
    }
}

// Makes each missing folder above `path` (mode as for a new folder).
bool makeParents(const std::string& path) {
    const std::string parent = parentOf(path);
    if (parent == "/" || pathExists(parent)) return true;
    if (!makeParents(parent)) return false;
    return ::mkdir(parent.c_str(), 0777) == 0 || errno == EEXIST;
}

// The engine's questions while it moves an item back across file systems: it goes
// to a free name, so none should come; an error is skipped and counted.
class BackObserver : public OperationObserver {
public:
    // `merge`: the item goes back into a folder at its source, replacing nothing there.
    explicit BackObserver(UndoObserver& o, bool merge = false) : o_(o), merge_(merge) {}
    void progress(const Progress& p) override { o_.progress(p.current); }
    ReplaceAnswer askReplace(const ItemInfo&, const ItemInfo& incoming) override {
        kept.push_back(incoming.path);
        return ReplaceAnswer::No;
    }
    ReplaceAnswer askMerge(const ItemInfo&, const ItemInfo&) override {
        return merge_ ? ReplaceAnswer::Yes : ReplaceAnswer::No;
    }
    std::vector<std::string> kept; // entries left where they are, as their place is taken
    ErrorAnswer error(const OpError&) override { return ErrorAnswer::Skip; }

private:
    UndoObserver& o_;
    bool merge_;
};

struct Stop {};

class Undoer {
public:
    Undoer(Journal& j, const UndoPlan& plan, Policy policy, UndoObserver& obs,
           const std::atomic<bool>& cancel)
        : j_(j), plan_(plan), policy_(policy), obs_(obs), cancel_(cancel) {}

    UndoResult run();

private:
    void undoItem(const ItemRecord& r);
    void undoMerge(const ItemRecord& top);
    void restoreReplaced(const ItemRecord& r);
    // Moves `from` to `to` (a free path); false when it could not (reported).
    bool moveTo(const std::string& from, const std::string& to);
    bool mergeBack(const std::string& from, const std::string& to);
    // The path an item goes back to: `want`, or under the clash policy another free
    // one; empty: left where it is.
    std::string freeTarget(const std::string& want, const std::string& item, std::int64_t& row);
    std::int64_t record(const std::string& from, const std::string& to, ItemKind kind,
                        const std::string& info = {});
    void settle(std::int64_t row, const std::string& at, bool ok);
    bool toTrash(const std::string& path, engine::Trash::Placed& where, int& err);
    // What went back to `to` may have been copied across file systems on its way (by
    // a later drop undone since, or now): earlier drops' rows for it follow it.
    void rebind(const std::string& to) { j_.rebindUnder(to); }
    void failed(const std::string& path, int code) {
        res_.failed.push_back(path + ": " + (code ? std::strerror(code) : "not undone"));
        logLine("undo: %s", res_.failed.back().c_str());
    }

    Journal& j_;
    const UndoPlan& plan_;
    Policy policy_;
    UndoObserver& obs_;
    const std::atomic<bool>& cancel_;
    UndoResult res_;
    engine::LogOnce once_;
    engine::Trash trash_{&once_};
};

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
    } catch (const Stop&) {
        stopped = true;
    }
    res_.outcome = stopped               ? Outcome::Cancelled
                   : res_.failed.empty() ? Outcome::Done
                                         : Outcome::Failed;
    j_.endDrop(res_.undoDrop, res_.outcome);
    // A cancelled undo can be finished later: what it did not reach is still there.
    if (!stopped) j_.setUndone(plan_.dropId, res_.undoDrop);
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
    std::vector<const ItemRecord*> made;
    const bool moved = plan_.drop.op == Op::Move;
    for (const ItemRecord* f : folders) {
        if (!moved) continue;
        // Made owner-only first, so entries can go in whatever its mode; one
        // still so is taken as left by an undo that was stopped.
        struct stat st;
        if (::lstat(f->source.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode) && (st.st_mode & 07777) == 0700 && st.st_uid == ::getuid())
                made.push_back(f);
        } else if (makeParents(f->source) && ::mkdir(f->source.c_str(), 0700) == 0) {
            made.push_back(f);
        }
    }
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
        undoItem(**e);
    // Its mode and times once nothing more goes into it.
    for (auto f = made.rbegin(); f != made.rend(); ++f) {
        const ItemRecord& r = **f;
        ::chmod(r.source.c_str(), r.sourceMode);
        const struct timespec times[2] = {
            {r.sourceAtimeNs / 1000000000, r.sourceAtimeNs % 1000000000},
            {r.sourceMtimeNs / 1000000000, r.sourceMtimeNs % 1000000000}};
        ::utimensat(AT_FDCWD, r.source.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
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
    return j_.beginItem(r, true);
}

void Undoer::settle(std::int64_t row, const std::string& at, bool ok) {
    if (!row) return;
    ItemKind kind = ItemKind::File;
    const Identity now = identityOf(at, &kind);
    j_.finishItem(row, ok ? ItemState::Done : ItemState::Failed, kind, ok ? now : Identity{});
    j_.flush();
}

bool Undoer::toTrash(const std::string& path, engine::Trash::Placed& where, int& err) {
    engine::Fd dir(::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.ok()) return err = errno, false;
    if (!trash_.available(dir.get())) return err = EXDEV, false;
    err = trash_.put(dir.get(), nameOf(path), path, &where);
    return err == 0;
}

std::string Undoer::freeTarget(const std::string& want, const std::string& item,
                               std::int64_t& row) {
    if (!pathExists(want)) return want;
    ClashAnswer a = ClashAnswer::Rename;
    bool canTrash = false;
    {
        engine::Fd dir(::open(parentOf(want).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        canTrash = dir.ok() && trash_.available(dir.get());
    }
    if (policy_ == Policy::AskReplace || (policy_ == Policy::AutoReplace && !canTrash))
        a = obs_.askClash(want, item, canTrash);
    else if (policy_ == Policy::AutoReplace)
        a = ClashAnswer::Replace;
    switch (a) {
    case ClashAnswer::Cancel:
        throw Stop{};
    case ClashAnswer::Skip:
        res_.leftAlone.push_back(item);
        return {};
    case ClashAnswer::Replace: {
        if (!canTrash) {
            res_.leftAlone.push_back(item);
            return {};
        }
        // What took the place goes to the Trash (the undo's own row, so it comes back
        // when the undo is undone); never deleted.
        ItemKind kind = ItemKind::File;
        identityOf(want, &kind);
        row = record(want, {}, kind);
        engine::Trash::Placed where;
        int err = 0;
        if (!toTrash(want, where, err)) {
            settle(row, {}, false);
            failed(want, err);
            return {};
        }
        if (row) j_.setItemDest(row, where.file, {}, false);
        // The row names the Trash side's .trashinfo; written with the rest below.
        settle(row, where.file, true);
        if (row) j_.setTrashInfo(row, where.info);
        row = 0;
        return want;
    }
    case ClashAnswer::Rename:
        break;
    }
    const bool isDir = identityOf(item).known && [&] {
        struct stat st;
        return ::lstat(item.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }();
    for (int n = 2; n < 100000; ++n) {
        const std::string c = engine::joinPath(parentOf(want), renamedName(nameOf(want), isDir, n));
        if (!pathExists(c)) return c;
    }
    res_.leftAlone.push_back(item);
    return {};
}

bool Undoer::moveTo(const std::string& from, const std::string& to) {
    if (!makeParents(to)) return failed(to, errno), false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return rebind(to), true;
    const int code = errno;
    if (code != EXDEV) return failed(from, code), false;
    // Another file system: the engine's durable copy, then the removal, to the very name.
    BackObserver back(obs_);
    OperationOptions o;
    o.destName = nameOf(to);
    const OperationResult r =
        runOperation(Op::Move, Policy::AutoRename, from, parentOf(to), back, cancel_, o);
    if (r.outcome == Outcome::Cancelled) throw Stop{};
    if (r.outcome != Outcome::Done) return failed(from, 0), false;
    rebind(to);
    return true;
}

bool Undoer::mergeBack(const std::string& from, const std::string& to) {
    BackObserver back(obs_, true);
    OperationOptions o;
    o.destName = nameOf(to);
    const OperationResult r =
        runOperation(Op::Move, Policy::AskReplace, from, parentOf(to), back, cancel_, o);
    if (r.outcome == Outcome::Cancelled) throw Stop{};
    for (const std::string& kept : back.kept)
        res_.leftAlone.push_back(kept);
    // A merge declined as a whole left everything where it was, as kept says.
    if (r.outcome != Outcome::Done && r.outcome != Outcome::Skipped) return failed(from, 0), false;
    rebind(to);
    return true;
}

void Undoer::undoItem(const ItemRecord& r) {
    if (cancel_.load()) throw Stop{};
    if (!undoable(r)) return restoreReplaced(r);
    ItemKind kindNow = r.kind;
    const Identity now = identityOf(r.dest, &kindNow);
    if (!unchanged(r.placed, now, r.kind)) {
        res_.leftAlone.push_back(r.dest);
        // Gone: what it replaced can come back to the free place.
        if (!now.known) restoreReplaced(r);
        return;
    }
    obs_.progress(r.dest);
    if (plan_.drop.op == Op::Copy) {
        const std::int64_t row = record(r.dest, {}, r.kind);
        engine::Trash::Placed where;
        int err = 0;
        if (!toTrash(r.dest, where, err)) {
            settle(row, {}, false);
            res_.leftAlone.push_back(r.dest);
            failed(r.dest, err);
            return;
        }
        if (row) {
            j_.setItemDest(row, where.file, {}, false);
            j_.setTrashInfo(row, where.info);
        }
        settle(row, where.file, true);
        res_.trashed++;
    } else if (r.kind == ItemKind::Folder && isFolder(r.source) && !inTrash(r.dest, r.trashInfo)) {
        // A move stopped halfway left part of the folder at its source: the rest goes
        // back into it, and nothing there is replaced.
        const std::int64_t row = record(r.dest, r.source, r.kind);
        const bool ok = mergeBack(r.dest, r.source);
        settle(row, r.source, ok);
        if (ok) res_.moved++;
    } else {
        std::int64_t occupant = 0;
        const std::string to = freeTarget(r.source, r.dest, occupant);
        if (to.empty()) return;
        // The Trash side of the row: it goes back with its .trashinfo, or leaves it.
        const bool fromTrash = inTrash(r.dest, r.trashInfo);
        const bool intoTrash = inTrash(r.source, r.trashInfo);
        const std::int64_t row =
            record(r.dest, to, r.kind, fromTrash || intoTrash ? r.trashInfo : "");
        const bool ok = moveTo(r.dest, to);
        if (ok && fromTrash) ::unlink(r.trashInfo.c_str());
        if (ok && intoTrash && to == r.source) writeTrashInfo(r.trashInfo, r.dest);
        settle(row, to, ok);
        if (ok) res_.moved++;
    }
    restoreReplaced(r);
}

void Undoer::restoreReplaced(const ItemRecord& r) {
    for (auto it = r.replaced.rbegin(); it != r.replaced.rend(); ++it) {
        const ReplacedRecord& rep = *it;
        if (!pathExists(rep.trashFile) || pathExists(rep.path)) {
            res_.leftAlone.push_back(rep.path);
            continue;
        }
        ItemKind kind = ItemKind::File;
        identityOf(rep.trashFile, &kind);
        const std::int64_t row = record(rep.trashFile, rep.path, kind, rep.trashInfo);
        const bool ok = ::renameat2(AT_FDCWD, rep.trashFile.c_str(), AT_FDCWD, rep.path.c_str(),
                                    RENAME_NOREPLACE) == 0;
        if (!ok) failed(rep.path, errno);
        if (ok) ::unlink(rep.trashInfo.c_str());
        settle(row, rep.path, ok);
        if (ok) res_.restored++;
    }
}

} // namespace

UndoResult runUndo(Journal& journal, const UndoPlan& plan, Policy clashPolicy,
                   UndoObserver& observer, const std::atomic<bool>& cancel) {
    Undoer u(journal, plan, clashPolicy, observer, cancel);
    return u.run();
}

} // namespace qb::history
