// The drop journal: where every copied or moved item went, kept in SQLite.
#pragma once
// One row per drop, one per item (a dropped item, or an entry placed inside a folder
// it merged with) and one per replaced entry the Trash holds. An item's row is written
// before the item starts and completed after it, so a killed process still leaves a
// record of everything that may have moved. Plain C++ and POSIX like the engine; paths
// are the file system's bytes. Thread-safe: the worker records while the window reads.
#include "engine/Operation.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qb::history {

enum class ItemKind { File, Folder, Link };
// Started: written before the item began; nothing is known of what it did yet.
// Skipped: the user declined to replace or merge it; nothing of it moved.
enum class ItemState { Started, Done, Failed, Skipped };

// What a placed entry was when the drop left it; an undo touches only an entry that
// still is this (a folder: the same one; a file or link: also the same size and time).
struct Identity {
    std::uint64_t dev = 0, ino = 0, size = 0;
    std::int64_t mtimeNs = 0;
    bool known = false;
    std::int64_t uid = -1; // its owner; -1: not recorded (an older journal)
    bool operator==(const Identity&) const = default;
};

// A folder an entry came from or went into, as the drop found it: an undo puts
// nothing into a folder that is no longer this one (or the user's own).
struct FolderId {
    std::uint64_t dev = 0, ino = 0;
    std::uint32_t uid = 0, mode = 0;
    bool known = false; // false: not recorded (an older journal) or not there
};

// One entry a copied folder's copy wrote, by its path inside that folder.
struct WrittenEntry {
    std::string rel;
    int kind = 0; // ItemKind
    Identity id;
};

struct DropRecord {
    std::int64_t id = 0;
    std::int64_t timeMs = 0; // since the epoch
    std::string account;
    int group = 0, slot = 0; // as the board counts them; 0: none (an undo)
    std::string slotName;
    std::string destFolder;
    Op op = Op::Copy;
    Policy policy = Policy::AutoRename;
    std::optional<Outcome> outcome; // unset while the drop runs (or after a kill)
    std::int64_t undoOf = 0;        // this drop undid that one
    std::int64_t undoneBy = 0;      // this drop was undone by that one
    int itemCount = 0;              // dropped items (entries of merges not counted)
};

struct ReplacedRecord {
    std::int64_t id = 0;
    std::string path;      // where the replaced entry was
    std::string trashFile; // where the Trash holds it (in its files/)
    std::string trashInfo; // its .trashinfo
    Identity entry;        // what the Trash got (unknown in older journals)
    FolderId trashDir;     // the Trash's files/ folder that got it
};

struct ItemRecord {
    std::int64_t id = 0, dropId = 0;
    std::int64_t parentId = 0; // an entry of a merge: the dropped item's row
    std::string source, dest;  // dest: the final path, after any rename
    ItemKind kind = ItemKind::File;
    ItemState state = ItemState::Started;
    // A folder that met an existing one: its entries have rows of their own. Its
    // source's mode and times, so an undone move can make it again.
    bool merged = false;
    std::uint32_t sourceMode = 0;
    std::int64_t sourceAtimeNs = 0, sourceMtimeNs = 0;
    Identity placed;       // what the drop left at dest
    Identity before;       // what was at dest before the item came (replaced), if anything
    std::string trashInfo; // an item that went into the Trash: its .trashinfo
    std::vector<ReplacedRecord> replaced;
    FolderId sourceDir, destDir; // the folders it came from and went into
    bool writtenKnown = false;   // a copied folder whose entries are listed (written())
};

class Journal {
public:
    // Where an installed program keeps it: $XDG_STATE_HOME/quillbeck, or
    // ~/.local/state/quillbeck. Empty when neither is an absolute path.
    static std::string defaultFolder();
    static constexpr const char* kFileName = "journal.sqlite";

    // Opens or creates the journal in `folder` (made owner-only where missing; the
    // file is the user's alone). Null with `error` when it cannot be used.
    static std::unique_ptr<Journal> open(const std::string& folder, std::string& error);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const std::string& path() const { return path_; }
    // Kept: at most this many drops, none older than this many days (pruned on open
    // and every so many drops).
    void setLimits(int maxDrops, int maxDays);

