// The drop journal in SQLite: schema, recording, queries, pruning.
#include "history/Journal.h"
#include "history/Recorder.h"
#include "history/Statement.h"

#include "engine/Log.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::history {

using engine::logLine;

namespace {

// Bumped with each change of the tables; open() migrates from older ones.
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS drops(
    id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, account TEXT NOT NULL DEFAULT '',
    grp INTEGER NOT NULL DEFAULT 0, slot INTEGER NOT NULL DEFAULT 0,
    slot_name TEXT NOT NULL DEFAULT '', dest_folder BLOB NOT NULL DEFAULT '',
    op INTEGER NOT NULL, policy INTEGER NOT NULL, outcome INTEGER,
    undo_of INTEGER NOT NULL DEFAULT 0, undone_by INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS items(
    id INTEGER PRIMARY KEY, drop_id INTEGER NOT NULL REFERENCES drops(id) ON DELETE CASCADE,
    parent INTEGER NOT NULL DEFAULT 0, source BLOB NOT NULL, dest BLOB NOT NULL DEFAULT '',
    kind INTEGER NOT NULL DEFAULT 0, state INTEGER NOT NULL DEFAULT 0,
    merged INTEGER NOT NULL DEFAULT 0, src_mode INTEGER NOT NULL DEFAULT 0,
    src_atime_ns INTEGER NOT NULL DEFAULT 0, src_mtime_ns INTEGER NOT NULL DEFAULT 0,
    dev INTEGER, ino INTEGER, size INTEGER, mtime_ns INTEGER,
    before_dev INTEGER, before_ino INTEGER, before_size INTEGER, before_mtime_ns INTEGER,
    trash_info BLOB NOT NULL DEFAULT '');
CREATE INDEX IF NOT EXISTS items_drop ON items(drop_id);
CREATE TABLE IF NOT EXISTS replaced(
    id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE,
    path BLOB NOT NULL, trash_file BLOB NOT NULL, trash_info BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS replaced_item ON replaced(item_id);
)";

// Entries of a merge committed together: a commit each would cost more than the copy
// of a small file.
constexpr int kBatch = 256;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Identity identityAt(const Stmt& s, int c) {
    Identity id;
    if (s.isNull(c)) return id;
    id.known = true;
    id.dev = static_cast<std::uint64_t>(s.i64(c));
    id.ino = static_cast<std::uint64_t>(s.i64(c + 1));
    id.size = static_cast<std::uint64_t>(s.i64(c + 2));
    id.mtimeNs = s.i64(c + 3);
    return id;
}

void bindIdentity(Stmt& s, int i, const Identity& id) {
    if (!id.known) {
        for (int k = 0; k < 4; ++k)
            s.null(i + k);
        return;
    }
    s.bind(i, static_cast<std::int64_t>(id.dev)).bind(i + 1, static_cast<std::int64_t>(id.ino));
    s.bind(i + 2, static_cast<std::int64_t>(id.size)).bind(i + 3, id.mtimeNs);
}

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

// Makes each missing folder of `path`, owner-only.
bool makeFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

} // namespace

std::string Journal::defaultFolder() {
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && x[0] == '/')
        return std::string(x) + "/quillbeck";
    if (const char* h = std::getenv("HOME"); h && h[0] == '/')
        return std::string(h) + "/.local/state/quillbeck";
    return {};
}

std::unique_ptr<Journal> Journal::open(const std::string& folder, std::string& error) {
    if (folder.empty() || folder[0] != '/') return error = "no absolute folder for it", nullptr;
    struct stat st;
    const bool made = ::stat(folder.c_str(), &st) != 0;
    if (made && !makeFolders(folder)) return error = folder + ": " + std::strerror(errno), nullptr;
    if (made) ::chmod(folder.c_str(), 0700);
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + kFileName;
    // Created owner-only before SQLite opens it (it would follow the umask).
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return error = path + ": " + std::strerror(errno), nullptr;
    ::fchmod(fd, 0600); // also one made with a wider mode by hand or a copy
    ::close(fd);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<Journal> j(new Journal(db, path));
    // WAL: a killed process loses nothing committed, and readers never wait for the writer.
    if (!j->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"))
        return error = path + ": " + sqlite3_errmsg(db), nullptr;
    int version = 0;
    {
        Stmt v(db, "PRAGMA user_version");
        if (v.step()) version = static_cast<int>(v.i64(0));
    }
    if (version > kSchemaVersion)
        return error =
                   path + ": written by a newer version (schema " + std::to_string(version) + ")",
               nullptr;
    if (version < kSchemaVersion) {
        if (!j->exec("BEGIN") || !j->exec(kSchema) ||
            !j->exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) ||
            !j->exec("COMMIT"))
            return error = path + ": " + sqlite3_errmsg(db), nullptr;
    }
    // Tables added later stand beside the first ones, which keep their version, so
    // an older copy of the program still opens the file.
    if (!j->openSlotDisks()) return error = path + ": " + sqlite3_errmsg(db), nullptr;
    // (SQLite gives its -wal and -shm files the database's mode: 0600 too.)
    j->prune();
    return j;
}

