// An undo's moves back, its Trash and what comes back from it, all through the
// descriptors of folders checked first (Places.h).
#include "engine/Names.h"
#include "engine/Posix.h"
#include "history/Recorder.h"
#include "history/UndoItems.h"
#include "history/Undoer.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::history {

namespace {

// Which side of an item's row the Trash holds, by its .trashinfo's name.
bool inTrash(const std::string& path, const std::string& info) {
    return !info.empty() && nameOf(info) == nameOf(path) + ".trashinfo" &&
           nameOf(parentOf(path)) == "files";
}

// The .trashinfo of an item that went back into the Trash, saying it came from `path`;
// written only into the user's own info/ folder.
void writeTrashInfo(const std::string& info, const std::string& path) {
    engine::Fd dir(openTrashDir(parentOf(info), {}));
    if (!dir.ok()) return;
    const std::string text = "[Trash Info]\nPath=" + engine::trashPathEncode(path) +
                             "\nDeletionDate=" + engine::trashDateNow() + "\n";
    engine::Fd fd(::openat(dir.get(), nameOf(info).c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.ok() && ::write(fd.get(), text.data(), text.size()) < 0) return;
}

void dropTrashInfo(const std::string& info) {
    engine::Fd dir(openTrashDir(parentOf(info), {}));
    if (dir.ok()) ::unlinkat(dir.get(), nameOf(info).c_str(), 0);
}

std::string fdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Whether the entry can leave its folder: a copy to another disk is no use when the
// original stays behind (a read-only disk, an immutable or append-only file).
bool removable(int dir, const std::string& name) {
    if (::faccessat(dir, ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
    const auto fixed = [](int fd) {
        int flags = 0;
        return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
               (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    };
    if (fixed(dir)) return false;
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return true;
    engine::Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return !fd.ok() || !fixed(fd.get());
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

} // namespace

void Undoer::moveBack(const ItemRecord& r, int dir) {
    Refusal why = Refusal::None;
    const int to = folders_.open(parentOf(r.source), r.sourceDir, Use::Make, why);
    if (to < 0) return refuse(r.dest, why);
    const bool fromTrash = inTrash(r.dest, r.trashInfo);
    struct stat st;
    if (r.kind == ItemKind::Folder && !fromTrash &&
        ::fstatat(to, nameOf(r.source).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(st.st_mode)) {
        // A move stopped halfway left part of the folder at its source: the rest goes
        // back into it, and nothing there is replaced.
        const std::int64_t row = record(r.dest, r.source, r.kind);
        const bool ok = mergeBack(dir, r, to);
        settle(row, r.source, ok);
        if (ok) res_.moved++;
        return restoreReplaced(r);
    }
    std::int64_t occupant = 0;
    const std::string target = freeTarget(to, r.source, r.dest, occupant);
    if (target.empty()) return;
    // The Trash side of the row: it goes back with its .trashinfo, or leaves it.
    const bool intoTrash = inTrash(r.source, r.trashInfo);
    const std::int64_t row =
        record(r.dest, target, r.kind, fromTrash || intoTrash ? r.trashInfo : "");
    const bool ok = moveTo(dir, r.dest, to, target, r.kind == ItemKind::Folder);
    if (ok && fromTrash) dropTrashInfo(r.trashInfo);
    if (ok && intoTrash && target == r.source) writeTrashInfo(r.trashInfo, r.dest);
    settle(row, target, ok);
    if (ok) res_.moved++;
    restoreReplaced(r);
}

bool Undoer::moveTo(int fromDir, const std::string& from, int toDir, const std::string& to,
                    bool isDir) {
    const int code = relocate(fromDir, from, toDir, to, isDir);
    if (code > 0) failed(from, code);
    if (code == 0) rebind(to);
    return code == 0;
}

int Undoer::relocate(int fromDir, const std::string& from, int toDir, const std::string& to,
                     bool isDir) {
    int code = 0;
    if (engine::sys().renameat2(fromDir, nameOf(from).c_str(), toDir, nameOf(to).c_str(),
                                RENAME_NOREPLACE) != 0)
        code = errno;
    // No RENAME_NOREPLACE here (FUSE drives): a file by a link or an exclusive create,
    // a folder copied, as the engine moves them.
    if (code == EINVAL && !isDir)
        code = engine::claimName(fromDir, nameOf(from), toDir, nameOf(to), false, &once_,
                                 "entries go back by a hard link or an exclusive create");
    if (code != EXDEV && code != EINVAL) return code;
    // The engine's durable copy, then the removal, to the very name; not started where
    // the original could not be removed after.
    if (!removable(fromDir, nameOf(from))) return refuse(from, Refusal::ReadOnly), -1;
    BackObserver back(obs_);
    OperationOptions o;
    o.destName = nameOf(to);
    const OperationResult r =
        runOperation(Op::Move, Policy::AutoRename, engine::joinPath(fdPath(fromDir), nameOf(from)),
                     fdPath(toDir), back, cancel_, o);
    if (r.outcome == Outcome::Cancelled) throw UndoStop{};
    if (r.outcome == Outcome::Done) return 0;
    return r.firstError && r.firstError->code ? r.firstError->code : EIO;
}

bool Undoer::mergeBack(int fromDir, const ItemRecord& r, int toDir) {
    BackObserver back(obs_, true);
    OperationOptions o;
    o.destName = nameOf(r.source);
    const OperationResult res = runOperation(Op::Move, Policy::AskReplace,
                                             engine::joinPath(fdPath(fromDir), nameOf(r.dest)),
                                             fdPath(toDir), back, cancel_, o);
    if (res.outcome == Outcome::Cancelled) throw UndoStop{};
    for (const std::string& kept : back.kept)
        res_.leftAlone.push_back(kept);
    // A merge declined as a whole left everything where it was, as kept says.
    if (res.outcome != Outcome::Done && res.outcome != Outcome::Skipped)
        return failed(r.dest, 0), false;
    rebind(r.source);
    return true;
}

bool Undoer::toTrash(int dir, const std::string& path, engine::Trash::Placed& where, int& err) {
    if (!trash_.available(dir)) return err = EXDEV, false;
    err = trash_.put(dir, nameOf(path), path, &where);
    return err == 0;
}

bool Undoer::trashOne(int dir, const std::string& path, ItemKind kind, bool counted) {
    const std::int64_t row = record(path, {}, kind);
    engine::Trash::Placed where;
    int err = 0;
    if (!toTrash(dir, path, where, err)) {
        settle(row, {}, false);
        failed(path, err);
        return false;
    }
    if (row) {
        j_.setItemDest(row, where.file, {}, false);
        j_.setTrashInfo(row, where.info);
    }
    settle(row, where.file, true);
    if (counted) res_.trashed++;
    return true;
}

std::string Undoer::freeTarget(int toDir, const std::string& want, const std::string& item,
                               std::int64_t& row) {
    if (!entryIdentity(toDir, nameOf(want)).known) return want;
    ClashAnswer a = ClashAnswer::Rename;
    const bool canTrash = trash_.available(toDir);
    if (policy_ == Policy::AskReplace || (policy_ == Policy::AutoReplace && !canTrash))
        a = obs_.askClash(want, item, canTrash);
    else if (policy_ == Policy::AutoReplace)
        a = ClashAnswer::Replace;
    switch (a) {
    case ClashAnswer::Cancel:
        throw UndoStop{};
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
        entryIdentity(toDir, nameOf(want), &kind);
        row = 0;
        return trashOne(toDir, want, kind, false) ? want : std::string();
    }
    case ClashAnswer::Rename:
        break;
    }
    return renamedTarget(toDir, want, item);
}

std::string Undoer::renamedTarget(int toDir, const std::string& want, const std::string& item) {
    ItemKind kind = ItemKind::File;
    const bool isDir = identityOf(item, &kind).known && kind == ItemKind::Folder;
    for (int n = 2; n < 100000; ++n) {
        const std::string name = renamedName(nameOf(want), isDir, n);
        if (!entryIdentity(toDir, name).known) return engine::joinPath(parentOf(want), name);
    }
    res_.leftAlone.push_back(item);
    return {};
}

void Undoer::restoreReplaced(const ItemRecord& r) {
    for (auto it = r.replaced.rbegin(); it != r.replaced.rend(); ++it)
        restoreOne(r, *it);
}

void Undoer::restoreOne(const ItemRecord& r, const ReplacedRecord& rep) {
    if (done_.count(rep.trashFile)) return;
    Refusal why = Refusal::None;
    ItemKind kind = ItemKind::File;
    engine::Fd files(openTrashEntry(rep, why, &kind));
    if (!files.ok()) {
        // Gone from the Trash since: the user emptied or restored it.
        return why == Refusal::None ? res_.leftAlone.push_back(rep.path) : refuse(rep.path, why);
    }
    const FolderId dest = parentOf(rep.path) == parentOf(r.dest) ? r.destDir : FolderId{};
    const int to = folders_.open(parentOf(rep.path), dest, Use::Put, why);
    if (to < 0) return refuse(rep.path, why);
    if (entryIdentity(to, nameOf(rep.path)).known) return res_.leftAlone.push_back(rep.path);
    const std::int64_t row = record(rep.trashFile, rep.path, kind, rep.trashInfo);
    const int err = relocate(files.get(), rep.trashFile, to, rep.path, kind == ItemKind::Folder);
    if (err > 0) failed(rep.path, err);
    if (!err) dropTrashInfo(rep.trashInfo);
    settle(row, rep.path, err == 0);
    if (!err) res_.restored++;
}

} // namespace qb::history
