// The platform library's log category.
#include "platform/Log.h"

Q_LOGGING_CATEGORY(lcPlatform, "quillbeck.platform", QtWarningMsg)