Journal::Journal(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Journal::~Journal() {
    {
        const std::lock_guard lock(mutex_);
        commitBatch();
    }
    for (const auto& [sql, stmt] : cache_)
        sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
}

sqlite3_stmt* Journal::cached(const char* sql) {
    sqlite3_stmt*& s = cache_[sql];
    if (!s && sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
        logLine("journal: cannot prepare a statement: %s", sqlite3_errmsg(db_));
        s = nullptr;
    }
    return s;
}

bool Journal::exec(const char* sql) const {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    logLine("journal: %s", msg ? msg : "error");
    sqlite3_free(msg);
    return false;
}

void Journal::setLimits(int maxDrops, int maxDays) {
    const std::lock_guard lock(mutex_);
    maxDrops_ = maxDrops;
    maxDays_ = maxDays;
    prune();
}

void Journal::beginBatch() {
    if (!inBatch_ && exec("BEGIN")) inBatch_ = true;
}

void Journal::commitBatch() {
    if (inBatch_) exec("COMMIT");
    inBatch_ = false;
    batched_ = 0;
}

void Journal::flush() {
    const std::lock_guard lock(mutex_);
    commitBatch();
}

void Journal::prune() {
    commitBatch();
    dropsSincePrune_ = 0;
    Stmt s(db_, "DELETE FROM drops WHERE time_ms < ?1 OR id <= "
                "(SELECT id FROM drops ORDER BY id DESC LIMIT 1 OFFSET ?2)");
    s.bind(1, nowMs() - std::int64_t{maxDays_} * 24 * 3600 * 1000).bind(2, maxDrops_);
    s.run();
}

std::int64_t Journal::beginDrop(const DropRecord& d) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    if (++dropsSincePrune_ >= 100) prune();
    Stmt s(db_, "INSERT INTO drops(time_ms, account, grp, slot, slot_name, dest_folder, op, "
                "policy, undo_of) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    s.bind(1, d.timeMs ? d.timeMs : nowMs()).text(2, d.account).bind(3, d.group).bind(4, d.slot);
    s.text(5, d.slotName).bind(6, d.destFolder).bind(7, d.op == Op::Move ? 1 : 0);
    s.bind(8, static_cast<int>(d.policy)).bind(9, d.undoOf);
    return s.run() ? sqlite3_last_insert_rowid(db_) : 0;
}

void Journal::endDrop(std::int64_t drop, Outcome outcome) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    Stmt s(db_, "UPDATE drops SET outcome = ?2 WHERE id = ?1");
    s.bind(1, drop).bind(2, static_cast<int>(outcome)).run();
}

std::int64_t Journal::beginItem(const ItemRecord& item, bool sync) {
    const std::lock_guard lock(mutex_);
    if (!sync) beginBatch();
    // On the disk, not only in the file, before this returns: a durable move removes
    // sources that only this row points back to. (A sync of the log covers the rows
    // committed before it too.)
    if (sync) {
        commitBatch();
        exec("PRAGMA synchronous=FULL");
    }
    static const char* const kInsert =
        "INSERT INTO items(drop_id, parent, source, dest, kind, state, merged, src_mode, "
        "src_atime_ns, src_mtime_ns, trash_info, before_dev, before_ino, before_size, "
        "before_mtime_ns) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)";
    Stmt s(cached(kInsert));
    s.bind(1, item.dropId).bind(2, item.parentId).bind(3, item.source).bind(4, item.dest);
    s.bind(5, static_cast<int>(item.kind)).bind(6, static_cast<int>(item.state));
    s.bind(7, item.merged ? 1 : 0).bind(8, std::int64_t{item.sourceMode});
    s.bind(9, item.sourceAtimeNs).bind(10, item.sourceMtimeNs).bind(11, item.trashInfo);
    bindIdentity(s, 12, item.before);
    const std::int64_t id = s.run() ? sqlite3_last_insert_rowid(db_) : 0;
    if (sync) {
        exec("PRAGMA synchronous=NORMAL");
    } else if (++batched_ >= kBatch) {
        commitBatch();
    }
    return id;
}

void Journal::setItemDest(std::int64_t item, const std::string& dest, const Identity& before,
                          bool merged) {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "UPDATE items SET dest = ?2, merged = ?3, before_dev = ?4, before_ino = ?5, "
                "before_size = ?6, before_mtime_ns = ?7 WHERE id = ?1");
    s.bind(1, item).bind(2, dest).bind(3, merged ? 1 : 0);
    bindIdentity(s, 4, before);
    s.run();
}

