// The file system a folder lies on, as far as a drop into it is concerned.
#pragma once
#include <cstdint>
#include <limits>
#include <string>

#include <sys/types.h>

namespace qb::verdict {

inline constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

struct FileSystem {
    bool folder = false; // the path names an existing folder (links followed)
    dev_t dev = 0;
    std::string mountPoint; // as the kernel lists it
    std::string type;       // "vfat", "exfat", "ext4", ...: a FUSE image's own kind when known
    // "uuid:<UUID>" where the disk has one, "mount:<mount point>" otherwise.
    std::string identity;
    bool readOnly = false;              // mounted read-only
    std::uint64_t freeBytes = kNoLimit; // what an unprivileged writer may still use
    std::uint64_t maxFileSize = kNoLimit;
    bool fatNames = false;        // FAT and exFAT: no "*/:<>?\| or control characters
    bool caseInsensitive = false; // "a" and "A" are one name there
    std::uint64_t nameMax = 255;  // bytes of one name
    // On a drive that is plugged in and out: a USB or SD card disk, a disk the kernel
    // calls removable, or FAT, exFAT or NTFS through FUSE.
    bool removable = false;
};

// Looks at `folder` now: a few system calls and one read of the mount table.
FileSystem probe(const std::string& folder);

// Where links named by disk UUIDs are found (normally /dev/disk/by-uuid); tests
// point it at links of their own.
void setDiskByUuidDir(const std::string& dir);

} // namespace qb::verdict
