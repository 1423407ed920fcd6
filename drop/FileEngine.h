#pragma once
// The file operation engine: copies or moves one dropped item (a file, a folder
// tree or a symbolic link) into an existing folder under the item's own name.
// Plain C++ and POSIX, no Qt: the front end, the tests and the benchmark tool
// drive it directly. Paths are the file system's bytes (UTF-8 on the desktop).
#include <atomic>
#include <cstdint>
#include <string>

namespace qb {

enum class Op { Copy, Move };

// What happens when the destination already holds an item of the same name.
enum class Policy {
    AutoRename,  // store under a free new name, replace nothing
    AskReplace,  // ask the user before replacing a file or merging a folder
    AutoReplace, // replace files and merge folders without asking
};

// Done: the item was handled as the user chose (a declined replacement counts).
// Failed: something could not be copied or moved, or the item was refused.
// Cancelled: the user cancelled and nothing failed before.
enum class Outcome { Done, Failed, Cancelled };

// One side of a name clash, for the replacement question.
struct ItemInfo {
    std::string path;
    bool isDir = false;
    std::uint64_t size = 0; // bytes; 0 for folders
    std::int64_t mtime = 0; // seconds since the epoch
};

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };
enum class ErrorAnswer { Skip, Cancel };

struct Progress {
    std::string item;    // name of the dropped item
    std::string current; // path of the file being worked on
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0; // 0 when unknown (a move that only renames)
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
};

struct OpError {
    std::string path;    // the file or folder concerned
    std::string message; // a whole sentence for the user, naming the file and the reason
    int code = 0;        // errno, 0 for a refusal of our own
    bool canSkip = true; // false: the whole item is refused, there is nothing left to skip
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
};

// Copies or moves `source` into the folder `destFolder`. Returns when done; setting
// `cancel` stops it at the next file or chunk, leaving every file whole.
Outcome runOperation(Op op, Policy policy, const std::string& source, const std::string& destFolder,
                     OperationObserver& observer, const std::atomic<bool>& cancel);

// The n-th free-name candidate (n >= 2) for `name` under auto-rename:
// "report.pdf" -> "report (2).pdf", "data.tar.gz" -> "data (2).tar.gz", a folder
// "photos.2024" -> "photos.2024 (2)". A name that already ends in " (k)" counts on
// from k instead of growing a second number. Never longer than 255 bytes.
std::string renamedName(const std::string& name, bool isDir, int n);

} // namespace qb
