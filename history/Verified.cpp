// Drops whose copies were read back and compared with their sources, in a table of
// its own beside the first ones: an older copy of the program still opens the file.
#include "history/Journal.h"
#include "history/Statement.h"

namespace qb::history {

namespace {

constexpr const char* kTable =
    "CREATE TABLE IF NOT EXISTS verified_drops("
    "drop_id INTEGER PRIMARY KEY REFERENCES drops(id) ON DELETE CASCADE)";

} // namespace

void Journal::markVerified(std::int64_t drop) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    if (!exec(kTable)) return;
    Stmt s(db_, "INSERT OR IGNORE INTO verified_drops(drop_id) VALUES(?1)");
    s.bind(1, drop).run();
}

bool Journal::verified(std::int64_t drop) const {
    const std::lock_guard lock(mutex_);
    Stmt t(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'verified_drops'");
    if (!t.step()) return false;
    Stmt s(db_, "SELECT 1 FROM verified_drops WHERE drop_id = ?1");
    s.bind(1, drop);
    return s.step();
}

} // namespace qb::history
