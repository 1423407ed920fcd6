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
    // Whether a trash can take entries of the folder `dirfd`.
    bool available(int dirfd);
    // Moves (dirfd, name), which was at the absolute path `path`, into the trash
    // with its .trashinfo. Returns 0 or errno.
    int put(int dirfd, const std::string& name, const std::string& path);

private:
    struct Can {
        Fd files, info;
    };
    Can* find(int dirfd);
    std::unique_ptr<Can> openHome(std::uint64_t mnt);
    std::unique_ptr<Can> openTop(int dirfd, std::uint64_t mnt);

    std::map<std::uint64_t, std::unique_ptr<Can>> cache_; // by mount id; null: none
};

// RFC 2396 escaping of a path's bytes, as the .trashinfo "Path=" key wants it.
std::string trashPathEncode(const std::string& path);

} // namespace qb::engine
