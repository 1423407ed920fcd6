// The drop library's log categories, and the engine's log routed into them.
#pragma once
#include <QLoggingCategory>

namespace qb {

// "quillbeck.drop": drops refused and why, each item's outcome. Quiet by default;
// QT_LOGGING_RULES="quillbeck.*.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcDrop)
// "quillbeck.engine": the copy engine's decisions (fallbacks, the Trash, syncs).
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
// "quillbeck.history": the drop journal (where it is, why it is off) and undos.
Q_DECLARE_LOGGING_CATEGORY(lcHistory)

// Sends the engine's log to lcEngine while that logs information, else nowhere, so
// a quiet engine puts no line together. Run as each operation starts.
void routeEngineLog();

} // namespace qb