    // --- recording (any thread) -------------------------------------------------
    // Returns the new drop's id (0 on a write failure: the drop goes on unrecorded).
    std::int64_t beginDrop(const DropRecord& drop);
    void endDrop(std::int64_t drop, Outcome outcome);
    // A dropped item (parent 0) or an entry of a merge, before it starts. `sync`: on
    // the disk before this returns (what a durable move needs before sources go).
    std::int64_t beginItem(const ItemRecord& item, bool sync);
    void setItemDest(std::int64_t item, const std::string& dest, const Identity& before,
                     bool merged);
    void finishItem(std::int64_t item, ItemState state, ItemKind kind, const Identity& placed);
    void addReplaced(std::int64_t item, const ReplacedRecord& r);
    // An item that went into the Trash, or came from it: the .trashinfo of that side.
    void setTrashInfo(std::int64_t item, const std::string& info);
    void setUndone(std::int64_t drop, std::int64_t by);
    // The folder an item went into, learnt once it is there (JournalPlaces.cpp).
    void setDestDir(std::int64_t item, const FolderId& dir);
    // The entries a copied folder's copy wrote, each as it was then.
    void addWritten(std::int64_t item, const std::vector<WrittenEntry>& entries);
    // Everything at or under `path` was copied there afresh (moved back across file
    // systems): the rows placed there take the new identities of entries of the same
    // kind, size and time.
    void rebindUnder(const std::string& path);
    // Rows of a merge's entries are written in batches; this commits the batch.
    void flush();

    // --- queries (any thread) ---------------------------------------------------
    // Newest first; `filter` (empty: all) matches slot names, destination folders and
    // item paths, case-insensitively for ASCII.
    std::vector<DropRecord> drops(const std::string& filter, int limit, int offset = 0) const;
    std::optional<DropRecord> drop(std::int64_t id) const;
    std::vector<ItemRecord> items(std::int64_t drop) const;
    // The newest finished drop, not an undo, not undone, that did something; 0 when none.
    std::int64_t lastUndoable() const;
    // Later drops, not undone, that touched a path of drop `id` (its blockers).
    std::vector<std::int64_t> laterDependents(std::int64_t id) const;
    std::vector<WrittenEntry> written(std::int64_t item) const;
    // The paths undos of drop `id` (not undone themselves) already took back: an undo
    // that did not finish leaves the drop on offer for the rest.
    std::vector<std::string> undoneBefore(std::int64_t id) const;

    // Items left "started" by a killed process: records what actually happened.
    // Returns how many were examined.
    int recover();

    // --- the disks slots' folders were chosen on (SlotDisks.cpp) -----------------
    // The identity of the disk slot (group, slot) of `account` had when its folder was
    // set to `path`; "" when none is kept for that path.
    std::string slotDisk(const std::string& account, int group, int slot,
                         const std::string& path) const;
    bool setSlotDisk(const std::string& account, int group, int slot, const std::string& path,
                     const std::string& identity);
    // Whether the records an older copy kept in settings file `source` were taken over.
    bool slotDisksImported(const std::string& source) const;
    void markSlotDisksImported(const std::string& source);

    // --- drops whose copies were verified (Verified.cpp) ---------------------------
    void markVerified(std::int64_t drop);
    bool verified(std::int64_t drop) const;

private:
    explicit Journal(sqlite3* db, std::string path);
    bool exec(const char* sql) const;
    bool openSlotDisks();
    bool openPlaces();
    // rebindUnder() for the entries copied folders' copies wrote.
    void rebindWrittenUnder(const std::string& path);
    void beginBatch();
    void commitBatch();
    void prune();

    // The statements written once per entry, prepared once (by their text's address).
    sqlite3_stmt* cached(const char* sql);

    sqlite3* db_;
    std::string path_;
    std::map<const char*, sqlite3_stmt*> cache_;
    mutable std::recursive_mutex mutex_;
    bool inBatch_ = false;
    int batched_ = 0;
    int maxDrops_ = 10000, maxDays_ = 90;
    int dropsSincePrune_ = 0;
};

} // namespace qb::history
