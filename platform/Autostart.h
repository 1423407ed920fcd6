#pragma once
#include <QString>

namespace qb {

// Start at login: an XDG autostart entry named after the program's id in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart/).

// The entry's path.
QString autostartFile();

// Whether the session will start the program: the entry exists and neither hides
// itself (Hidden=true) nor is switched off (X-GNOME-Autostart-enabled=false).
bool autostartEnabled();

// Writes an entry that starts `executable` (replacing an older one), or removes
// the entry. Returns false when the file system refused.
bool setAutostart(bool enabled, const QString& executable);

// Rewrites an enabled entry that an earlier version wrote for `executable`
// without TryExec (the session would try it at every login once the program is
// removed); any other entry is left as it is.
void refreshAutostart(const QString& executable);

} // namespace qb
