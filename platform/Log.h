#pragma once
// The platform library's log category, "quillbeck.platform" (quiet unless switched on).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
