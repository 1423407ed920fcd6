// The user's Trash, where replaced files and links go.
#pragma once
// The user's Trash in the freedesktop.org layout, which file managers restore from: the
// home trash ($XDG_DATA_HOME/Trash) or a trash at the top of the file system
// ($topdir/.Trash/$uid or $topdir/.Trash-$uid), each with files/ and info/.
// Entries go in by rename, so only a trash on the same mount can take them.
#include "engine/Posix.h"

#include <cstdint>
#include <map>
#include <memory>

namespace qb::engine {

class Trash {
public:
    // `once` (if given) is the job's, to log each fallback once per job.
    explicit Trash(LogOnce* once = nullptr) : once_(once) {}

    // Whether a trash can take entries of the folder `dirfd`.
    bool available(int dirfd);
    // Why none can, for the log (empty when one can or none was looked for).
    std::string whyNone(int dirfd) const;
    // The same as an errno for the user (ENOSPC, EACCES, ...); 0 when one can.
    int whyNoneCode(int dirfd) const;
    // Moves (dirfd, name), which was at the absolute path `path`, into the trash
    // with its .trashinfo. Returns 0 or errno. `where` (if given) learns the entry's
    // path in the trash's files/ and that of its .trashinfo.
    struct Placed {
        std::string file, info;
    };
    int put(int dirfd, const std::string& name, const std::string& path, Placed* where = nullptr);

private:
    struct Can {
        Fd files, info;
    };
    Can* find(int dirfd);
    struct Why {
        std::string text;
        int code = 0; // errno
    };
    // Each null with `why` when there is no such trash for the mount `mnt`.
    static std::unique_ptr<Can> openHome(std::uint64_t mnt, Why& why);
    static std::unique_ptr<Can> openTop(int dirfd, std::uint64_t mnt, Why& why);
    static std::unique_ptr<Can> openCan(int trash, Why& why);

    LogOnce* once_;
    std::map<std::uint64_t, std::unique_ptr<Can>> cache_; // by mount id; null: none
    std::map<std::uint64_t, Why> whyNone_;                // by mount id
};

// The local time as a .trashinfo's "DeletionDate=" key wants it.
std::string trashDateNow();

// RFC 2396 escaping of a path's bytes, as the .trashinfo "Path=" key wants it.
std::string trashPathEncode(const std::string& path);

} // namespace qb::engine
