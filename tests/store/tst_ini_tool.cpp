// quillbeck-ini as scripts use it: UTF-8 in and out, new files GB18030 on disk, files
// from elsewhere kept in their encoding, exit codes.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run {
    int code = -1;
    QByteArray out, err;
};

Run tool(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(QB_INI_TOOL), args);
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.code = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

class TestIniTool : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void readWriteEraseList() {
        const QString file = dir_.filePath("userabc");
        // A file that is not there is no empty file: the default would hide a typo.
        for (const QStringList& args : {QStringList{"read", file, "方案", "operate", "FileCopy"},
                                        QStringList{"sections", file}}) {
            const Run run = tool(args);
            QCOMPARE(run.code, 1);
            QVERIFY(run.out.isEmpty());
            QCOMPARE(run.err, "quillbeck-ini: " + QFile::encodeName(file) +
                                  ".ini: No such file or directory\n");
        }

        QCOMPARE(tool({"write", file, "我的文件夹", "1", " /srv/资料 "}).code, 0);
        Run run = tool({"read", file, "方案", "operate", "FileCopy"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("FileCopy\n"));
        QCOMPARE(tool({"write", file, "方案", "name1", "工作"}).code, 0);
        QFile disk(dir_.filePath("userabc.ini"));
        QVERIFY(disk.open(QIODevice::ReadOnly));
        QVERIFY(disk.readAll().startsWith("[\xCE\xD2\xB5\xC4\xCE\xC4\xBC\xFE\xBC\xD0]\r\n"));

        run = tool({"read", file + ".ini", "我的文件夹", "1", ""});
        QCOMPARE(run.out, QByteArray(" /srv/资料 \n"));
        run = tool({"sections", file});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("我的文件夹\n方案\n"));
        QCOMPARE(tool({"erase", file, "我的文件夹"}).code, 0);
        QCOMPARE(tool({"sections", file}).out, QByteArray("方案\n"));
    }

    void filesFromElsewhereKeepTheirEncoding() {
        const auto put = [](const QString& path, const QByteArray& bytes) {
            QFile disk(path);
            return disk.open(QIODevice::WriteOnly) && disk.write(bytes) == bytes.size();
        };
        const auto bytesOf = [](const QString& path) {
            QFile disk(path);
            return disk.open(QIODevice::ReadOnly) ? disk.readAll() : QByteArray();
        };
        // GB18030 from Windows, with code page 936's euro byte.
        const QString gbFile = dir_.filePath("gb.ini");
        QVERIFY(put(gbFile, "[s]\r\n\xB7\xBD\xB0\xB8=a\x80\r\n"));
        QCOMPARE(tool({"read", gbFile, "s", "方案", "?"}).out, QByteArray("a€\n"));
        QCOMPARE(tool({"write", gbFile, "s", "方案", "a€"}).code, 0);
        QCOMPARE(tool({"write", gbFile, "s", "k", "€"}).code, 0);
        QCOMPARE(bytesOf(gbFile), QByteArray("[s]\r\n\xB7\xBD\xB0\xB8=a\x80\r\nk=\x80\r\n"));
        // UTF-8 without a mark, as editors save it.
        const QString utf8File = dir_.filePath("utf8.ini");
        QVERIFY(put(utf8File, "[方案]\nname1=工作\n"));
        QCOMPARE(tool({"read", utf8File, "方案", "name1", "?"}).out, QByteArray("工作\n"));
        QCOMPARE(tool({"write", utf8File, "方案", "name2", "家"}).code, 0);
        QCOMPARE(bytesOf(utf8File), QByteArray("[方案]\nname1=工作\nname2=家\n"));
    }

    void refusedWriteExitsOne() {
        const QString file = dir_.filePath("locked.ini");
        QCOMPARE(tool({"write", file, "s", "k", "v"}).code, 0);
        QVERIFY(::chmod(QFile::encodeName(file), 0444) == 0);
        for (const QStringList& args :
             {QStringList{"write", file, "s", "k", "w"}, QStringList{"erase", file, "s"}}) {
            const Run run = tool(args);
            QCOMPARE(run.code, 1);
            QCOMPARE(run.err, "quillbeck-ini: cannot write to " + QFile::encodeName(file) +
                                  ": Permission denied\n");
            QVERIFY(run.out.isEmpty());
        }
        const Run nowhere = tool({"write", "/nonexistent/x.ini", "s", "k", "v"});
        QCOMPARE(nowhere.code, 1);
        QCOMPARE(nowhere.err, QByteArray("quillbeck-ini: cannot write to /nonexistent/x.ini: No "
                                         "such file or directory\n"));
        const Run run = tool({"write", dir_.filePath("x"), "s", "k", "a\nb"});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QFile::encodeName(dir_.filePath("x.ini"))));
    }

    void wrongUsageExitsTwo() {
        const struct {
            QStringList args;
            const char* problem;
        } cases[] = {{{}, "missing command"},
                     {{"read", "f", "s", "k"}, "read needs FILE SECTION KEY DEFAULT"},
                     {{"list", "f"}, "unknown command 'list'"},
                     {{"-x"}, "unknown option '-x'"},
                     {{"write", "f", "s", "k", "v", "extra"}, "write needs FILE SECTION KEY VALUE"},
                     {{"sections"}, "sections needs FILE"},
                     {{"--help", "extra"}, "unexpected argument 'extra'"},
                     {{"--version", "extra"}, "unexpected argument 'extra'"}};
        for (const auto& c : cases) {
            const Run run = tool(c.args);
            QCOMPARE(run.code, 2);
            QCOMPARE(run.err.left(run.err.indexOf('\n') + 1),
                     "quillbeck-ini: " + QByteArray(c.problem) + "\n");
            QVERIFY(run.err.contains("\nUsage: quillbeck-ini read"));
            QVERIFY(run.out.isEmpty());
        }
        QVERIFY(!QFile::exists("f.ini"));
        // Asked for, help and version go to standard output.
        for (const QStringList& args :
             {QStringList{"--help"}, QStringList{"--version"}, QStringList{"write", "--help"}}) {
            const Run run = tool(args);
            QCOMPARE(run.code, 0);
            QVERIFY(run.out.startsWith(args.last() == "--version" ? "quillbeck-ini "
                                                                  : "Usage: quillbeck-ini read"));
            QVERIFY(run.err.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestIniTool)
#include "tst_ini_tool.moc"
