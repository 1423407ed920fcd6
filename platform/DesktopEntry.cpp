#include "platform/DesktopEntry.h"

#include "platform/Installation.h"
#include "platform/Product.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace qb {

QString shortcutComment() {
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

} // namespace

QString desktopExecValue(const QString& executable) {
    // Field codes start with "%"; a literal one is doubled.
    QString program = executable;
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

QByteArray desktopEntryText(const QString& executable, const QString& comment,
                            const QString& icon) {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Version=1.0\n"
                                  "Name=Quillbeck\n");
    text += QStringLiteral("Comment=") + escapeValue(comment) + u'\n';
    text += QStringLiteral("Exec=") + escapeValue(desktopExecValue(executable)) + u'\n';
    if (!icon.isEmpty()) text += QStringLiteral("Icon=") + escapeValue(icon) + u'\n';
    text += QStringLiteral("Terminal=false\n"
                           "Categories=Utility;FileTools;\n");
    return text.toUtf8();
}

bool writeDesktopEntry(const QString& file, const QString& executable, const QString& comment,
                       bool createFolder, const QString& icon) {
    const QString folder = QFileInfo(file).absolutePath();
    if (createFolder) {
        if (!QDir().mkpath(folder)) return false;
    } else if (!QFileInfo(folder).isDir()) {
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    const QByteArray text = desktopEntryText(executable, comment, icon);
    if (out.write(text) != text.size() || !out.commit()) return false;
    // Launchers and file managers start an entry only when it is executable.
    QFile::Permissions perms = QFile::permissions(file) | QFile::ExeOwner | QFile::ExeUser;
    if (perms & QFile::ReadGroup) perms |= QFile::ExeGroup;
    if (perms & QFile::ReadOther) perms |= QFile::ExeOther;
    return QFile::setPermissions(file, perms);
}

void createShortcuts(const QString& executable) {
    const QString icon = runningInstalled() ? applicationId() : QString();
    writeDesktopEntry(desktopShortcutFile(), executable, shortcutComment(), false, icon);
    writeDesktopEntry(menuShortcutFile(), executable, shortcutComment(), true, icon);
}

} // namespace qb
