// The engine's interface: copy or move one dropped item, with its questions and outcome.
#pragma once
// The item (a file, a folder tree or a symbolic link) goes into an existing folder
// under its own name. Plain C++ and POSIX, no Qt: the front end, the tests and the
// benchmark tool drive it directly. Paths are the file system's bytes, whatever
// their encoding. The engine speaks in outcomes and error codes; the front end words them.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qb {

class PauseGate;

enum class Op { Copy, Move };

// What happens when the destination already holds an item of the same name.
enum class Policy {
    AutoRename,  // store under a free new name, replace nothing
    AskReplace,  // ask the user before replacing a file or merging a folder
    AutoReplace, // replace files and merge folders without asking
};

// Done: the item was handled as the user chose (a declined replacement of an
// entry inside a merged folder counts).
// Failed: something could not be copied or moved, or the item was refused.
// Cancelled: the user cancelled (also after an earlier failure of the same item).
// Skipped: the user declined to replace or merge the item itself; nothing changed.
// (Stored by number in the journal: new values go at the end.)
enum class Outcome { Done, Failed, Cancelled, Skipped };

// What a destination's file system could not keep of copied entries; their data is
// whole all the same. Reported as a warning, not as a failure.
enum Missing : std::uint32_t {
    MissingModes = 1,
    MissingOwners = 2,
    MissingTimes = 4,
    MissingXattrs = 8,
    MissingLinks = 16, // hard links became separate copies
};

// One side of a name clash, for the replacement question.
struct ItemInfo {
    std::string path;
    bool isDir = false;
    std::uint64_t size = 0; // bytes; 0 for folders
    std::int64_t mtime = 0; // seconds since the epoch
    bool isLink = false;    // a symbolic link (size is then its target's, when found)
    std::string linkTarget; // what the link says
    bool noTrash = false;   // existing side only: no Trash can take it, a replacement destroys it
};

// KeepBoth: the incoming entry is stored beside the existing one, under the name
// auto-rename would give it; nothing is replaced.
enum class ReplaceAnswer { Yes, YesToAll, No, Cancel, NoToAll, KeepBoth, KeepBothToAll };
enum class ErrorAnswer { Skip, Cancel, SkipAll };

struct Progress {
    std::string item;    // name of the dropped item
    std::string current; // path of the file being worked on
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0; // 0 when unknown (a move that only renames)
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    bool counting = false;  // the totals are still being counted
    bool verifying = false; // `current` is being read back from the drive (verify)
};

// What went wrong; `path` (and `other`, where given) name the files concerned.
enum class ErrorKind {
    NotAnItem,      // path: the dropped path names nothing that can be copied ("/", "..")
    DestNotFolder,  // path: the destination folder; code: why
    SourceMissing,  // path: the dropped item; code: why
    IntoItself,     // path: the folder; other: the destination inside it
    ReplaceItself,  // path: the item, already at the place it would replace
    ContainsItem,   // path: the item; other: the same-named destination folder holding it
    LinkToReplaced, // path: the link; other: the entry it shows, which it would replace
    FolderOverFile, // path: the incoming folder; other: the file of that name
    FileOverFolder, // path: the incoming file; other: the folder of that name
    ReadFolder,     // path; code
    CreateFolder,   // path; code
    OpenFolder,     // path; code
    Examine,        // path: an entry that could not be looked at; code
    Transfer,       // path: source; other: destination; code
    Unsupported,    // path: a socket or device
    Changed,        // path: the file changed into something else while being opened
    Remove,         // path: a source file that could not be removed after its move; code
    SourceChanged,  // path: a moved source changed after its copy; kept, as is the copy (other)
    NotReplaced,  // path: an existing entry no Trash took (code: why); it stays, other is kept back
    RemoveFolder, // path; code
    // path: the source; other: the destination. The copy read back from the drive
    // differs from what was read from the source; it was removed, a moved source kept.
    VerifyFailed,
};

