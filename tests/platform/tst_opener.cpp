// The real opener against stub launchers first on PATH: what it hands over, that it
// never waits, and which failures it reports.
#include "platform/Opener.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeScript(const QString& file, const QByteArray& text) {
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser));
}

QStringList logLines(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

} // namespace

class TestOpener : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString bin, log;
    QByteArray savedPath;

    void setPath(const QString& first) {
        qputenv("PATH", QFile::encodeName(first) + ":/usr/bin:/bin");
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        bin = dir.path() + "/bin";
        log = dir.path() + "/log";
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(dir.path() + "/empty"));
        // Records its argument; exits with $STUB_EXIT after $STUB_DELAY seconds.
        writeScript(bin + "/xdg-open", "#!/bin/sh\n"
                                       "sleep \"${STUB_DELAY:-0}\"\n"
                                       "printf '%s\\n' \"$1\" >> \"$STUB_LOG\"\n"
                                       "exit \"${STUB_EXIT:-0}\"\n");
        writeScript(bin + "/xdg-mime",
                    "#!/bin/sh\n[ -n \"$STUB_COMPUTER\" ] && echo files.desktop\nexit 0\n");
        qputenv("STUB_LOG", QFile::encodeName(log));
        savedPath = qgetenv("PATH");
        setPath(bin);
    }
    void cleanupTestCase() { qputenv("PATH", savedPath); }
    void init() {
        QFile::remove(log);
        qunsetenv("STUB_EXIT");
        qunsetenv("STUB_DELAY");
        qunsetenv("STUB_COMPUTER");
        setPath(bin);
    }

    void handsOverTheAbsolutePathWithoutWaiting() {
        qputenv("STUB_DELAY", "1");
        bool failed = false;
        QVERIFY(qb::opener().openFolder(dir.path(), [&] { failed = true; }));
        QVERIFY(logLines(log).isEmpty()); // returned before the launcher finished
        QTRY_COMPARE(logLines(log), QStringList{dir.path()});

        // A relative name starting with "-" must not reach the launcher as an option.
        qunsetenv("STUB_DELAY");
        QVERIFY(qb::opener().openFolder(QStringLiteral("-x"), [&] { failed = true; }));
        QTRY_COMPARE(logLines(log).size(), 2);
        QCOMPARE(logLines(log)[1], QDir::currentPath() + "/-x");
        QTest::qWait(200);
        QVERIFY(!failed);
    }

    void launcherErrorIsReportedOnce() {
        qputenv("STUB_EXIT", "4");
        int failures = 0;
        QVERIFY(qb::opener().openFolder(dir.path(), [&] { ++failures; }));
        QCOMPARE(failures, 0); // never inside the call itself
        QTRY_COMPARE(failures, 1);
        QTest::qWait(200);
        QCOMPARE(failures, 1);
    }

    void launcherThatCannotStartIsReported() {
        const QString broken = dir.path() + "/broken";
        QVERIFY(QDir().mkpath(broken));
        writeScript(broken + "/xdg-open", "#!/nonexistent/interpreter\n");
        setPath(broken);
        int failures = 0;
        QVERIFY(qb::opener().openFolder(dir.path(), [&] { ++failures; }));
        QTRY_COMPARE(failures, 1);
    }

    void noLauncherIsRefusedAtOnce() {
        qputenv("PATH", QFile::encodeName(dir.path() + "/empty"));
        QVERIFY(qb::launcherProgram().isEmpty());
        bool called = false;
        QVERIFY(!qb::opener().openFolder(dir.path(), [&] { called = true; }));
        QVERIFY(!qb::opener().openTopLevel());
        QTest::qWait(100);
        QVERIFY(!called);
    }

    void topLevelIsTheComputerViewOnlyWithAHandler() {
        QVERIFY(qb::opener().openTopLevel());
        QTRY_COMPARE(logLines(log), QStringList{QStringLiteral("/")});
        QFile::remove(log);
        qputenv("STUB_COMPUTER", "1");
        QVERIFY(qb::opener().openTopLevel());
        QTRY_COMPARE(logLines(log), QStringList{QStringLiteral("computer:///")});
    }
};

QTEST_MAIN(TestOpener)
#include "tst_opener.moc"
