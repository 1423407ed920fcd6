// A prepared SQLite statement for the journal's own files.
#pragma once
#include "engine/Log.h"
#include "history/Journal.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace qb::history {

// A prepared statement, finalised when it goes.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK) {
            engine::logLine("journal: cannot prepare a statement: %s", sqlite3_errmsg(db));
            s_ = nullptr;
        }
    }
    // A statement the journal keeps: reset for the next use instead of finalised.
    explicit Stmt(sqlite3_stmt* kept) : s_(kept), kept_(true) {}
    ~Stmt() {
        if (!kept_) {
            sqlite3_finalize(s_);
        } else if (s_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return s_ != nullptr; }
    Stmt& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& bind(int i, const std::string& v) {
        sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& text(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& null(int i) {
        sqlite3_bind_null(s_, i);
        return *this;
    }
    bool step() { return s_ && sqlite3_step(s_) == SQLITE_ROW; }
    bool run() {
        if (!s_) return false;
        const int rc = sqlite3_step(s_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    std::int64_t i64(int c) const { return sqlite3_column_int64(s_, c); }
    bool isNull(int c) const { return sqlite3_column_type(s_, c) == SQLITE_NULL; }
    std::string str(int c) const {
        const void* p = sqlite3_column_blob(s_, c);
        const int n = sqlite3_column_bytes(s_, c);
        return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                 : std::string();
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool kept_ = false;
};

// Four columns from `c` that are all null when the value is unknown: false then.
inline bool fourAt(const Stmt& s, int c, std::int64_t (&v)[4]) {
    if (s.isNull(c)) return false;
    for (int k = 0; k < 4; ++k)
        v[k] = s.i64(c + k);
    return true;
}

// Binds `v` to four parameters from `i`, or nulls where the value is unknown.
inline void bindFour(Stmt& s, int i, bool known, const std::int64_t (&v)[4]) {
    for (int k = 0; k < 4; ++k) {
        if (known)
            s.bind(i + k, v[k]);
        else
            s.null(i + k);
    }
}

// A file's identity in four columns from `c` (all null: unknown).
inline Identity identityAt(const Stmt& s, int c) {
    Identity id;
    std::int64_t v[4];
    if (!(id.known = fourAt(s, c, v))) return id;
    id.dev = static_cast<std::uint64_t>(v[0]);
    id.ino = static_cast<std::uint64_t>(v[1]);
    id.size = static_cast<std::uint64_t>(v[2]);
    id.mtimeNs = v[3];
    return id;
}

inline void bindIdentity(Stmt& s, int i, const Identity& id) {
    bindFour(s, i, id.known,
             {static_cast<std::int64_t>(id.dev), static_cast<std::int64_t>(id.ino),
              static_cast<std::int64_t>(id.size), id.mtimeNs});
}

// A folder's identity in four columns from `c` (dev, ino, uid, mode; null: unknown).
inline FolderId folderAt(const Stmt& s, int c) {
    FolderId id;
    std::int64_t v[4];
    if (!(id.known = fourAt(s, c, v))) return id;
    id.dev = static_cast<std::uint64_t>(v[0]);
    id.ino = static_cast<std::uint64_t>(v[1]);
    id.uid = static_cast<std::uint32_t>(v[2]);
    id.mode = static_cast<std::uint32_t>(v[3]);
    return id;
}

inline void bindFolder(Stmt& s, int i, const FolderId& id) {
    bindFour(s, i, id.known,
             {static_cast<std::int64_t>(id.dev), static_cast<std::int64_t>(id.ino),
              std::int64_t{id.uid}, std::int64_t{id.mode}});
}

// An owner in a column that older journals lack or left null: -1.
inline std::int64_t uidAt(const Stmt& s, int c) {
    return s.isNull(c) ? -1 : s.i64(c);
}

inline void bindUid(Stmt& s, int i, std::int64_t uid) {
    if (uid < 0)
        s.null(i);
    else
        s.bind(i, uid);
}

} // namespace qb::history
