// Recording an item as the engine reports it, and settling items a killed process left.
#include "history/Recorder.h"

#include "engine/Posix.h"
#include "history/Places.h"
#include "history/Written.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace qb::history {

namespace {

std::int64_t ns(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

ItemKind kindOf(const struct stat& st) {
    return S_ISDIR(st.st_mode)   ? ItemKind::Folder
           : S_ISLNK(st.st_mode) ? ItemKind::Link
                                 : ItemKind::File;
}

// A row for the entry at `source` as it is before it goes anywhere.
ItemRecord sourceRecord(std::int64_t drop, std::int64_t parent, const std::string& source) {
    ItemRecord r;
    r.dropId = drop;
    r.parentId = parent;
    r.source = source;
    r.sourceDir = folderIdOf(parentOf(source));
    struct stat st;
    if (::lstat(source.c_str(), &st) == 0) {
        r.kind = kindOf(st);
        r.sourceMode = st.st_mode & 07777;
        r.sourceAtimeNs = ns(st.st_atim);
        r.sourceMtimeNs = ns(st.st_mtim);
    }
    return r;
}

// Whether what is at `dest` now came with the item: something is there, and not what
// was there before.
ItemState settled(const Identity& before, const Identity& now) {
    if (!now.known) return ItemState::Failed;
    if (before.known && before.dev == now.dev && before.ino == now.ino) return ItemState::Failed;
    return ItemState::Done;
}

Identity identityFrom(const struct stat& st, ItemKind* kind) {
    Identity id;
    id.known = true;
    id.uid = st.st_uid;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    id.mtimeNs = ns(st.st_mtim);
    if (kind) *kind = kindOf(st);
    return id;
}

// The entries a copied folder's copy wrote, each as it is when the copy is done.
void recordWritten(Journal& j, std::int64_t row, const std::string& folder, const Identity& id) {
    engine::Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || st.st_ino != id.ino || st.st_dev != id.dev)
        return;
    j.addWritten(row, listTree(fd.get()));
}

} // namespace

Identity identityOf(const std::string& path, ItemKind* kind) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return {};
    return identityFrom(st, kind);
}

Identity entryIdentity(int dirfd, const std::string& name, ItemKind* kind) {
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
    return identityFrom(st, kind);
}

bool unchanged(const Identity& placed, const Identity& now, ItemKind kind) {
    if (!placed.known || !now.known || placed.dev != now.dev || placed.ino != now.ino) return false;
    // Another user's entry under a reused inode number is not the one placed.
    if (placed.uid >= 0 && now.uid >= 0 && placed.uid != now.uid) return false;
    return kind == ItemKind::Folder || (placed.size == now.size && placed.mtimeNs == now.mtimeNs);
}

void ItemRecorder::begin(const std::string& source, const std::string& destFolder) {
    (void)destFolder;
    if (!journal_) return;
    // A move's row is on the disk before anything moves: after a crash it is what
    // points from the new place back to the old one.
    item_ = journal_->beginItem(sourceRecord(drop_, 0, source), op_ == Op::Move);
    current_ = item_;
}

void ItemRecorder::itemTarget(const std::string& dest, bool merge) {
    if (!journal_ || !item_) return;
    dest_ = dest;
    before_ = identityOf(dest);
    journal_->setItemDest(item_, dest, before_, merge);
    journal_->setDestDir(item_, folderIdOf(parentOf(dest)));
    current_ = item_;
}

void ItemRecorder::folderMerged(const std::string& source, const std::string& dest) {
    if (!journal_ || !item_) return;
    ItemRecord r = sourceRecord(drop_, item_, source);
    r.dest = dest;
    r.merged = true;
    r.state = ItemState::Done; // the folder was there already; only its entries came
    r.before = identityOf(dest);
    r.destDir = folderIdOf(parentOf(dest));
    journal_->beginItem(r, false);
}

void ItemRecorder::entryStarting(const std::string& source, const std::string& dest) {
    if (!journal_ || !item_) return;
    // Its kind is learnt where it lands; mode and times matter only for merged folders.
    ItemRecord r;
    r.dropId = drop_;
    r.parentId = item_;
    r.source = source;
    r.dest = dest;
    r.before = identityOf(dest);
    r.sourceDir = folderIdOf(parentOf(source));
    r.destDir = folderIdOf(parentOf(dest));
    current_ = journal_->beginItem(r, false);
    entries_.push_back({current_, dest, r.before});
    // A moved entry's row is committed before it moves, so a kill cannot hide it;
    // a copy's rows go in batches (the source stays whatever happens).
    if (op_ == Op::Move) journal_->flush();
}

void ItemRecorder::entryTrashed(const std::string& path, const std::string& trashFile,
                                const std::string& trashInfo) {
    if (!journal_ || !current_) return;
    // What the Trash got, so that only that comes back.
    journal_->addReplaced(current_, {0, path, trashFile, trashInfo, identityOf(trashFile),
                                     folderIdOf(parentOf(trashFile))});
    if (op_ == Op::Move) journal_->flush();
}

void ItemRecorder::end(const OperationResult& result) {
    if (!journal_ || !item_) return;
    for (const Entry& e : entries_) {
        ItemKind kind = ItemKind::File;
        const Identity now = identityOf(e.dest, &kind);
        const ItemState state = settled(e.before, now);
        journal_->finishItem(e.id, state, kind, now);
        if (op_ == Op::Copy && state == ItemState::Done && kind == ItemKind::Folder)
            recordWritten(*journal_, e.id, e.dest, now);
    }
    ItemKind kind = ItemKind::File;
    const Identity now = identityOf(dest_, &kind);
    bool merged = false;
    if (!dest_.empty()) {
        // A merge's folder was there before; the item counts as done when anything came.
        merged = before_.known && kind == ItemKind::Folder && !entries_.empty();
    }
    const ItemState state = result.outcome == Outcome::Skipped ? ItemState::Skipped
                            : merged                           ? ItemState::Done
                                                               : settled(before_, now);
    journal_->finishItem(item_, state, kind, now);
    if (op_ == Op::Copy && state == ItemState::Done && kind == ItemKind::Folder && !merged)
        recordWritten(*journal_, item_, dest_, now);
    journal_->flush();
}

OperationResult runRecorded(Journal* journal, std::int64_t drop, Op op, Policy policy,
                            const std::string& source, const std::string& destFolder,
                            OperationObserver& observer, const std::atomic<bool>& cancel,
                            const OperationOptions& options) {
    ItemRecorder rec(drop ? journal : nullptr, drop, op, observer);
    rec.begin(source, destFolder);
    const OperationResult result =
        runOperation(op, policy, source, destFolder, rec, cancel, options);
    // Only what was read back counts: a move by renames copies nothing to verify.
    if (journal && drop && result.verified) journal->markVerified(drop);
    rec.end(result);
    return result;
}

} // namespace qb::history