struct OpError {
    ErrorKind kind = ErrorKind::Transfer;
    std::string path;
    std::string other;
    int code = 0;        // errno, 0 for a refusal of our own
    bool canSkip = true; // false: the whole item is refused, there is nothing left to skip
};

// The whole account of one operation.
struct OperationResult {
    Outcome outcome = Outcome::Failed;
    std::uint64_t failures = 0;  // errors reported (skipped or not)
    std::uint64_t trashed = 0;   // replaced entries that went to the Trash
    std::uint64_t destroyed = 0; // replaced entries no Trash could take: they are gone
    std::uint32_t missing = 0;   // Missing flags: what the destination's file system could not keep
    std::uint64_t skipped = 0;   // entries whose replacement or merge the user declined
    std::uint64_t verified = 0;  // files read back from the drive and found whole (verify)
    std::optional<OpError> firstError{}; // the first error reported, for a one-line account
    bool replacedWithoutTrash() const { return destroyed > 0; }
};

// Called on the thread that runs the operation.
class OperationObserver {
public:
    virtual ~OperationObserver() = default;
    // Frequent (every file and every few MiB): keep it cheap.
    virtual void progress(const Progress&) {}
    // A file meets a file or link of the same name (ask-before-replacing only).
    virtual ReplaceAnswer askReplace(const ItemInfo& existing, const ItemInfo& incoming) = 0;
    // A folder meets a folder of the same name: merge them? Asked once per dropped
    // item; the files inside are then asked one by one (ask-before-replacing only).
    virtual ReplaceAnswer askMerge(const ItemInfo& existing, const ItemInfo& incoming) = 0;
    // A file could not be handled. The answer is ignored when !canSkip.
    virtual ErrorAnswer error(const OpError& err) = 0;

    // Where everything went, for a record of the drop; nothing by default.
    // The dropped item is about to take `dest` (its final name). `merge`: it is a folder
    // meeting an existing one, and its entries follow one by one.
    virtual void itemTarget(const std::string& dest, bool merge) { (void)dest, (void)merge; }
    // Inside a merge: the folder `source` meets the existing folder `dest`.
    virtual void folderMerged(const std::string& source, const std::string& dest) {
        (void)source, (void)dest;
    }
    // Inside a merge: `source` is about to take `dest` (new, or replacing what is there);
    // a new folder comes with its whole tree.
    virtual void entryStarting(const std::string& source, const std::string& dest) {
        (void)source, (void)dest;
    }
    // The replaced entry `path` went to the Trash: `trashFile` in its files/, with `trashInfo`.
    virtual void entryTrashed(const std::string& path, const std::string& trashFile,
                              const std::string& trashInfo) {
        (void)path, (void)trashFile, (void)trashInfo;
    }
};

struct OperationOptions {
    // A move across file systems puts each copy on stable storage before it
    // removes the source.
    bool durable = true;
    // Replaced files and links go to the user's Trash where one can take them.
    bool useTrash = true;
    // Workers for copying many small files at once; 0: as many as suit the cores and
    // the disks; 1: none, each file is done before the next is looked at.
    unsigned workers = 0;
    // The name the item takes in the destination folder; empty: its own.
    std::string destName;
    // Where the job waits while its user has paused it (not owned; none: never paused).
    const PauseGate* pause = nullptr;
    // Each file copied is read back from the drive and compared with its source; a
    // copy that differs fails (removed; a moved source stays).
    bool verify = false;
};

// A durable move removes its sources in groups of at most this many files, each
// group once its copies and their folders are on the disk (one sync of the file
// system per group, not one per file, while the next group is being copied): after
// a crash, only the files of two groups and the few the copy workers hold can be
// whole at both places, and none at neither.
constexpr std::size_t kDurableMoveGroup = 64;

// Copies or moves `source` into the folder `destFolder`. Returns when done; setting
// `cancel` stops it at the next file or chunk, leaving every file whole.
OperationResult runOperation(Op op, Policy policy, const std::string& source,
                             const std::string& destFolder, OperationObserver& observer,
                             const std::atomic<bool>& cancel, const OperationOptions& options = {});

} // namespace qb
