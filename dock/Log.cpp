// The docking library's log category.
#include "dock/Log.h"

Q_LOGGING_CATEGORY(lcDock, "quillbeck.dock", QtWarningMsg)
