// Telling a broken journal file, and keeping it aside for whoever wants to look at it.
#include "history/JournalAside.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::history {

namespace {

bool brokenCode(int rc) {
    rc &= 0xff; // extended codes carry the primary one in their low byte
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

} // namespace

bool journalFileBroken(const std::string& path) {
    sqlite3* db = nullptr;
    // Read-only and without creating anything: looking must not change the file.
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr);
    bool broken = brokenCode(rc);
    sqlite3_stmt* st = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        // One row: "ok", or the first damage found.
        if (rc == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            broken = !text || std::strcmp(text, "ok") != 0;
        } else {
            broken = brokenCode(rc);
        }
    } else if (db) {
        broken = broken || brokenCode(rc) || brokenCode(sqlite3_extended_errcode(db));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return broken;
}

std::string setJournalAside(const std::string& path, std::string& error) {
    const std::time_t t = std::time(nullptr);
    struct tm lt;
    ::localtime_r(&t, &lt);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &lt);
    for (int n = 1; n < 100; ++n) {
        std::string aside = path + ".broken-" + stamp;
        if (n > 1) aside.append(1, '-').append(std::to_string(n));
        int rc = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) { // no such flag here: look first, then rename
            struct stat st;
            if (::lstat(aside.c_str(), &st) == 0) continue;
            rc = ::rename(path.c_str(), aside.c_str());
        }
        if (rc != 0) {
            if (errno == EEXIST) continue;
            error = path + ": " + std::strerror(errno);
            return {};
        }
        // A fresh journal must not pick up the old one's log of pages: they go along.
        for (const char* side : {"-wal", "-shm"})
            if (::rename((path + side).c_str(), (aside + side).c_str()) != 0 && errno != ENOENT)
                ::unlink((path + side).c_str());
        return aside;
    }
    error = path + ": no free name to set it aside";
    return {};
}

} // namespace qb::history
