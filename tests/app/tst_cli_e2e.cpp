// The command line as users and scripts meet it, with the real program under Xvfb:
// every example the manual pages and the README give, run as written in a fresh
// home with the program installed, and the commands' answers and exit codes.
#include "send/SendClient.h"
#include "tests/support/E2e.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <signal.h>
#include <unistd.h>

using namespace qb::e2e;

namespace {

const QString kFolders = QStringLiteral("我的文件夹");

QString sourceFile(const QString& relative) {
    return QStringLiteral(QB_SOURCE_DIR "/") + relative;
}

QStringList linesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n');
}

// The commands of a manual page's examples: the lines between .EX and .EE, with the
// roff escapes they use undone.
QStringList manExamples(const QString& page) {
    QStringList found;
    bool inside = false;
    for (QString line : linesOf(sourceFile(page))) {
        if (line == QStringLiteral(".EX") || line == QStringLiteral(".EE")) {
            inside = line == QStringLiteral(".EX");
            continue;
        }
        if (!inside) continue;
        line.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        line.replace(QStringLiteral("\\(aq"), QStringLiteral("'"));
        line.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
        found << line;
    }
    return found;
}

// The README's examples: the code block after each "<!-- example -->".
QStringList readmeExamples() {
    QStringList found;
    bool marked = false;
    for (const QString& line : linesOf(sourceFile(QStringLiteral("README.md")))) {
        if (line.trimmed() == QStringLiteral("<!-- example -->")) {
            marked = true;
        } else if (marked && !line.trimmed().isEmpty()) {
            found << line.trimmed();
        } else if (marked && !found.isEmpty() && !found.last().isEmpty()) {
            found << QString(); // the block ended
            marked = false;
        }
    }
    found.removeAll(QString());
    return found;
}

// The processes running `program`: one a sender started is no child of the test.
QList<pid_t> programsOf(const QString& program) {
    QList<pid_t> found;
    const QString target = QFileInfo(program).canonicalFilePath();
    if (target.isEmpty()) return found; // gone: nothing could match but the unreadable
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (number && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == target)
            found << pid;
    }
    return found;
}

void stopPrograms(const QString& program) {
    for (pid_t pid : programsOf(program))
        ::kill(pid, SIGKILL);
    QTRY_VERIFY(programsOf(program).isEmpty());
}

struct Ran {
    int code = -1;
    QByteArray out, err;
};

} // namespace

class E2eCli : public QObject {
    Q_OBJECT

    Desktop desk;
    QString running_;                       // the program under test, ended after each test
    std::unique_ptr<QTemporaryDir> prefix_; // where it is installed, kept until then

    // Runs `line` with sh in the sandbox's world, its standard error apart.
    Ran shell(const Sandbox& box, const QString& line, const QMap<QString, QString>& env = {}) {
        Program p(desk, box);
        p.setExecutable(QStringLiteral("/bin/sh"));
        const QString errFile = box.root() + QStringLiteral("/stderr");
        p.setVariable(QStringLiteral("QB_ERR"), errFile);
        for (auto it = env.begin(); it != env.end(); ++it)
            p.setVariable(it.key(), it.value());
        QString err;
        if (!p.start(&err,
                     {QStringLiteral("-c"), QStringLiteral("{ %1 ; } 2>\"$QB_ERR\"").arg(line)}))
            return {-1, {}, err.toUtf8()};
        if (!p.waitForExit(120000)) return {-1, p.output(), "no end"};
        QFile f(errFile);
        return {p.exitedNormally() ? p.exitCode() : -1, p.output(),
                f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray()};
    }

    static QString quoted(const QString& arg) {
        QString q = arg;
        q.replace(u'\'', QStringLiteral("'\\''"));
        return u'\'' + q + u'\'';
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }
    void cleanupTestCase() { desk.stop(); }
    // A program a send started is no child of the test: it is ended here.
    void cleanup() {
        if (!running_.isEmpty()) stopPrograms(running_);
        running_.clear();
        prefix_.reset();
    }

