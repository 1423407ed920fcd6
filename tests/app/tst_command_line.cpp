// The command line: what is read before any display is needed, and the real
// program answering --help and --version without a display or any settings.
#include "app/CommandLine.h"
#include "app/SendCommand.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Action = qb::CommandLine::Action;
Q_DECLARE_METATYPE(Action)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void reading_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Action>("action");
        QTest::newRow("nothing") << QStringList{} << Action::Run;
        QTest::newRow("help") << QStringList{"-h"} << Action::Help;
        QTest::newRow("help after toolkit options")
            << QStringList{"-display", ":1", "--reverse", "--help"} << Action::Help;
        QTest::newRow("version") << QStringList{"--version"} << Action::Version;
        QTest::newRow("version and more") << QStringList{"--version", "x"} << Action::Refuse;
        QTest::newRow("help and more") << QStringList{"--help", "-x"} << Action::Refuse;
        // A session manager restarts the program with its session id.
        QTest::newRow("session") << QStringList{"-session", "1a2b"} << Action::Run;
        QTest::newRow("style assigned") << QStringList{"--style=fusion"} << Action::Run;
        // The value of a toolkit option is not an option of ours.
        QTest::newRow("value looks like an option")
            << QStringList{"-qwindowtitle", "--version"} << Action::Run;
        QTest::newRow("unknown") << QStringList{"--verbose"} << Action::Refuse;
        QTest::newRow("unknown before help") << QStringList{"-x", "--help"} << Action::Refuse;
        QTest::newRow("missing value") << QStringList{"-platform"} << Action::Refuse;
        QTest::newRow("value not taken with =") << QStringList{"-platform=xcb"} << Action::Refuse;
        QTest::newRow("a file") << QStringList{"notes.txt"} << Action::Refuse;
        QTest::newRow("after --") << QStringList{"--", "--help"} << Action::Refuse;
        QTest::newRow("lone dash") << QStringList{"-"} << Action::Refuse;
        QTest::newRow("send") << QStringList{"send", "--slot", "10:20", "a"} << Action::Send;
        QTest::newRow("send options after files")
            << QStringList{"send", "a", "--name=文档", "--wait", "--move"} << Action::Send;
        QTest::newRow("send no files") << QStringList{"send", "--slot", "1:1"} << Action::Refuse;
        QTest::newRow("send slot and name")
            << QStringList{"send", "--slot", "1:1", "--name", "x", "a"} << Action::Refuse;
        QTest::newRow("send no slot") << QStringList{"send", "a"} << Action::Refuse;
        QTest::newRow("send group 11")
            << QStringList{"send", "--slot", "11:1", "a"} << Action::Refuse;
        QTest::newRow("send row 0") << QStringList{"send", "--slot=1:0", "a"} << Action::Refuse;
        QTest::newRow("send copy and move")
            << QStringList{"send", "--copy", "--move", "--slot", "1:1", "a"} << Action::Refuse;
        QTest::newRow("send unknown option")
            << QStringList{"send", "--slot", "1:1", "-f", "a"} << Action::Refuse;
        QTest::newRow("send slot twice")
            << QStringList{"send", "--slot", "1:1", "--slot=1:2", "a"} << Action::Refuse;
        QTest::newRow("send help")
            << QStringList{"send", "--slot", "1:1", "--help"} << Action::Help;
        QTest::newRow("send help as a file")
            << QStringList{"send", "--slot", "1:1", "--", "--help"} << Action::Send;
        QTest::newRow("send verbose")
            << QStringList{"send", "--verbose", "--wait", "--name", "x", "a"} << Action::Send;
        QTest::newRow("show help") << QStringList{"show", "--help"} << Action::Help;
        QTest::newRow("slots help") << QStringList{"slots", "-h"} << Action::Help;
        QTest::newRow("slots help and more") << QStringList{"slots", "-h", "x"} << Action::Refuse;
        QTest::newRow("show") << QStringList{"show"} << Action::Show;
        QTest::newRow("show with more") << QStringList{"show", "x"} << Action::Refuse;
        QTest::newRow("slots") << QStringList{"slots"} << Action::Slots;
        // Only the first word names a command.
        QTest::newRow("command later") << QStringList{"--reverse", "show"} << Action::Refuse;
    }
    void reading() {
        QFETCH(QStringList, args);
        QFETCH(Action, action);
        std::vector<QByteArray> bytes{"quillbeck"};
        for (const QString& a : args)
            bytes.push_back(a.toUtf8());
        std::vector<const char*> argv;
        for (const QByteArray& b : bytes)
            argv.push_back(b.constData());
        const qb::CommandLine line = qb::readCommandLine(int(argv.size()), argv.data());
        QCOMPARE(line.action, action);
        QCOMPARE(line.problem.empty(), action != Action::Refuse);
    }

    // After "--" everything is a file, bytes exact; the slot and the mode are read.
    void sendArguments() {
        const char* argv[] = {"quillbeck", "send", "--move", "--slot", "3:17",
                              "--wait",    "--",   "-x",     "a\xff b"};
        const qb::CommandLine line = qb::readCommandLine(9, argv);
        QCOMPARE(line.action, Action::Send);
        QCOMPARE(line.mode, 'm');
        QCOMPARE(line.group, 3);
        QCOMPARE(line.row, 17);
        QVERIFY(line.wait);
        QCOMPARE(line.files, (std::vector<std::string>{"-x", "a\xff b"}));

        const char* both[] = {"quillbeck", "send", "--name", "foo", "--slot", "1:1", "a"};
        QCOMPARE(qb::readCommandLine(7, both).problem, "--slot and --name exclude each other");
    }

    // A field of a tab-separated line stays one field on one line, and reads back.
    void escapedFields() {
        QCOMPARE(qb::escapedField("a\tb\nc\\d\x01\x7f\r \xe5\x90\x8d\xff"),
                 QByteArray("a\\tb\\nc\\\\d\\x01\\x7f\\r \xe5\x90\x8d\xff"));
    }

    // One line a slot and one tab between fields, whatever the names and paths hold.
    void slotsListedOneALine_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("listed");
        QTest::newRow("plain UTF-8")
            << QStringLiteral("/srv/目的 地") << QByteArray("/srv/目的 地");
        QTest::newRow("tab and line breaks")
            << QStringLiteral("/a\tb\nc\rd") << QByteArray("/a\\tb\\nc\\rd");
        QTest::newRow("terminal controls")
            << QStringLiteral("/x\x1b]0;t\x07\x7f") << QByteArray("/x\\x1b]0;t\\x07\\x7f");
        QTest::newRow("backslash") << QStringLiteral("/a\\tb") << QByteArray("/a\\\\tb");
    }
    void slotsListedOneALine() {
        QFETCH(QString, path);
        QFETCH(QByteArray, listed);
        const QString name = path.mid(1);
        QCOMPARE(qb::slotsListing({{3, 14, name, path}}),
                 "3\t14\t" + listed.mid(1) + '\t' + listed + '\n');
    }

    // No display and a program of the user's own, which would keep its settings
    // beside itself: nothing is written anywhere.
    void programAnswersWithoutADisplay() {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("quillbeck"));
        QVERIFY(QFile::copy(QStringLiteral(QB_BINARY), program));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(name), dir.path());

        const QByteArray refused = "quillbeck: ./missing: No such file or directory\n"
                                   "quillbeck: nothing was sent\n";
        const QByteArray noDisplay = "quillbeck: cannot open the display (DISPLAY is not set)\n";
        struct Case {
            QStringList args;
            int code;
            QByteArray out; // how standard output starts
            QByteArray err; // how standard error starts
        };
        const Case cases[] = {
            {{"--help"}, 0, "Usage: quillbeck ", ""},
            {{"--version"}, 0, "quillbeck " QB_VERSION "\n", ""},
            {{"--frobnicate"}, 2, "", "quillbeck: unknown option '--frobnicate'\nUsage: "},
            {{"--version", "extra"}, 2, "", "quillbeck: unexpected argument 'extra'\nUsage: "},
            {{"send", "--help"}, 0, "Usage: quillbeck send ", ""},
            {{"slots", "--help"}, 0, "Usage: quillbeck slots ", ""},
            // Nothing set: nothing to print, and nothing made for the question.
            {{"slots"}, 0, "", ""},
            // Refused before the program is looked for.
            {{"send", "--slot", "1:1", "./missing"}, 3, "", refused},
            {{}, 1, "", noDisplay},
            {{"-platform", "wayland"},
             1,
             "",
             "quillbeck: cannot open the display (WAYLAND_DISPLAY is not set)\n"}};
        for (const Case& c : cases) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(dir.path());
            p.start(program, c.args);
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), c.code);
            const QByteArray out = p.readAllStandardOutput(), err = p.readAllStandardError();
            QVERIFY2(out.startsWith(c.out) && (!c.out.isEmpty() || out.isEmpty()), out.constData());
            QVERIFY2(err.startsWith(c.err) && (!c.err.isEmpty() || err.isEmpty()), err.constData());
        }
        QStringList files;
        for (QDirIterator it(dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        QCOMPARE(files, QStringList{program});
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
