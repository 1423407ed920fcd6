// The disks slots' folders were chosen on, kept in the journal's file: a drop
// later tells a missing drive from an empty mount folder by them.
#include "history/Journal.h"
#include "history/Statement.h"

namespace qb::history {

bool Journal::openSlotDisks() {
    return exec(R"(
CREATE TABLE IF NOT EXISTS slot_disks(
    account TEXT NOT NULL, grp INTEGER NOT NULL, slot INTEGER NOT NULL,
    path BLOB NOT NULL, identity BLOB NOT NULL, PRIMARY KEY(account, grp, slot));
CREATE TABLE IF NOT EXISTS slot_disk_imports(source BLOB PRIMARY KEY);
)");
}

std::string Journal::slotDisk(const std::string& account, int group, int slot,
                              const std::string& path) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "SELECT path, identity FROM slot_disks WHERE account = ?1 AND grp = ?2 AND "
                "slot = ?3");
    s.text(1, account).bind(2, group).bind(3, slot);
    // A slot given another path since (by any means) is not judged by the old disk.
    if (!s.step() || s.str(0) != path) return {};
    return s.str(1);
}

bool Journal::setSlotDisk(const std::string& account, int group, int slot, const std::string& path,
                          const std::string& identity) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    Stmt s(db_, "INSERT OR REPLACE INTO slot_disks(account, grp, slot, path, identity) "
                "VALUES(?1, ?2, ?3, ?4, ?5)");
    return s.text(1, account).bind(2, group).bind(3, slot).bind(4, path).bind(5, identity).run();
}

bool Journal::slotDisksImported(const std::string& source) const {
    const std::lock_guard lock(mutex_);
    Stmt s(db_, "SELECT 1 FROM slot_disk_imports WHERE source = ?1");
    s.bind(1, source);
    return s.step();
}

void Journal::markSlotDisksImported(const std::string& source) {
    const std::lock_guard lock(mutex_);
    commitBatch();
    Stmt s(db_, "INSERT OR IGNORE INTO slot_disk_imports(source) VALUES(?1)");
    s.bind(1, source).run();
}

} // namespace qb::history
