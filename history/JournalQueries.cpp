// The drop journal's queries: the drops listed, one drop's items, what an undo may take.
#include "history/Journal.h"
#include "history/Statement.h"

#include <string>

namespace qb::history {

namespace {

DropRecord dropAt(const Stmt& s) {
    DropRecord d;
    d.id = s.i64(0);
    d.timeMs = s.i64(1);
    d.account = s.str(2);
    d.group = static_cast<int>(s.i64(3));
    d.slot = static_cast<int>(s.i64(4));
    d.slotName = s.str(5);
    d.destFolder = s.str(6);
    d.op = s.i64(7) == 1 ? Op::Move : Op::Copy;
    d.policy = static_cast<Policy>(s.i64(8));
    if (!s.isNull(9)) d.outcome = static_cast<Outcome>(s.i64(9));
    d.undoOf = s.i64(10);
    d.undoneBy = s.i64(11);
    d.itemCount = static_cast<int>(s.i64(12));
    return d;
}

constexpr const char* kDropColumns =
    "d.id, d.time_ms, d.account, d.grp, d.slot, d.slot_name, d.dest_folder, d.op, d.policy, "
    "d.outcome, d.undo_of, d.undone_by, "
    "(SELECT count(*) FROM items i WHERE i.drop_id = d.id AND i.parent = 0)";

} // namespace

std::vector<DropRecord> Journal::drops(const std::string& filter, int limit, int offset) const {
    const std::lock_guard lock(mutex_);
    std::string sql = std::string("SELECT ") + kDropColumns + " FROM drops d";
    if (!filter.empty())
        sql += " WHERE instr(lower(d.slot_name), lower(?3)) OR instr(lower(CAST(d.dest_folder "
               "AS TEXT)), lower(?3)) OR EXISTS(SELECT 1 FROM items i WHERE i.drop_id = d.id "
               "AND (instr(lower(CAST(i.source AS TEXT)), lower(?3)) OR "
               "instr(lower(CAST(i.dest AS TEXT)), lower(?3))))";
    sql += " ORDER BY d.id DESC LIMIT ?1 OFFSET ?2";
    Stmt s(db_, sql.c_str());
    s.bind(1, limit).bind(2, offset);
    if (!filter.empty()) s.text(3, filter);
    std::vector<DropRecord> out;
    while (s.step())
        out.push_back(dropAt(s));
    return out;
}

std::optional<DropRecord> Journal::drop(std::int64_t id) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, (std::string("SELECT ") + kDropColumns + " FROM drops d WHERE d.id = ?1").c_str());
    s.bind(1, id);
    if (!s.step()) return std::nullopt;
    return dropAt(s);
}

std::vector<ItemRecord> Journal::items(std::int64_t drop) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "SELECT id, drop_id, parent, source, dest, kind, state, merged, src_mode, "
                "src_atime_ns, src_mtime_ns, trash_info, dev, ino, size, mtime_ns, before_dev, "
                "before_ino, before_size, before_mtime_ns, uid, src_dir_dev, src_dir_ino, "
                "src_dir_uid, src_dir_mode, dest_dir_dev, dest_dir_ino, dest_dir_uid, "
                "dest_dir_mode, written FROM items WHERE drop_id = ?1 ORDER BY id");
    s.bind(1, drop);
    std::vector<ItemRecord> out;
    while (s.step()) {
        ItemRecord r;
        r.id = s.i64(0);
        r.dropId = s.i64(1);
        r.parentId = s.i64(2);
        r.source = s.str(3);
        r.dest = s.str(4);
        r.kind = static_cast<ItemKind>(s.i64(5));
        r.state = static_cast<ItemState>(s.i64(6));
        r.merged = s.i64(7) != 0;
        r.sourceMode = static_cast<std::uint32_t>(s.i64(8));
        r.sourceAtimeNs = s.i64(9);
        r.sourceMtimeNs = s.i64(10);
        r.trashInfo = s.str(11);
        r.placed = identityAt(s, 12);
        r.before = identityAt(s, 16);
        r.placed.uid = uidAt(s, 20);
        r.sourceDir = folderAt(s, 21);
        r.destDir = folderAt(s, 25);
        r.writtenKnown = s.i64(29) != 0;
        out.push_back(std::move(r));
    }
    Stmt rs(db_, "SELECT r.id, r.item_id, r.path, r.trash_file, r.trash_info, r.trash_dev, "
                 "r.trash_ino, r.trash_size, r.trash_mtime_ns, r.trash_uid, r.trash_dir_dev, "
                 "r.trash_dir_ino, r.trash_dir_uid, r.trash_dir_mode FROM replaced r "
                 "JOIN items i ON i.id = r.item_id WHERE i.drop_id = ?1 ORDER BY r.id");
    rs.bind(1, drop);
    while (rs.step()) {
        ReplacedRecord rep{rs.i64(0), rs.str(2), rs.str(3), rs.str(4), identityAt(rs, 5), {}};
        rep.entry.uid = uidAt(rs, 9);
        rep.trashDir = folderAt(rs, 10);
        for (ItemRecord& r : out)
            if (r.id == rs.i64(1)) r.replaced.push_back(rep);
    }
    return out;
}

std::int64_t Journal::lastUndoable() const {
    const std::lock_guard lock(mutex_);
    // Finished, and something of it done: a drop that changed nothing has nothing to undo.
    Stmt s(db_, "SELECT d.id FROM drops d WHERE d.undone_by = 0 AND d.undo_of = 0 AND "
                "d.outcome IS NOT NULL AND EXISTS(SELECT 1 FROM items i WHERE i.drop_id = d.id "
                "AND i.state = 1) ORDER BY d.id DESC LIMIT 1");
    return s.step() ? s.i64(0) : 0;
}

std::vector<std::int64_t> Journal::laterDependents(std::int64_t id) const {
    const std::lock_guard lock(mutex_);
    // A later drop depends on this one when one of its paths is, lies in or holds one
    // of this drop's: it moved, replaced or filled what this drop left. An undo of an
    // ordinary drop leaves things as they were before that drop, so it never counts;
    // an undo of an undo does the drop again, and counts.
    Stmt s(db_, R"(
SELECT DISTINCT l.drop_id FROM items l JOIN drops ld ON ld.id = l.drop_id
JOIN items m ON m.drop_id = ?1
WHERE l.drop_id > ?1 AND ld.undone_by = 0 AND l.state NOT IN (2, 3)
AND NOT (ld.undo_of <> 0 AND (SELECT x.undo_of FROM drops x WHERE x.id = ld.undo_of) = 0) AND (
    l.source = m.dest OR l.dest = m.dest OR
    substr(l.source, 1, length(m.dest) + 1) = CAST(m.dest || '/' AS BLOB) OR
    substr(l.dest, 1, length(m.dest) + 1) = CAST(m.dest || '/' AS BLOB) OR
    substr(m.dest, 1, length(l.dest) + 1) = CAST(l.dest || '/' AS BLOB) OR
    (ld.op = 1 AND substr(m.dest, 1, length(l.source) + 1) = CAST(l.source || '/' AS BLOB)))
ORDER BY l.drop_id)");
    s.bind(1, id);
    std::vector<std::int64_t> out;
    while (s.step())
        out.push_back(s.i64(0));
    return out;
}

} // namespace qb::history
