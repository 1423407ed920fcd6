// The program's drop journal: opened when first needed, where the settings live.
#pragma once
// A copy run from its own folder keeps it beside its settings files; an installed one
// in $XDG_STATE_HOME/quillbeck/. A journal that cannot be opened is logged once
// (quillbeck.history) and drops go on unrecorded.
#include "history/Journal.h"

#include <QObject>
#include <QString>

#include <functional>

namespace qb {

// The journal, or null when it cannot be used. UI thread.
history::Journal* dropJournal();
// The folder dropJournal() opens it in.
QString dropJournalFolder();
// Called (UI thread) once a broken journal file (one SQLite cannot read) was set aside
// and a fresh one started, with the name it was kept under, while `owner` lives; one
// set aside before the hook came is told as it comes.
void setJournalSetAsideHook(QObject* owner, std::function<void(const QString& keptAs)> hook);
// Closes it; the next dropJournal() opens it again (tests that change the program folder).
void closeDropJournal();

} // namespace qb
