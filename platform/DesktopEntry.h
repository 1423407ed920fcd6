#pragma once
#include <QByteArray>
#include <QString>

namespace qb {

// Shortcuts to the program are freedesktop desktop entries: one on the desktop and
// one in the user's launcher menu. Every entry the program writes names the
// program in TryExec, so that menus, desktops and sessions pass over an entry
// whose program has been removed.

// The comment every entry carries: English, and Chinese for a Chinese session.
QString shortcutComment();
QString shortcutCommentChinese();
// "Quillbeck.desktop" in the desktop folder (the folder itself may not exist).
QString desktopShortcutFile();
// "quillbeck.desktop" in $XDG_DATA_HOME/applications/.
QString menuShortcutFile();

// The text of a desktop entry that starts `executable`; `icon` (an icon theme
// name) is left out when empty.
QByteArray desktopEntryText(const QString& executable, const QString& icon = QString());
// The Exec= value for an absolute program path, quoted where the entry format needs it.
QString desktopExecValue(const QString& executable);

// Whether the text of a desktop entry starts `executable`: its Exec line is the
// one this program writes for it.
bool entryStarts(const QByteArray& text, const QString& executable);

// Writes one entry (replacing an older one) and marks it executable. `createFolder`
// creates a missing folder first. Returns false on any failure.
bool writeDesktopEntry(const QString& file, const QString& executable, bool createFolder,
                       const QString& icon = QString());

// Whether the launcher menu lists the installed copy `executable` through the
// entry installed with it: the entry beside its install layout lies in one of
// the folders the menu reads.
bool menuListsInstalledCopy(const QString& executable);

// What became of one shortcut.
enum class ShortcutOutcome {
    Made,     // written (or an outdated one rewritten)
    Present,  // already there, as it would have been written
    NoFolder, // the desktop has no folder for it
    Failed,   // the file system refused
};
struct ShortcutReport {
    ShortcutOutcome desktop = ShortcutOutcome::Failed;
    ShortcutOutcome menu = ShortcutOutcome::Failed;
};

// Makes what is missing of the two shortcuts for `executable`. The desktop entry
// needs a desktop folder; the menu entry's folder is created when missing. A copy
// the menu lists already gets no second menu entry, and an entry for it that an
// earlier version wrote into the user's menu is removed. An installed copy's
// entries show its icon.
ShortcutReport createShortcuts(const QString& executable);

} // namespace qb
