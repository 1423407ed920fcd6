#pragma once
// The settings store's log category, "quillbeck.store" (quiet unless switched on).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStore)
