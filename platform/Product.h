#pragma once
#include <QString>

namespace qb {

// The program's reverse-DNS id: the name of its desktop entry, icon, metainfo and
// autostart entry. The build defines it once, for the installed files and the code.
inline QString applicationId() {
    return QStringLiteral(QB_APP_ID);
}

} // namespace qb