    void documentedExamples_data() {
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("quillbeck.1") << manExamples(QStringLiteral("data/man/quillbeck.1"));
        QTest::newRow("quillbeck-ini.1") << manExamples(QStringLiteral("data/man/quillbeck-ini.1"));
        QTest::newRow("README.md") << readmeExamples();
    }
    // Each document's examples in order, in a home of their own where the program
    // is installed and the files they name are in the working folder.
    void documentedExamples() {
        QFETCH(QStringList, commands);
        QVERIFY(!commands.isEmpty());
        prefix_ = std::make_unique<QTemporaryDir>();
        QTemporaryDir& prefix = *prefix_;
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString entry = prefix.filePath(
            QStringLiteral("share/applications/io.github.quillbeck.Quillbeck.desktop"));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(QFileInfo(entry).path()));
        QVERIFY(QFile::copy(defaultBinary(), bin + QStringLiteral("/quillbeck")));
        QVERIFY(QFile::copy(QStringLiteral(QB_INI_TOOL), bin + QStringLiteral("/quillbeck-ini")));
        QVERIFY(QFile::copy(
            sourceFile(QStringLiteral("data/io.github.quillbeck.Quillbeck.desktop")), entry));
        const QString program = bin + QStringLiteral("/quillbeck");
        running_ = program;
        Sandbox box(program, Sandbox::Binary::InPlace);
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        // As the examples expect: the program has run once, ~/Reports is a folder.
        QVERIFY(QDir().mkpath(box.configHome() + QStringLiteral("/quillbeck")));
        QVERIFY(QDir().mkpath(box.home() + QStringLiteral("/Reports")));
        for (const char* name : {"report.pdf", "notes.txt", "draft.txt", "summary.odt"})
            writeFile(box.home() + u'/' + QLatin1String(name), name);
        const QMap<QString, QString> path{
            {QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin")}};
        for (const QString& command : commands) {
            const Ran r = shell(box, command, path);
            QVERIFY2(r.code == 0, qPrintable(command + QStringLiteral("\nexit %1\n").arg(r.code) +
                                             r.out + r.err));
        }
        // Whatever a send was given reached the slot, and nothing asked the user.
        for (const QString& name :
             QDir(box.home(), QString(), QDir::Name, QDir::Files).entryList()) {
            if (!commands.join(u'\n').contains(name)) continue;
            if (!commands.join(u'\n').contains(QStringLiteral(" send "))) continue;
            QVERIFY2(QFileInfo::exists(box.home() + QStringLiteral("/Reports/") + name),
                     qPrintable(name));
        }
    }

    // The commands and their exit codes, as the manual page gives them: before the
    // program runs (nothing may start it or write anything), then with it running.
    void commandsAndExitCodes() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString dest = box.root() + QStringLiteral("/dest");
        QVERIFY(QDir().mkpath(dest));
        const QString sys = box.path(QStringLiteral("sys"));
        QVERIFY(writeSetting(sys, kFolders, QStringLiteral("2"), dest));
        QVERIFY(writeSetting(sys, kFolders, QStringLiteral("3"), box.root() + "/gone"));
        const QString home = box.home();
        const QString tabbed = QStringLiteral("a\tb");
        writeFile(home + u'/' + tabbed, "tab\n");
        writeFile(home + QStringLiteral("/plain"), "plain\n");
        writeFile(home + QStringLiteral("/fresh"), "fresh\n");
        const QByteArray settingsBefore = bytesOf(sys + ".ini");

        const QString noDisplay = QRegularExpression::escape(
            QStringLiteral("quillbeck: cannot open the display (DISPLAY is not set)\n"));
        struct Case {
            QString args; // for sh, after the program
            bool display; // DISPLAY set
            int code;
            QString out; // a pattern for the whole standard output
            QString err; // one for the whole standard error
        };
        const QString any = QStringLiteral("(?s).*");
        const QString usage = QStringLiteral("\nUsage: quillbeck [^\n]*\n(?s).*");
        const Case beforeTheProgram[] = {
            {"--help", true, 0, "Usage: quillbeck (?s).*", ""},
            {"send --help", true, 0, "Usage: quillbeck send (?s).*", ""},
            {"show -h", true, 0, "Usage: quillbeck show (?s).*", ""},
            {"slots --help", true, 0, "Usage: quillbeck slots (?s).*", ""},
            {"--version", true, 0, "quillbeck \\d(?s).*", ""},
            {"--version extra", true, 2, "",
             "quillbeck: unexpected argument 'extra'\nUsage: " + any},
            {"frob", true, 2, "", "quillbeck: unexpected argument 'frob'" + usage},
            {"show x", true, 2, "",
             "quillbeck: show takes no arguments\nUsage: quillbeck show " + any},
            {"send --slot 1:2", true, 2, "",
             "quillbeck: send needs at least one file\nUsage: " + any},
            {"send plain", true, 2, "", "quillbeck: send needs --slot or --name\nUsage: " + any},
            {"send --name dest --slot 1:2 plain", true, 2, "",
             "quillbeck: --slot and --name exclude each other\nUsage: " + any},
            {"send --slot 11:1 plain", true, 2, "", "quillbeck: '11:1' is no slot" + any},
            {"send --slot 1:2 --wait plain gone ./missing", true, 3, "",
             "quillbeck: gone: No such file or directory\n"
             "quillbeck: ./missing: No such file or directory\n"
             "quillbeck: nothing was sent\n"},
            {"slots", true, 0,
             QRegularExpression::escape(
                 QStringLiteral("1\t2\tdest\t%1\n1\t3\tgone\t%2/gone\n").arg(dest, box.root())),
             ""},
            {"", false, 1, "", noDisplay},
            {"show", false, 1, "", noDisplay},
            {"send --slot 1:2 plain", false, 1, "", noDisplay},
        };
        const QString withTab = QRegularExpression::escape(home + QStringLiteral("/a\\tb"));
        const QString plain = QRegularExpression::escape(home + QStringLiteral("/plain"));
        const Case withTheProgram[] = {
            // Started by the send.
            {"send --copy --slot 1:2 --wait 'a\tb' plain", true, 0,
             "done\t" + withTab + "\ndone\t" + plain + "\n", ""},
            // A slot whose folder is gone takes nothing.
            {"send --slot 1:3 --wait plain", true, 3, "", "quillbeck: refused: [^\n]+\n"},
            {"send --slot 4:1 --wait plain", true, 3, "", "quillbeck: refused: [^\n]+\n"},
            {"send --slot 4:1 plain", true, 3, "", "quillbeck: refused: [^\n]+\n"},
            // --verbose: the board's words on standard error, the lines unchanged.
            {"send --copy --name dest --wait --verbose fresh", true, 0,
             "done\t" + QRegularExpression::escape(home + QStringLiteral("/fresh")) + "\n",
             "quillbeck: done: [^\n]+\n"},
            {"show", true, 0, "", ""},
            // A running program needs no display of the sender.
            {"show", false, 0, "", ""},
        };
        const auto check = [&](const Case& c) {
            const QMap<QString, QString> env =
                c.display ? QMap<QString, QString>{} : QMap<QString, QString>{{"DISPLAY", ""}};
            const Ran r = shell(box, quoted(box.programPath()) + u' ' + c.args, env);
            const QString what = c.args + QStringLiteral(": exit %1\nout: ").arg(r.code) +
                                 QString::fromUtf8(r.out) + QStringLiteral("\nerr: ") +
                                 QString::fromUtf8(r.err);
            QVERIFY2(r.code == c.code, qPrintable(what));
            const auto whole = [](const QString& pattern) {
                return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
            };
            QVERIFY2(whole(c.out).match(QString::fromUtf8(r.out)).hasMatch(), qPrintable(what));
            QVERIFY2(whole(c.err).match(QString::fromUtf8(r.err)).hasMatch(), qPrintable(what));
        };
        for (const Case& c : beforeTheProgram) {
            check(c);
            if (QTest::currentTestFailed()) return;
        }
        QVERIFY(programsOf(box.programPath()).isEmpty());
        QCOMPARE(bytesOf(sys + ".ini"), settingsBefore);
        QVERIFY(!QFileInfo::exists(box.path(QStringLiteral("user"))));

        running_ = box.programPath();
        for (const Case& c : withTheProgram) {
            check(c);
            if (QTest::currentTestFailed()) return;
        }
        QCOMPARE(bytesOf(dest + u'/' + tabbed), QByteArray("tab\n"));

        // Another client may still send a file that is gone: refused, no box asks.
        qb::SendClient client;
        QVERIFY(client.connectTo(QFile::encodeName(
            QStringLiteral("%1/runuser/%2/quillbeck001.sock").arg(box.root()).arg(::geteuid()))));
        qb::SendRequest request;
        request.group = 1;
        request.row = 2;
        request.wait = true;
        request.files = {QFile::encodeName(home + QStringLiteral("/plain")),
                         QFile::encodeName(home + QStringLiteral("/vanished"))};
        const QList<pid_t> running = programsOf(box.programPath());
        QCOMPARE(running.size(), 1);
        const qsizetype windows = desk.windowsOf(running.front()).size();
        QVERIFY(client.sendRequest(request));
        const auto reply = client.readReply(30000);
        QVERIFY(reply);
        QCOMPARE(reply->result, qb::SendResult::Refused);
        QVERIFY2(reply->message.contains(home + QStringLiteral("/vanished")),
                 qPrintable(reply->message));
        QTest::qWait(500);
        QCOMPARE(desk.windowsOf(running.front()).size(), windows);
        QCOMPARE(bytesOf(dest + QStringLiteral("/plain")), QByteArray("plain\n")); // untouched
    }
};

QTEST_GUILESS_MAIN(E2eCli)
#include "tst_cli_e2e.moc"
