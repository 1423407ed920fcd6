#pragma once
#include <QByteArray>
#include <QString>

namespace qb {

// Shortcuts to the program are freedesktop desktop entries: one on the desktop and
// one in the user's launcher menu.

// The comment every shortcut carries.
QString shortcutComment();
// "Quillbeck.desktop" in the desktop folder (the folder itself may not exist).
QString desktopShortcutFile();
// "quillbeck.desktop" in $XDG_DATA_HOME/applications/.
QString menuShortcutFile();

// The text of a desktop entry that starts `executable`; `icon` (an icon theme
// name) is left out when empty.
QByteArray desktopEntryText(const QString& executable, const QString& comment,
                            const QString& icon = QString());
// The Exec= value for an absolute program path, quoted where the entry format needs it.
QString desktopExecValue(const QString& executable);

// Writes one entry (replacing an older one) and marks it executable. `createFolder`
// creates a missing folder first. Returns false on any failure.
bool writeDesktopEntry(const QString& file, const QString& executable, const QString& comment,
                       bool createFolder, const QString& icon = QString());

// Writes both shortcuts for `executable`. The outcome is deliberately not reported:
// the desktop entry is skipped when there is no desktop folder, the menu entry's
// folder is created when missing. An installed copy's entries show its icon.
void createShortcuts(const QString& executable);

} // namespace qb
