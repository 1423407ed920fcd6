#pragma once
#include <QString>

namespace qb {

// Whether a program whose executable lives in `executableDir` is an installed
// copy, which must keep its settings in the user's configuration folder instead
// of beside itself. Any of these makes it one:
// - the install layout: the executable's folder is a "bin" folder whose sibling
//   data folder holds the program's desktop entry (any prefix, also a package
//   unpacked into some other root);
// - a system folder (/usr, /bin, /opt, ...): never written into, even by root,
//   for whom every folder is writable;
// - a folder owned by another user.
bool isInstalledProgram(const QString& executableDir);

// The install layout test alone.
bool hasInstallLayout(const QString& executableDir);
// The desktop entry the install layout puts beside an executable in
// `executableDir` (which need not exist).
QString installedEntryFile(const QString& executableDir);
// The system folder test alone, on the folder's real path (links resolved).
bool isSystemFolder(const QString& dir);

// Whether the running program is an installed copy (decided once).
bool runningInstalled();

} // namespace qb
