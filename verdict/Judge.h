// Whether a drop into a folder can work, and what it would do.
#pragma once
#include "verdict/Count.h"
#include "verdict/FileSystem.h"

namespace qb::verdict {

// Why a drop cannot work, in the order they are looked for.
enum class Reason {
    None,
    Missing,      // the folder is not there
    NotConnected, // the folder lies on another file system than the one it was set on
    ReadOnly,
    NameTooLong,
    FatName,   // a name FAT or exFAT cannot hold
    CaseClash, // two names that differ in case only, on a case-insensitive file system
    TooLarge,  // a file larger than the file system takes
    NoSpace,
};

struct Verdict {
    Reason reason = Reason::None;
    bool move = false;
    bool sameDisk = false;   // a move whose every item is renamed in place
    bool counting = false;   // sizes still unknown: no refusal for their sake
    std::uint64_t bytes = 0; // what is written there
    std::string name;        // the name a name refusal is about
    std::uint64_t size = 0;  // the file or the free space a size refusal is about
    bool ok() const { return reason == Reason::None; }
};

// `remembered` is the identity (FileSystem::identity) the folder had when it was
// chosen, or "" when none was kept.
Verdict judge(const FileSystem& dest, const std::string& remembered, bool move,
              const DragCount& drag);

} // namespace qb::verdict
