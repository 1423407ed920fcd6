#pragma once
// The docking library's log category, "quillbeck.dock" (quiet unless switched on).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDock)
