// Recording one dropped item's copy or move into the journal as the engine works.
#pragma once
#include "history/Journal.h"

namespace qb::history {

// Stands between the engine and the observer that answers its questions: passes
// everything on, and writes what the engine reports of names and replaced entries.
class ItemRecorder : public OperationObserver {
public:
    // `journal` null: only passes on.
    ItemRecorder(Journal* journal, std::int64_t drop, Op op, OperationObserver& inner)
        : journal_(journal), drop_(drop), op_(op), inner_(inner) {}

    // Before the engine starts on `source` for `destFolder`.
    void begin(const std::string& source, const std::string& destFolder);
    // After it returned.
    void end(const OperationResult& result);

    void progress(const Progress& p) override { inner_.progress(p); }
    ReplaceAnswer askReplace(const ItemInfo& e, const ItemInfo& i) override {
        return inner_.askReplace(e, i);
    }
    ReplaceAnswer askMerge(const ItemInfo& e, const ItemInfo& i) override {
        return inner_.askMerge(e, i);
    }
    ErrorAnswer error(const OpError& e) override { return inner_.error(e); }
    void itemTarget(const std::string& dest, bool merge) override;
    void folderMerged(const std::string& source, const std::string& dest) override;
    void entryStarting(const std::string& source, const std::string& dest) override;
    void entryTrashed(const std::string& path, const std::string& trashFile,
                      const std::string& trashInfo) override;

    std::int64_t itemId() const { return item_; }

private:
    struct Entry {
        std::int64_t id;
        std::string dest;
        Identity before;
    };
    Journal* journal_;
    std::int64_t drop_;
    Op op_;
    OperationObserver& inner_;
    std::int64_t item_ = 0, current_ = 0;
    std::string dest_;
    Identity before_;
    std::vector<Entry> entries_;
};

// The identity of the entry at `path` now (not followed when a link); unknown when gone.
Identity identityOf(const std::string& path, ItemKind* kind = nullptr);
// The same of the entry `name` in the open folder `dirfd`.
Identity entryIdentity(int dirfd, const std::string& name, ItemKind* kind = nullptr);
// Whether `now` is still what a drop left (`placed`): a folder by its identity alone,
// as its time changes with every entry in it.
bool unchanged(const Identity& placed, const Identity& now, ItemKind kind);

// Copies or moves one dropped item as runOperation() does, recorded in drop `drop`
// of `journal` (null: not recorded).
OperationResult runRecorded(Journal* journal, std::int64_t drop, Op op, Policy policy,
                            const std::string& source, const std::string& destFolder,
                            OperationObserver& observer, const std::atomic<bool>& cancel,
                            const OperationOptions& options = {});

} // namespace qb::history
