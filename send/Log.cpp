#include "send/Log.h"

namespace qb {

Q_LOGGING_CATEGORY(lcSend, "quillbeck.send", QtWarningMsg)

} // namespace qb
