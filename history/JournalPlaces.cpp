// What the journal keeps so that an undo touches only what the drop made: the folders
// items came from and went into, the owners of entries, the Trash entries by identity,
// and the entries each copied folder's copy wrote.
#include "history/Journal.h"
#include "history/Recorder.h"
#include "history/Statement.h"

#include <sqlite3.h>

#include <set>

namespace qb::history {

namespace {

// Columns added to the first tables; older journals get them empty (null), which the
// undo reads as "not recorded". An older copy of the program ignores them.
constexpr const char* kItemColumns[] = {
    "uid INTEGER",           "src_dir_dev INTEGER",
    "src_dir_ino INTEGER",   "src_dir_uid INTEGER",
    "src_dir_mode INTEGER",  "dest_dir_dev INTEGER",
    "dest_dir_ino INTEGER",  "dest_dir_uid INTEGER",
    "dest_dir_mode INTEGER", "written INTEGER NOT NULL DEFAULT 0"};
constexpr const char* kReplacedColumns[] = {
    "trash_dev INTEGER",      "trash_ino INTEGER",     "trash_size INTEGER",
    "trash_mtime_ns INTEGER", "trash_uid INTEGER",     "trash_dir_dev INTEGER",
    "trash_dir_ino INTEGER",  "trash_dir_uid INTEGER", "trash_dir_mode INTEGER"};

constexpr const char* kWritten = R"(
CREATE TABLE IF NOT EXISTS written(
    item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE, rel BLOB NOT NULL,
    kind INTEGER NOT NULL, dev INTEGER, ino INTEGER, size INTEGER, mtime_ns INTEGER,
    uid INTEGER);
CREATE INDEX IF NOT EXISTS written_item ON written(item_id);
)";

std::set<std::string> columnsOf(sqlite3* db, const char* table) {
    std::set<std::string> out;
    Stmt s(db, (std::string("PRAGMA table_info(") + table + ")").c_str());
    while (s.step())
        out.insert(s.str(1));
    return out;
}

} // namespace

bool Journal::openPlaces() {
    const std::lock_guard lock(mutex_);
    const auto add = [this](const char* table, const auto& columns) {
        const std::set<std::string> have = columnsOf(db_, table);
        for (const char* c : columns) {
            const std::string name(c, std::string(c).find(' '));
            if (!have.count(name) &&
                !exec((std::string("ALTER TABLE ") + table + " ADD COLUMN " + c).c_str()))
                return false;
        }
        return true;
    };
    if (!exec("BEGIN")) return false;
    if (add("items", kItemColumns) && add("replaced", kReplacedColumns) && exec(kWritten))
        return exec("COMMIT");
    exec("ROLLBACK");
    return false;
}

void Journal::setDestDir(std::int64_t item, const FolderId& dir) {
    const std::lock_guard lock(mutex_);
    static const char* const kSet = "UPDATE items SET dest_dir_dev = ?2, dest_dir_ino = ?3, "
                                    "dest_dir_uid = ?4, dest_dir_mode = ?5 WHERE id = ?1";
    Stmt s(cached(kSet));
    s.bind(1, item);
    bindFolder(s, 2, dir);
    s.run();
}

void Journal::addWritten(std::int64_t item, const std::vector<WrittenEntry>& entries) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    exec("BEGIN");
    static const char* const kAdd = "INSERT INTO written(item_id, rel, kind, dev, ino, size, "
                                    "mtime_ns, uid) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
    for (const WrittenEntry& e : entries) {
        Stmt s(cached(kAdd));
        s.bind(1, item).bind(2, e.rel).bind(3, e.kind);
        bindIdentity(s, 4, e.id);
        bindUid(s, 8, e.id.uid);
        s.run();
    }
    Stmt done(db_, "UPDATE items SET written = 1 WHERE id = ?1");
    done.bind(1, item).run();
    exec("COMMIT");
}

std::vector<WrittenEntry> Journal::written(std::int64_t item) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "SELECT rel, kind, dev, ino, size, mtime_ns, uid FROM written WHERE item_id = ?1");
    s.bind(1, item);
    std::vector<WrittenEntry> out;
    while (s.step()) {
        WrittenEntry e{s.str(0), static_cast<int>(s.i64(1)), identityAt(s, 2)};
        e.id.uid = uidAt(s, 6);
        out.push_back(std::move(e));
    }
    return out;
}

void Journal::rebindWrittenUnder(const std::string& path) {
    const std::lock_guard lock(mutex_);
    struct Row {
        std::int64_t rowid;
        std::string at;
        ItemKind kind;
        Identity was;
    };
    std::vector<Row> rows;
    {
        // The copied folders at, under or above `path`, and their entries there.
        Stmt s(db_, "SELECT w.rowid, i.dest, w.rel, w.kind, w.dev, w.ino, w.size, w.mtime_ns "
                    "FROM written w JOIN items i ON i.id = w.item_id WHERE i.state = 1 AND "
                    "(i.dest = ?1 OR substr(i.dest, 1, length(?1) + 1) = CAST(?1 || '/' AS BLOB) "
                    "OR substr(?1, 1, length(i.dest) + 1) = CAST(i.dest || '/' AS BLOB))");
        s.bind(1, path);
        const std::string under = path + "/";
        while (s.step()) {
            const std::string at = s.str(1) + "/" + s.str(2);
            if (at != path && at.compare(0, under.size(), under) != 0) continue;
            rows.push_back({s.i64(0), at, static_cast<ItemKind>(s.i64(3)), identityAt(s, 4)});
        }
    }
    if (rows.empty()) return;
    exec("BEGIN");
    for (const Row& r : rows) {
        ItemKind kind = r.kind;
        const Identity now = identityOf(r.at, &kind);
        if (!now.known || kind != r.kind || !r.was.known ||
            (kind != ItemKind::Folder && (now.size != r.was.size || now.mtimeNs != r.was.mtimeNs)))
            continue;
        Stmt s(db_, "UPDATE written SET dev = ?2, ino = ?3, size = ?4, mtime_ns = ?5 "
                    "WHERE rowid = ?1");
        s.bind(1, r.rowid);
        bindIdentity(s, 2, now);
        s.run();
    }
    exec("COMMIT");
}

std::vector<std::string> Journal::undoneBefore(std::int64_t id) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "SELECT i.source FROM items i JOIN drops u ON u.id = i.drop_id "
                "WHERE u.undo_of = ?1 AND u.undone_by = 0 AND i.state = 1");
    s.bind(1, id);
    std::vector<std::string> out;
    while (s.step())
        out.push_back(s.str(0));
    return out;
}

} // namespace qb::history
