// The drop journal in SQLite: schema, recording, pruning, recovery (queries: JournalQueries.cpp).
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
    if (!j->openSlotDisks() || !j->openPlaces())
        return error = path + ": " + sqlite3_errmsg(db), nullptr;
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
        "before_mtime_ns, src_dir_dev, src_dir_ino, src_dir_uid, src_dir_mode, dest_dir_dev, "
        "dest_dir_ino, dest_dir_uid, dest_dir_mode) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
        "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23)";
    Stmt s(cached(kInsert));
    s.bind(1, item.dropId).bind(2, item.parentId).bind(3, item.source).bind(4, item.dest);
    s.bind(5, static_cast<int>(item.kind)).bind(6, static_cast<int>(item.state));
    s.bind(7, item.merged ? 1 : 0).bind(8, std::int64_t{item.sourceMode});
    s.bind(9, item.sourceAtimeNs).bind(10, item.sourceMtimeNs).bind(11, item.trashInfo);
    bindIdentity(s, 12, item.before);
    bindFolder(s, 16, item.sourceDir);
    bindFolder(s, 20, item.destDir);
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
                                       "ino = ?5, size = ?6, mtime_ns = ?7, uid = ?8 WHERE id = ?1";
    Stmt s(cached(kFinish));
    s.bind(1, item).bind(2, static_cast<int>(state)).bind(3, static_cast<int>(kind));
    bindIdentity(s, 4, placed);
    bindUid(s, 8, placed.known ? placed.uid : -1);
    s.run();
}

void Journal::addReplaced(std::int64_t item, const ReplacedRecord& r) {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "INSERT INTO replaced(item_id, path, trash_file, trash_info, trash_dev, "
                "trash_ino, trash_size, trash_mtime_ns, trash_uid, trash_dir_dev, trash_dir_ino, "
                "trash_dir_uid, trash_dir_mode) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                "?11, ?12, ?13)");
    s.bind(1, item).bind(2, r.path).bind(3, r.trashFile).bind(4, r.trashInfo);
    bindIdentity(s, 5, r.entry);
    bindUid(s, 9, r.entry.known ? r.entry.uid : -1);
    bindFolder(s, 10, r.trashDir);
    s.run();
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
    rebindWrittenUnder(path);
}

void Journal::setUndone(std::int64_t drop, std::int64_t by) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    Stmt s(db_, "UPDATE drops SET undone_by = ?2 WHERE id = ?1");
    s.bind(1, drop).bind(2, by).run();
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
