#include "platform/DesktopEntry.h"

#include "platform/Installation.h"
#include "platform/Product.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace qb {

// The packaged entry's comment, so that menu and shortcuts say the same.
QString shortcutComment() {
    return QStringLiteral("Open, fill and sort 200 folders from a board at the screen edge");
}

QString shortcutCommentChinese() {
    return QStringLiteral("文件整理，目录管理");
}

QString desktopShortcutFile() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) +
           QStringLiteral("/Quillbeck.desktop");
}

QString menuShortcutFile() {
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation) +
           QStringLiteral("/quillbeck.desktop");
}

namespace {

// Escapes of the entry format's string values; a line break would end the entry.
QString escapeValue(const QString& value) {
    QString out;
    for (QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

QByteArray readEntry(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// The file already holds what would be written.
bool holds(const QString& file, const QByteArray& text) {
    return QFileInfo(file).isFile() && readEntry(file) == text;
}

ShortcutOutcome makeEntry(const QString& file, const QString& executable, bool createFolder,
                          const QString& icon) {
    if (holds(file, desktopEntryText(executable, icon))) return ShortcutOutcome::Present;
    return writeDesktopEntry(file, executable, createFolder, icon) ? ShortcutOutcome::Made
                                                                   : ShortcutOutcome::Failed;
}

QString realFolder(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// One argument of Exec, quoted where the entry format needs it.
QString execArgument(const QString& arg) {
    // Field codes start with "%"; a literal one is doubled.
    QString program = arg;
    program.replace(u'%', QStringLiteral("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : program)
        if (reserved.contains(c)) needsQuotes = true;
    if (!needsQuotes) return program;
    QString quoted = QStringLiteral("\"");
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

} // namespace

QString desktopExecValue(const QString& executable) {
    // GLib looks the program up before it turns "%%" back into "%", and passes over
    // an entry whose program it cannot find: a path with "%" is handed to the shell,
    // which it finds, as an argument that is never read as code.
    if (executable.contains(u'%'))
        return QStringLiteral("sh -c ") + execArgument(QStringLiteral("exec \"$0\" \"$@\"")) +
               u' ' + execArgument(executable);
    return execArgument(executable);
}

QByteArray desktopEntryText(const QString& executable, const QString& icon) {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Version=1.0\n"
                                  "Name=Quillbeck\n");
    text += QStringLiteral("Comment=") + escapeValue(shortcutComment()) + u'\n';
    text += QStringLiteral("Comment[zh_CN]=") + escapeValue(shortcutCommentChinese()) + u'\n';
    // TryExec is a plain path, without the quoting of Exec.
    text += QStringLiteral("TryExec=") + escapeValue(executable) + u'\n';
    text += QStringLiteral("Exec=") + escapeValue(desktopExecValue(executable)) + u'\n';
    if (!icon.isEmpty()) text += QStringLiteral("Icon=") + escapeValue(icon) + u'\n';
    text += QStringLiteral("Terminal=false\n"
                           "Categories=Utility;FileTools;\n");
    return text.toUtf8();
}

bool entryStarts(const QByteArray& text, const QString& executable) {
    return text.contains("\nExec=" + escapeValue(desktopExecValue(executable)).toUtf8() + '\n');
}

bool writeDesktopEntry(const QString& file, const QString& executable, bool createFolder,
                       const QString& icon) {
    const QString folder = QFileInfo(file).absolutePath();
    if (createFolder) {
        if (!QDir().mkpath(folder)) return false;
    } else if (!QFileInfo(folder).isDir()) {
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    const QByteArray text = desktopEntryText(executable, icon);
    if (out.write(text) != text.size() || !out.commit()) return false;
    // Launchers and file managers start an entry only when it is executable.
    QFile::Permissions perms = QFile::permissions(file) | QFile::ExeOwner | QFile::ExeUser;
    if (perms & QFile::ReadGroup) perms |= QFile::ExeGroup;
    if (perms & QFile::ReadOther) perms |= QFile::ExeOther;
    return QFile::setPermissions(file, perms);
}

bool menuListsInstalledCopy(const QString& executable) {
    const QString entry = installedEntryFile(QFileInfo(executable).absolutePath());
    if (!QFileInfo(entry).isFile()) return false;
    const QString folder = realFolder(QFileInfo(entry).absolutePath());
    for (const QString& menuFolder :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        if (realFolder(menuFolder) == folder) return true;
    return false;
}

ShortcutReport createShortcuts(const QString& executable) {
    const QString icon = runningInstalled() ? applicationId() : QString();
    ShortcutReport report;
    const QString desktop = desktopShortcutFile();
    report.desktop = QFileInfo(QFileInfo(desktop).absolutePath()).isDir()
                         ? makeEntry(desktop, executable, false, icon)
                         : ShortcutOutcome::NoFolder;

    const QString menu = menuShortcutFile();
    if (menuListsInstalledCopy(executable)) {
        // A second entry for the same program would list it twice.
        if (entryStarts(readEntry(menu), executable)) QFile::remove(menu);
        report.menu = ShortcutOutcome::Present;
    } else {
        report.menu = makeEntry(menu, executable, true, icon);
    }
    return report;
}

} // namespace qb
