#include "send/MenuFiles.h"

#include "send/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTranslator>

namespace qb {

namespace {

constexpr char kMarker[] = "X-Quillbeck-Generated=true";
const QString kPrefix = QStringLiteral("quillbeck-send");

const QString kDolphin = QStringLiteral("kio/servicemenus");
const QString kNemo = QStringLiteral("nemo/actions");
const QString kThunar = QStringLiteral("Thunar/sendto");
const QString kNautilus = QStringLiteral("nautilus/scripts/");
constexpr char kTitleContext[] = "qb::MenuFiles";
constexpr char kTitleSource[] = QT_TRANSLATE_NOOP("qb::MenuFiles", "发送到 Quillbeck");

// In the session's language, as the rest of the interface.
QString title() {
    return QCoreApplication::translate(kTitleContext, kTitleSource);
}
QString nautilusFolder() {
    return kNautilus + title();
}

// Nautilus's submenu is a folder named as the menu reads, one per language: all
// are looked after, so that a switch of language leaves no stale entries behind.
QStringList nautilusFolders() {
    QStringList titles{QString::fromUtf8(kTitleSource), title()};
    for (const QString& qm : QDir(QStringLiteral(":/i18n")).entryList({QStringLiteral("*.qm")})) {
        QTranslator translator;
        if (!translator.load(QStringLiteral(":/i18n/") + qm)) continue;
        const QString t = translator.translate(kTitleContext, kTitleSource);
        if (!t.isEmpty()) titles << t;
    }
    titles.removeDuplicates();
    QStringList folders;
    for (const QString& t : titles)
        folders << kNautilus + t;
    return folders;
}

QString label(const MenuSlot& s) {
    return QStringLiteral("%1 (%2:%3)").arg(s.name).arg(s.group).arg(s.row);
}
// Thunar's and Nemo's lists have no submenus of their own: the entries say whose they are.
QString flatLabel(const MenuSlot& s) {
    return title() + QStringLiteral(" › ") + label(s);
}
QString slotArg(const MenuSlot& s) {
    return QStringLiteral("%1:%2").arg(s.group).arg(s.row);
}

// A value of a desktop entry: the escapes its format knows.
QString entryValue(QString text) {
    text.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(u'\n', QStringLiteral("\\n"));
    text.replace(u'\t', QStringLiteral("\\t"));
    text.replace(u'\r', QStringLiteral("\\r"));
    if (text.startsWith(u' ')) text.replace(0, 1, QStringLiteral("\\s"));
    return text;
}

bool plainArg(const QString& arg) {
    if (arg.isEmpty()) return false;
    for (QChar c : arg)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && !QStringLiteral("/._+-:,").contains(c))
            return false;
    return true;
}

// One item of a desktop entry's list value (";" ends an item).
QString listItem(const QString& text) {
    QString out = entryValue(text);
    out.replace(u';', QStringLiteral("\\;"));
    return out + u';';
}

// An argument of a desktop entry's Exec key, before the value's own escapes.
QString execArg(const QString& arg) {
    QString out = arg;
    out.replace(u'%', QStringLiteral("%%"));
    if (plainArg(arg)) return out;
    QString quoted;
    for (QChar c : out) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

// A shell word.
QString shellArg(const QString& arg) {
    if (plainArg(arg)) return arg;
    QString out = arg;
    out.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + out + u'\'';
}

QString execLine(const QString& program, const MenuSlot& s) {
    // GLib looks the program up before it turns "%%" back into "%", and drops an entry
    // whose program it cannot find: a path with "%" goes to the shell, which it finds,
    // as an argument that is never read as code (env would take a path with "=" for
    // a variable and run whatever "send" it finds).
    const QString run = program.contains(u'%') ? QStringLiteral("sh -c ") +
                                                     execArg(QStringLiteral("exec \"$0\" \"$@\"")) +
                                                     u' ' + execArg(program)
                                               : execArg(program);
    return run + QStringLiteral(" send --slot ") + slotArg(s) + QStringLiteral(" -- %F");
}

QString fileStem(const MenuSlot& s) {
    return kPrefix + QStringLiteral("-%1-%2").arg(s.group).arg(s.row);
}

MenuFile dolphinMenu(const QList<MenuSlot>& entries, const QString& program) {
    QString actions;
    QString body;
    for (const MenuSlot& s : entries) {
        const QString id = QStringLiteral("slot%1-%2").arg(s.group).arg(s.row);
        actions += id + u';';
        body += QStringLiteral("\n[Desktop Action %1]\nName=%2\nIcon=%3\nExec=%4\n")
                    .arg(id, entryValue(label(s)), QStringLiteral(QB_APP_ID),
                         entryValue(execLine(program, s)));
    }
    // An application entry that no menu lists: KIO reads its types and actions, and
    // the desktop's validator takes it (it knows no service menus). TryExec: once the
    // package is gone, KIO passes over the menu instead of offering dead entries.
    const QString head =
        QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nNoDisplay=true\nIcon=%4\n"
                       "TryExec=%6\nExec=%5\nX-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                       "MimeType=application/octet-stream;inode/directory;\n"
                       "X-KDE-Submenu=%1\nActions=%2\n%3\n")
            .arg(title(), actions, QString::fromLatin1(kMarker), QStringLiteral(QB_APP_ID),
                 entryValue(execLine(program, entries.front())), entryValue(program));
    // KIO runs service menus of the user's folder only when they are executable.
    return {kDolphin + u'/' + kPrefix + QStringLiteral(".desktop"), (head + body).toUtf8(), true};
}

MenuFile thunarEntry(const MenuSlot& s, const QString& program) {
    // GLib drops an entry whose TryExec is missing: Send To stops listing it once the
    // program is removed, even where Exec is the shell.
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\nName=%1\n"
                                        "Icon=%2\nTryExec=%5\nExec=%3\nNoDisplay=false\n%4\n")
                             .arg(entryValue(flatLabel(s)), QStringLiteral(QB_APP_ID),
                                  entryValue(execLine(program, s)), QString::fromLatin1(kMarker),
                                  entryValue(program));
    return {kThunar + u'/' + fileStem(s) + QStringLiteral(".desktop"), text.toUtf8(), false};
}