void Journal::finishItem(std::int64_t item, ItemState state, ItemKind kind,
                         const Identity& placed) {
    const std::lock_guard lock(mutex_);
    beginBatch(); // the caller flushes once the item's rows are all written
    static const char* const kFinish = "UPDATE items SET state = ?2, kind = ?3, dev = ?4, "
                                       "ino = ?5, size = ?6, mtime_ns = ?7 WHERE id = ?1";
    Stmt s(cached(kFinish));
    s.bind(1, item).bind(2, static_cast<int>(state)).bind(3, static_cast<int>(kind));
    bindIdentity(s, 4, placed);
    s.run();
}

void Journal::addReplaced(std::int64_t item, const ReplacedRecord& r) {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "INSERT INTO replaced(item_id, path, trash_file, trash_info) "
                "VALUES(?1, ?2, ?3, ?4)");
    s.bind(1, item).bind(2, r.path).bind(3, r.trashFile).bind(4, r.trashInfo).run();
}

void Journal::setTrashInfo(std::int64_t item, const std::string& info) {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "UPDATE items SET trash_info = ?2 WHERE id = ?1");
    s.bind(1, item).bind(2, info).run();
}

void Journal::rebindUnder(const std::string& path) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    struct Row {
        std::int64_t id;
        std::string dest;
        ItemKind kind;
        Identity placed;
    };
    std::vector<Row> rows;
    {
        Stmt s(db_, "SELECT id, dest, kind, dev, ino, size, mtime_ns FROM items WHERE state = 1 "
                    "AND (dest = ?1 OR substr(dest, 1, length(?1) + 1) = CAST(?1 || '/' AS BLOB))");
        s.bind(1, path);
        while (s.step())
            rows.push_back({s.i64(0), s.str(1), static_cast<ItemKind>(s.i64(2)), identityAt(s, 3)});
    }
    exec("BEGIN");
    for (const Row& r : rows) {
        ItemKind kind = r.kind;
        const Identity now = identityOf(r.dest, &kind);
        if (!now.known || kind != r.kind || !r.placed.known ||
            (kind != ItemKind::Folder &&
             (now.size != r.placed.size || now.mtimeNs != r.placed.mtimeNs)))
            continue;
        Stmt s(db_, "UPDATE items SET dev = ?2, ino = ?3, size = ?4, mtime_ns = ?5 WHERE id = ?1");
        s.bind(1, r.id);
        bindIdentity(s, 2, now);
        s.run();
    }
    exec("COMMIT");
}

void Journal::setUndone(std::int64_t drop, std::int64_t by) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    Stmt s(db_, "UPDATE drops SET undone_by = ?2 WHERE id = ?1");
    s.bind(1, drop).bind(2, by).run();
}

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
                "before_ino, before_size, before_mtime_ns FROM items WHERE drop_id = ?1 "
                "ORDER BY id");
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
        out.push_back(std::move(r));
    }
    Stmt rs(db_, "SELECT r.id, r.item_id, r.path, r.trash_file, r.trash_info FROM replaced r "
                 "JOIN items i ON i.id = r.item_id WHERE i.drop_id = ?1 ORDER BY r.id");
    rs.bind(1, drop);
    while (rs.step()) {
        for (ItemRecord& r : out)
            if (r.id == rs.i64(1))
                r.replaced.push_back({rs.i64(0), rs.str(2), rs.str(3), rs.str(4)});
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

int Journal::recover() {
    const std::lock_guard lock(mutex_);
    commitBatch();
    struct Open {
        std::int64_t id;
        std::string dest;
        Identity before;
        bool merged;
    };
    std::vector<Open> open;
    {
        Stmt s(db_, "SELECT id, dest, merged, before_dev, before_ino, before_size, "
                    "before_mtime_ns FROM items WHERE state = 0");
        while (s.step())
            open.push_back({s.i64(0), s.str(1), identityAt(s, 3), s.i64(2) != 0});
    }
    exec("BEGIN");
    for (const Open& o : open) {
        // What is at the destination now and was not there before came with the item;
        // a merge's folder was there before and holds what came.
        ItemKind kind = ItemKind::File;
        const Identity now = identityOf(o.dest, &kind);
        const bool came = now.known && (o.merged || !o.before.known || o.before.dev != now.dev ||
                                        o.before.ino != now.ino);
        Stmt s(db_, "UPDATE items SET state = ?2, kind = ?3, dev = ?4, ino = ?5, size = ?6, "
                    "mtime_ns = ?7 WHERE id = ?1");
        s.bind(1, o.id).bind(2, static_cast<int>(came ? ItemState::Done : ItemState::Failed));
        s.bind(3, static_cast<int>(kind));
        bindIdentity(s, 4, came ? now : Identity{});
        s.run();
    }
    // A drop cut short by the kill failed, whatever its items did.
    exec("UPDATE drops SET outcome = 1 WHERE outcome IS NULL");
    exec("COMMIT");
    return static_cast<int>(open.size());
}

} // namespace qb::history
