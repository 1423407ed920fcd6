// The file managers' "发送到 Quillbeck" menus: what each entry runs, that the
// desktop's validator takes the entries, and that only the program's own files
// are ever replaced or removed.
#include "platform/Autostart.h"
#include "platform/DesktopEntry.h"
#include "send/MenuFiles.h"
#include "tests/support/Locale.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

namespace {

bool writeText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Exec of a desktop entry back to its arguments: the value's escapes, then the
// quoting rules of the Exec key (double quotes, backslash inside them, %%).
QStringList execArguments(const QByteArray& content) {
    QString value;
    for (const QByteArray& line : content.split('\n'))
        if (line.startsWith("Exec=")) value = QString::fromUtf8(line.mid(5));
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            unescaped += n == u's' ? u' ' : n == u'n' ? u'\n' : n == u't' ? u'\t' : n;
        } else {
            unescaped += value[i];
        }
    }
    QStringList args;
    QString cur;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (quoted && c == u'\\' && i + 1 < unescaped.size()) {
            cur += unescaped[++i];
        } else if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c == u' ' && !quoted) {
            if (any || !cur.isEmpty()) args << cur;
            cur.clear();
            any = false;
        } else if (c == u'%' && i + 1 < unescaped.size() && unescaped[i + 1] == u'%') {
            cur += u'%';
            ++i;
        } else {
            cur += c;
        }
    }
    if (any || !cur.isEmpty()) args << cur;
    return args;
}

// A key's value with the entry format's escapes undone.
QString keyValue(const QByteArray& content, const QByteArray& key) {
    for (const QByteArray& line : content.split('\n'))
        if (line.startsWith(key + '=')) {
            QString v = QString::fromUtf8(line.mid(key.size() + 1));
            v.replace(QStringLiteral("\\s"), QStringLiteral(" "));
            v.replace(QStringLiteral("\\;"), QStringLiteral(";"));
            v.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            return v;
        }
    return {};
}

const MenuFile* fileAt(const QList<MenuFile>& files, const QString& path) {
    for (const MenuFile& f : files)
        if (f.path == path) return &f;
    return nullptr;
}

} // namespace

