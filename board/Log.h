#pragma once
// The board library's log category, "quillbeck.board" (quiet unless switched on).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcBoard)
