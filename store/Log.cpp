// The settings store's log category.
#include "store/Log.h"

Q_LOGGING_CATEGORY(lcStore, "quillbeck.store", QtWarningMsg)
