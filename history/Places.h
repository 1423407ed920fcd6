// The folders an undo takes entries out of and puts them back into: checked to be the
// ones the drop used, then used only through descriptors, never by their paths again.
#pragma once
#include "engine/Posix.h"
#include "history/Journal.h"

#include <map>
#include <string>

#include <sys/stat.h>

namespace qb::history {

// Why an undo leaves an entry where it is though nothing about the entry changed.
enum class Refusal {
    None,
    NotTheFolder, // the folder is another one now, not the user's own
    DriveGone,    // the folder is on another disk than it was: its disk is not connected
    Unsafe,       // not recorded, and another user could change the folder
    TrashChanged, // the Trash no longer holds what the drop put there, or is not the user's
    Unchecked,    // recorded by an older version without what it takes to check it
    ReadOnly,     // it cannot be taken from where it is (read-only or immutable)
};

struct Refused {
    std::string path;
    Refusal why = Refusal::None;
};

// The folder at `path` as it is now, followed where a link; unknown when none.
FolderId folderIdOf(const std::string& path);
FolderId folderIdOf(const struct stat& st);
// Whether a folder now (`st`) may take back or give up entries of the folder the drop
// recorded (`expect`): the same one, or one the user made, on the same disk.
Refusal judgeFolder(const struct stat& st, const FolderId& expect);
// Whether the user alone can change a folder (theirs or the system's, and not open to
// all without the sticky bit): one where the undo may make folders, or one not recorded.
bool safeFolder(const struct stat& st);
// How an undo uses a folder: takes entries out of it (which are checked themselves),
// puts entries in, or puts them in and makes it where it is missing.
enum class Use { Take, Put, Make };
// What Folders::open() would find for `path`, without changing anything.
Refusal judgePath(const std::string& path, const FolderId& expect, Use use);
// A Trash folder (files/ or info/): the user's own, the recorded one where known.
int openTrashDir(const std::string& path, const FolderId& expect);

// The Trash's files/ folder holding a replaced entry, checked: the user's, the one the
// drop put it in, and the entry in it the one the drop put there. -1 with `why`
// (None: the entry is gone from the Trash); `kind` learns the entry's kind.
int openTrashEntry(const ReplacedRecord& rep, Refusal& why, ItemKind* kind);

std::string parentOf(const std::string& path);
std::string nameOf(const std::string& path);

class Folders {
public:
    Folders() = default;
    Folders(const Folders&) = delete;
    Folders& operator=(const Folders&) = delete;
    ~Folders() { finish(); }

    // The folder at `path`, checked against `expect` (a folder entries are taken from:
    // only where recorded); where it is missing and `use` is Make, made (with each
    // missing folder above it) owner-only on a safe folder of the same disk. -1 with
    // `why` when refused; the descriptor stays the Folders'.
    int open(const std::string& path, const FolderId& expect, Use use, Refusal& why);
    // A folder this undo (or one stopped before) made gets `mode` and `times` once
    // nothing more goes in.
    void settleMade(const std::string& path, std::uint32_t mode, const struct timespec* times);
    // Gives each folder made its mode, deepest first.
    void finish();

private:
    struct Dir {
        engine::Fd fd;
        bool made = false, judged = false;
        std::uint32_t mode = 0;
        bool timed = false;
        struct timespec times[2] = {};
    };
    int make(const std::string& path, const FolderId& expect, Refusal& why);

    std::map<std::string, Dir> dirs_;
};

} // namespace qb::history