class TestSendMenus : public QObject {
    Q_OBJECT

private slots:
    void entriesRunTheProgramWithTheSlot_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringLiteral("bin");
        QTest::newRow("awkward") << QStringLiteral("My Apps/\"q\" $HOME `x` \\ it's 100%");
        QTest::newRow("percent and =") << QStringLiteral("q%F=y");
    }
    // Each entry runs the program with its slot and the selection, however odd the
    // program's path: the Nautilus script through the shell, Thunar's entry through
    // GLib's launcher (the one Thunar's Send To uses).
    void entriesRunTheProgramWithTheSlot() {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString program = dir.filePath(folder + QStringLiteral("/quillbeck"));
        QVERIFY(writeText(program, "#!/bin/sh\nfor a; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"; "
                                   "mv \"$0.tmp\" \"$0.out\"\n"));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        const auto ran = [&program] {
            QByteArray out = readAll(program + QStringLiteral(".out"));
            QFile::remove(program + QStringLiteral(".out"));
            return QString::fromUtf8(out).split(u'\n');
        };

        const QList<MenuSlot> entries{{1, 2, QStringLiteral("Docs")},
                                      {10, 20, QStringLiteral(".hidden 名字")}};
        const QList<MenuFile> files = sendMenuFiles(entries, program);
        // One service menu for Dolphin, one file per slot for the others; none
        // for Nemo, which cannot run a path with "%".
        const bool nemo = !program.contains(u'%');
        QCOMPARE(files.size(), nemo ? 7 : 5);
        const MenuFile* dolphin =
            fileAt(files, QStringLiteral("kio/servicemenus/quillbeck-send.desktop"));
        QVERIFY(dolphin);
        QVERIFY(dolphin->executable);
        QVERIFY(dolphin->content.contains("X-KDE-Submenu=发送到 Quillbeck"));
        QVERIFY(dolphin->content.contains("Actions=slot1-2;slot10-20;"));
        const MenuFile* action =
            fileAt(files, QStringLiteral("nemo/actions/quillbeck-send-1-2.nemo_action"));
        QCOMPARE(action != nullptr, nemo);
        // Nemo loads the action only while the program is there.
        if (action) QCOMPARE(keyValue(action->content, "Dependencies"), program + u';');
        const MenuFile* thunar =
            fileAt(files, QStringLiteral("Thunar/sendto/quillbeck-send-10-20.desktop"));
        QVERIFY(thunar);
        QStringList exec = execArguments(thunar->content);
        // GLib's lookup, for "%": the shell runs the program it is handed.
        if (exec.mid(0, 3) == QStringList({"sh", "-c", "exec \"$0\" \"$@\""})) exec.remove(0, 3);
        QCOMPARE(exec, QStringList({program, "send", "--slot", "10:20", "--", "%F"}));

        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (!gio.isEmpty()) {
            const QString entry = dir.filePath(QStringLiteral("entry.desktop"));
            QVERIFY(writeText(entry, thunar->content));
            QProcess launch;
            launch.start(gio, {"launch", entry, dir.filePath("a b"), dir.filePath("-x")});
            QVERIFY(launch.waitForFinished(10000));
            QTRY_VERIFY(QFileInfo::exists(program + QStringLiteral(".out")));
            QCOMPARE(ran(), QStringList({"send", "--slot", "10:20", "--", dir.filePath("a b"),
                                         dir.filePath("-x"), ""}));
        }

        // The Nautilus script is named as its entry reads, never hidden, and hands
        // its arguments on unchanged, whatever they look like.
        const MenuFile* script = fileAt(
            files, QStringLiteral("nautilus/scripts/发送到 Quillbeck/．hidden 名字 (10:20)"));
        QVERIFY(script);
        QVERIFY(script->executable);
        const QString scriptPath = dir.filePath(QStringLiteral("script"));
        QVERIFY(writeText(scriptPath, script->content));
        QProcess sh;
        sh.start(QStringLiteral("sh"), {scriptPath, QStringLiteral("a b"), QStringLiteral("-x")});
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(ran(), QStringList({"send", "--slot", "10:20", "--", "a b", "-x", ""}));
    }

    // After the package is removed no entry offers a dead command: GLib passes over
    // the desktop entries (as Thunar and the session do; KIO reads TryExec the same
    // way), Nemo over actions whose Dependencies are missing, and the Nautilus
    // script, which has no such key, takes its menu away and ends quietly. With "%"
    // in the path Exec is the shell, which stays.
    void entriesGoWithTheProgram() {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        QVERIFY2(!gio.isEmpty(), "gio is not installed (libglib2.0-bin)");
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("q%F=y; z/quillbeck"));
        QVERIFY(writeText(program, "#!/bin/sh\n"));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        const QString data = dir.filePath(QStringLiteral("data"));
        QVERIFY(syncSendMenus(data, sendMenuFiles({{1, 2, "A"}, {3, 4, "B"}}, program)));
        QVERIFY(setAutostart(true, program));
        const QStringList entries{data + "/kio/servicemenus/quillbeck-send.desktop",
                                  data + "/Thunar/sendto/quillbeck-send-3-4.desktop",
                                  autostartFile(), dir.filePath("shortcut.desktop")};
        QVERIFY(writeDesktopEntry(entries.last(), program, false));
        const auto launches = [&gio](const QString& entry) {
            QProcess p;
            p.start(gio, {QStringLiteral("launch"), entry});
            return p.waitForFinished(10000) && p.exitCode() == 0;
        };
        for (const QString& e : entries) {
            QCOMPARE(keyValue(readAll(e), "TryExec"), program);
            QVERIFY2(launches(e), qPrintable(e));
        }
        // Nemo, which would read "%F" in the path as its own field, gets no action.
        QVERIFY(!QFileInfo::exists(data + "/nemo/actions/quillbeck-send-1-2.nemo_action"));

        QVERIFY(QFile::remove(program));
        for (const QString& e : entries)
            QVERIFY2(!launches(e), qPrintable(e));
        const QString nautilus = data + QStringLiteral("/nautilus/scripts/发送到 Quillbeck");
        QProcess sh;
        sh.start(QStringLiteral("sh"), {nautilus + QStringLiteral("/A (1:2)"), "x"});
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(sh.exitCode(), 0);
        QCOMPARE(sh.readAllStandardError(), QByteArray());
        QVERIFY(!QFileInfo::exists(nautilus));
    }

    void desktopEntriesValidate() {
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
        QTemporaryDir dir;
        QList<MenuFile> files;
        for (const char* program : {"/opt/a b/quillbeck", "/opt/q%F=y/quillbeck"})
            files << sendMenuFiles({{1, 2, QStringLiteral("Docs; \\ \"x\"")}},
                                   QString::fromUtf8(program));
        int checked = 0;
        for (const MenuFile& f : files) {
            if (!f.path.endsWith(QStringLiteral(".desktop"))) continue;
            const QString path =
                dir.filePath(QString::number(checked) + QFileInfo(f.path).fileName());
            QVERIFY(writeText(path, f.content));
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(validator, {path});
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(p.exitCode() == 0, p.readAll().constData());
            ++checked;
        }
        QCOMPARE(checked, 4);
    }

    void onlyOwnFilesAreTouched() {
        QTemporaryDir home;
        const auto at = [&home](const QString& rel) { return home.filePath(rel); };
        const QString nautilus = QStringLiteral("nautilus/scripts/发送到 Quillbeck/");
        // Someone else's: another name, our prefix without the marker, a file in our
        // Nautilus folder, and a link at a name we want pointing at a file that has it.
        QVERIFY(writeText(at(QStringLiteral("kio/servicemenus/other.desktop")),
                          "X-Quillbeck-Generated=true\n"));
        QVERIFY(
            writeText(at(QStringLiteral("Thunar/sendto/quillbeck-send-9-9.desktop")), "mine\n"));
        QVERIFY(writeText(at(nautilus + QStringLiteral("mine")), "#!/bin/sh\n"));
        QVERIFY(writeText(at(QStringLiteral("outside")), "X-Quillbeck-Generated=true\n"));
        QVERIFY(QDir().mkpath(at(QStringLiteral("nemo/actions"))));
        QVERIFY(QFile::link(at(QStringLiteral("outside")),
                            at(QStringLiteral("nemo/actions/quillbeck-send-1-2.nemo_action"))));
        const QStringList foreign{QStringLiteral("kio/servicemenus/other.desktop"),
                                  QStringLiteral("Thunar/sendto/quillbeck-send-9-9.desktop"),
                                  nautilus + QStringLiteral("mine"), QStringLiteral("outside")};
        QMap<QString, QByteArray> before;
        for (const QString& f : foreign)
            before[f] = readAll(at(f));

        const QList<MenuSlot> two{{1, 2, QStringLiteral("A")}, {2, 3, QStringLiteral("B")}};
        syncSendMenus(home.path(), sendMenuFiles(two, QStringLiteral("/usr/bin/quillbeck")));
        QVERIFY(QFileInfo(at(QStringLiteral("Thunar/sendto/quillbeck-send-2-3.desktop"))).isFile());
        QVERIFY(QFileInfo(at(nautilus + QStringLiteral("B (2:3)"))).isExecutable());
        QVERIFY(QFileInfo(at(QStringLiteral("nemo/actions/quillbeck-send-1-2.nemo_action")))
                    .isSymLink());

        // A slot gone: its files go, the rest stays; then switched off: all of ours go.
        syncSendMenus(home.path(), sendMenuFiles({two[0]}, QStringLiteral("/usr/bin/quillbeck")));
        QVERIFY(!QFileInfo::exists(at(QStringLiteral("Thunar/sendto/quillbeck-send-2-3.desktop"))));
        QVERIFY(!QFileInfo::exists(at(nautilus + QStringLiteral("B (2:3)"))));
        QVERIFY(QFileInfo::exists(at(nautilus + QStringLiteral("A (1:2)"))));
        QVERIFY(readAll(at(QStringLiteral("kio/servicemenus/quillbeck-send.desktop")))
                    .contains("slot1-2;\n"));
        QVERIFY(syncSendMenus(home.path(), {}));
        for (const QString& folder : sendMenuFolders()) {
            const QStringList left = QDir(at(folder)).entryList(QDir::Files | QDir::System);
            for (const QString& name : left)
                QVERIFY2(foreign.contains(folder + u'/' + name) ||
                             name == QStringLiteral("quillbeck-send-1-2.nemo_action"),
                         qPrintable(folder + u'/' + name));
        }
        for (const QString& f : foreign)
            QCOMPARE(readAll(at(f)), before[f]);
        // Our Nautilus folder goes with our last file, and only once it is empty.
        QVERIFY(QFileInfo(at(nautilus)).isDir());
        QVERIFY(QFile::remove(at(nautilus + QStringLiteral("mine"))));
        QVERIFY(syncSendMenus(home.path(), {}));
        QVERIFY(!QFileInfo::exists(at(nautilus)));
    }

    // The entries read in the session's language; Nautilus's submenu is a folder
    // named so, and the folder of an earlier language goes, even once switched off.
    void entriesFollowTheLanguage() {
        QTemporaryDir home;
        const QString english = home.filePath(QStringLiteral("nautilus/scripts/Send to Quillbeck"));
        const QString chinese = home.filePath(QStringLiteral("nautilus/scripts/发送到 Quillbeck"));
        const QList<MenuSlot> one{{1, 2, QStringLiteral("A")}};
        const QString program = QStringLiteral("/usr/bin/quillbeck");
        qb::test::useLocale(QStringLiteral("en_US"));
        const QList<MenuFile> files = sendMenuFiles(one, program);
        const MenuFile* dolphin =
            fileAt(files, QStringLiteral("kio/servicemenus/quillbeck-send.desktop"));
        QVERIFY(dolphin && dolphin->content.contains("X-KDE-Submenu=Send to Quillbeck\n"));
        QVERIFY(syncSendMenus(home.path(), files));
        QVERIFY(QFileInfo(english + QStringLiteral("/A (1:2)")).isExecutable());

        qb::test::useLocale();
        QVERIFY(syncSendMenus(home.path(), sendMenuFiles(one, program)));
        QVERIFY(QFileInfo(chinese + QStringLiteral("/A (1:2)")).isExecutable());
        QVERIFY(!QFileInfo::exists(english));

        qb::test::useLocale(QStringLiteral("en_US"));
        QVERIFY(syncSendMenus(home.path(), {}));
        QVERIFY(!QFileInfo::exists(chinese));
        QVERIFY(!QFileInfo::exists(english));
        qb::test::useLocale();
    }
};

QTEST_GUILESS_MAIN(TestSendMenus)
#include "tst_send_menus.moc"
