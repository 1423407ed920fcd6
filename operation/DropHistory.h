// The program's drop journal on the Qt side: where it lives, opening it when first
// needed, telling the windows that show it when it changed, and the words for its
// last drop.
#pragma once
// A copy run from its own folder keeps it beside its settings files; an installed one
// in $XDG_STATE_HOME/quillbeck/. A journal that cannot be opened is logged once
// (quillbeck.history) and drops go on unrecorded.
#include "history/Journal.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace qb {

// UI thread only.
class DropHistory final : public QObject {
    Q_OBJECT
public:
    // The program's one.
    static DropHistory& instance();

    // The journal, opened when first needed, or null when it cannot be used.
    history::Journal* journal();
    // The journal where drops were recorded before, else null: looking for
    // something to undo creates no journal file.
    history::Journal* recorded();
    // The folder journal() opens it in.
    static QString folder();
    // Closes it; the next journal() opens it again (tests that change the program folder).
    void close();
    // Called once a broken journal file (one SQLite cannot read) was set aside and a
    // fresh one started, with the name it was kept under, while `owner` lives; one set
    // aside before the hook came is told as it comes.
    void setSetAsideHook(QObject* owner, std::function<void(const QString& keptAs)> hook);

    // What drop `last` (the newest an undo can take back, 0: none) did and where,
    // ending in the hint that Ctrl+Z undoes it, for the status line's tooltip.
    QString lastDropText(std::int64_t last);

signals:
    // The journal gained or changed a drop (a drop ended, an undo ran): the windows
    // that show it read it again. Emitted by whoever changed it.
    void changed();

private:
    void tellSetAside();

    std::unique_ptr<history::Journal> journal_;
    QString setAside_; // a broken journal kept under this name, untold
    QPointer<QObject> setAsideOwner_;
    std::function<void(const QString&)> setAsideHook_;
    bool tried_ = false;
    bool warned_ = false;
};

// A path of the file system's bytes as text, and its last name, for the windows.
QString pathText(const std::string& p);
QString pathName(const std::string& path);
// Where `drop` went as the windows name it: its slot, else its folder.
QString dropPlaceText(const history::DropRecord& drop);
// What `drop` did and where, ending in the hint that Ctrl+Z undoes it.
QString lastDropText(const history::DropRecord& drop);

// Shorthands for the program's journal, for the code that records into it.
inline history::Journal* dropJournal() {
    return DropHistory::instance().journal();
}
inline QString dropJournalFolder() {
    return DropHistory::folder();
}
inline void setJournalSetAsideHook(QObject* owner,
                                   std::function<void(const QString& keptAs)> hook) {
    DropHistory::instance().setSetAsideHook(owner, std::move(hook));
}
inline void closeDropJournal() {
    DropHistory::instance().close();
}

} // namespace qb
