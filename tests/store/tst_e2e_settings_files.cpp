// Settings files as users bring them (from Windows, from Linux editors) through a
// start of the real binary, and a write while another process keeps the settings
// folder's lock.
#include "tests/support/E2e.h"

#include <QStringEncoder>
#include <QTest>

using namespace qb::e2e;

namespace {

const QString kAppTitle = QStringLiteral(" QuillbeckV9.6");

// sys.ini of the default account holding every value a load writes back, so that
// a start that reads the file right has nothing to change in it.
QString boardText(const QString& eol, const QString& path1) {
    QStringList lines{"[方案]",    "operate=FileMove", "thesame=FileRename", "show=yes",
                      "project=1", "name1=工作",       "[我的文件夹]",       "1=" + path1};
    for (int k = 2; k <= 20; ++k)
        lines << QStringLiteral("%1=/srv/文档/第%1组").arg(k);
    return lines.join(eol) + eol;
}

} // namespace

class E2eSettingsFiles : public QObject {
    Q_OBJECT
    Desktop desk;

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }
    void cleanupTestCase() { desk.stop(); }

    void startLeavesFilesFromElsewhereByteForByte_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("afterMoveToCopy"); // once the user picks "Copy"
        const auto swap = [](QByteArray bytes, const QByteArray& from, const QByteArray& to) {
            return bytes.replace(from, to);
        };
        // A UTF-8 file as Linux editors save it: no mark.
        const QByteArray utf8 = boardText("\n", "/home/用户/资料").toUtf8();
        QTest::newRow("utf-8 without mark")
            << utf8 << swap(utf8, "operate=FileMove", "operate=FileCopy");
        // GB18030 from Windows with code page 936's euro byte and a byte that starts
        // no character in a path.
        QByteArray gb = QStringEncoder("GB18030").encode(boardText("\r\n", "D:\\x"));
        gb.replace("D:\\x", "D:\\\x80\xFF");
        QTest::newRow("gb18030 with odd bytes")
            << gb << swap(gb, "operate=FileMove", "operate=FileCopy");
        const QString text16 = boardText("\r\n", "/srv/€");
        const auto utf16 = [](const QString& text) {
            return "\xFF\xFE" + QStringEncoder(QStringConverter::Utf16LE).encode(text);
        };
        QTest::newRow("utf-16") << utf16(text16)
                                << utf16(QString(text16).replace("FileMove", "FileCopy"));
    }

    void startLeavesFilesFromElsewhereByteForByte() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, afterMoveToCopy);
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString sys = box.path(QStringLiteral("sys.ini"));
        {
            QFile out(sys);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        }
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        // The load is done before the window shows; a late write would still show.
        sleepMs(500);
        QCOMPARE(bytesOf(sys), file);
        QVERIFY(!desk.windowsOf(app.pid()).values().contains(kAppTitle)); // no error box

        // The mode was read as "Move": a click on "Copy" changes it, in the file's
        // own encoding.
        QVERIFY(desk.click(win->point(QStringLiteral("Copy"))));
        waitUntil([&] { return bytesOf(sys) == afterMoveToCopy; }, 5000, 50);
        QCOMPARE(bytesOf(sys), afterMoveToCopy);
    }

    void writeGivesUpWhileAnotherProcessKeepsTheFolderLock() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        const QString sys = box.path(QStringLiteral("sys.ini"));
        waitUntil([&] { return readSetting(sys, "方案", "operate") == "FileCopy"; }, 5000);

        QProcess holder;
        // -o: the lock stays with flock itself, so killing it frees the lock.
        startGuarded(holder, QStringLiteral("flock"), {"-o", box.programFolder(), "sleep", "120"});
        QVERIFY(holder.waitForStarted(10000));
        QVERIFY2(waitUntil(
                     [&] {
                         return run("flock", {"-n", box.programFolder(), "true"}).exitCode == 1;
                     },
                     10000),
                 "the lock holder did not take the lock");

        // The write is refused with the error box, not waited on for good.
        QVERIFY(desk.click(win->point(QStringLiteral("Move"))));
        const auto errorBox = app.waitForWindow(kAppTitle, 10000, &err);
        QVERIFY2(errorBox, qPrintable(err));
        QCOMPARE(readSetting(sys, "方案", "operate"), QStringLiteral("FileCopy"));
        // The window goes on while the lock is still kept: the box closes on Enter.
        QVERIFY2(desk.key(*errorBox, QStringLiteral("Return")), qPrintable(desk.lastError()));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*errorBox); }, 5000));
        QVERIFY(holder.state() == QProcess::Running);

        holder.kill();
        holder.waitForFinished(5000);
        QVERIFY(desk.click(win->point(QStringLiteral("Set"))));
        QVERIFY(waitUntil([&] { return readSetting(sys, "方案", "operate") == "Set"; }, 5000));
        QVERIFY(app.isRunning());
    }
};

QTEST_GUILESS_MAIN(E2eSettingsFiles)
#include "tst_e2e_settings_files.moc"
