// A journal file SQLite cannot read: told apart from one that cannot be opened for
// other reasons (a full disk, no permission), and set aside so a fresh one can start.
#pragma once
#include <string>

namespace qb::history {

// Whether the file at `path` is no SQLite database or a damaged one: SQLite says
// SQLITE_NOTADB or SQLITE_CORRUPT on reading it, or its quick check finds damage.
// A missing or unreadable file is not broken.
bool journalFileBroken(const std::string& path);

// Renames `path` (and its -wal and -shm files, which belong to it alone) to
// "<path>.broken-<local time>", never over another file. Returns the new name, or ""
// with `error`.
std::string setJournalAside(const std::string& path, std::string& error);

} // namespace qb::history