MenuFile nemoAction(const MenuSlot& s, const QString& program) {
    // Nemo splits Exec as a shell would and quotes each path itself.
    const QString exec =
        shellArg(program) + QStringLiteral(" send --slot ") + slotArg(s) + QStringLiteral(" -- %F");
    // Nemo knows no TryExec: it loads an action only when each absolute path listed in
    // Dependencies exists, so the entry goes with the program.
    const QString text =
        QStringLiteral("[Nemo Action]\nActive=true\nName=%1\nComment=%1\n"
                       "Icon-Name=%2\nExec=%3\nDependencies=%5\nSelection=notnone\n"
                       "Extensions=any;\nQuote=double\n%4\n")
            .arg(entryValue(flatLabel(s)), QStringLiteral(QB_APP_ID), entryValue(exec),
                 QString::fromLatin1(kMarker), listItem(program));
    return {kNemo + u'/' + fileStem(s) + QStringLiteral(".nemo_action"), text.toUtf8(), false};
}

MenuFile nautilusScript(const MenuSlot& s, const QString& program) {
    // The file's name is the entry's text: no "/", and no leading "." that would hide it.
    QString name = label(s);
    name.replace(u'/', QChar(0x2215));
    if (name.startsWith(u'.')) name.replace(0, 1, QChar(0xFF0E));
    // Nautilus passes the selection as arguments, as names relative to the
    // working folder for local files; send makes them absolute. Nautilus has no
    // guard of its own: a script that finds the program removed takes the menu's
    // files of ours (marked, not links) and then the folder away, quietly.
    const QString text =
        QStringLiteral(
            "#!/bin/sh\n# %1\np=%2\nif [ ! -x \"$p\" ]; then\n"
            "  d=$(dirname -- \"$0\")\n"
            "  for f in \"$d\"/*; do\n"
            "    [ -f \"$f\" ] && [ ! -L \"$f\" ] && grep -qx '# %1' \"$f\" && rm -f -- \"$f\"\n"
            "  done\n"
            "  rmdir -- \"$d\" 2>/dev/null\n"
            "  exit 0\nfi\n"
            "exec \"$p\" send --slot %3 -- \"$@\"\n")
            .arg(QString::fromLatin1(kMarker), shellArg(program), slotArg(s));
    return {nautilusFolder() + u'/' + name, text.toUtf8(), true};
}

bool writeFile(const QString& path, const MenuFile& file) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == file.content &&
        QFileInfo(path).isExecutable() == file.executable)
        return true;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file.content) != file.content.size())
        return false;
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner |
                                    (file.executable ? QFile::ExeOwner : QFile::Permissions());
    return out.setPermissions(mode) && out.commit();
}

} // namespace

QStringList sendMenuFolders() {
    return QStringList{kDolphin} + nautilusFolders() + QStringList{kNemo, kThunar};
}

QList<MenuFile> sendMenuFiles(const QList<MenuSlot>& entries, const QString& program) {
    QList<MenuFile> files;
    if (entries.isEmpty()) return files;
    files << dolphinMenu(entries, program);
    // Nemo reads every "%" in Exec as one of its own fields and has no escape for
    // it: a program path holding one gets no Nemo actions rather than broken ones.
    const bool nemo = !program.contains(u'%');
    for (const MenuSlot& s : entries) {
        files << thunarEntry(s, program) << nautilusScript(s, program);
        if (nemo) files << nemoAction(s, program);
    }
    return files;
}

bool isOwnMenuFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // The marker is near the top of every file written here.
    for (const QByteArray& line : file.read(64 * 1024).split('\n')) {
        const QByteArray t = line.trimmed();
        if (t == kMarker || t == QByteArray("# ") + kMarker) return true;
    }
    return false;
}

bool syncSendMenus(const QString& dataHome, const QList<MenuFile>& files) {
    bool ok = true;
    QSet<QString> wanted;
    for (const MenuFile& f : files)
        wanted.insert(QDir::cleanPath(dataHome + u'/' + f.path));
    for (const QString& folder : sendMenuFolders()) {
        const QString dir = dataHome + u'/' + folder;
        const bool ownFolder = folder.startsWith(kNautilus);
        for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
            const QString path = entry.absoluteFilePath();
            if (wanted.contains(QDir::cleanPath(path))) continue;
            // Outside the folder of our own, only names of ours are even looked into.
            if (!ownFolder && !entry.fileName().startsWith(kPrefix)) continue;
            if (!isOwnMenuFile(path)) continue;
            if (!QFile::remove(path)) {
                qCWarning(lcSend) << "cannot remove the menu file" << path;
                ok = false;
            }
        }
        if (ownFolder && (files.isEmpty() || folder != nautilusFolder()))
            QDir().rmdir(dir); // only when empty
    }
    for (const MenuFile& f : files) {
        const QString path = dataHome + u'/' + f.path;
        const QFileInfo info(path);
        if ((info.exists() || info.isSymLink()) && !isOwnMenuFile(path)) {
            qCWarning(lcSend) << "a file of someone else is at" << path << "- left as it is";
            continue;
        }
        if (!QDir().mkpath(info.absolutePath()) || !writeFile(path, f)) {
            qCWarning(lcSend) << "cannot write the menu file" << path;
            ok = false;
        }
    }
    return ok;
}

} // namespace qb
