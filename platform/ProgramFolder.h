#pragma once
#include <QString>

namespace qb {

// The folder that holds the program's settings files, always ending in "/".
// It is the executable's folder when that folder is writable and the program is
// not installed (a portable copy: unpacked or built in place), otherwise the
// per-user folder $XDG_CONFIG_HOME/quillbeck/.
// Chosen once, at the first call; later calls return the same folder.
QString programFolder();

// Replaces the folder programFolder() returns (tests run the program's code in a
// temporary folder); an empty text returns to the executable's choice.
void setProgramFolder(const QString& folder);

// The choice itself, without caching, for tests. `create`: makes the per-user
// folder when that is the choice (a command that only reads leaves it alone).
QString chooseProgramFolder(const QString& executableDir, bool create = true);

} // namespace qb
