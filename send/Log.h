// The send library's log category.
#pragma once
#include <QLoggingCategory>

namespace qb {

// "quillbeck.send": requests from outside and the file-manager menus. Refused
// peers and messages are warnings, so they show without any setting.
Q_DECLARE_LOGGING_CATEGORY(lcSend)

} // namespace qb
