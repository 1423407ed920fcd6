// Start-up, the main window on a real desktop, the group buttons, the single
// instance and the two ways out, with the real binary under Xvfb and openbox.
#include "tests/support/E2e.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>

using namespace qb::e2e;

namespace {

const QString kMainTitle = QStringLiteral("QuillbeckV9.6");
const QString kAppTitle = QStringLiteral(" QuillbeckV9.6");
const QString kScheme = QStringLiteral("方案");
const QString kFolders = QStringLiteral("我的文件夹");

// What the first start leaves in sys.ini: the values the load sets write
// themselves back, in the order of the load; nothing else.
QStringList firstStartLines() {
    QStringList l{QStringLiteral("[方案]"), QStringLiteral("operate=FileCopy"),
                  QStringLiteral("show=yes"), QStringLiteral("project=1"),
                  QStringLiteral("[我的文件夹]")};
    for (int k = 1; k <= 20; ++k)
        l << QStringLiteral("%1=/").arg(k);
    return l;
}

// The home folder without caches: the toolkit may refresh a font cache on any
// start, which is not the program's doing.
QMap<QString, FileState> homeSnapshot(const Sandbox& box) {
    auto files = snapshot(box.home());
    files.removeIf([](auto it) { return it.key().startsWith(QStringLiteral(".cache")); });
    return files;
}

QString linesText(const QStringList& l) {
    return l.join(QLatin1Char('\n'));
}

} // namespace

class E2eStartup : public QObject {
    Q_OBJECT

    Desktop desk;

    // Waits until sys.ini holds exactly `expected`; on time-out the comparison
    // reports the difference.
    void expectSysIni(const Sandbox& box, const QStringList& expected, int timeoutMs = 5000) {
        const QString sys = box.path(QStringLiteral("sys.ini"));
        waitUntil([&] { return settingsLines(sys) == expected; }, timeoutMs, 50);
        QCOMPARE(linesText(settingsLines(sys)), linesText(expected));
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }
    void cleanupTestCase() { desk.stop(); }

    void firstStartWritesSysIniAndExitButtonWritesNothing() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        expectSysIni(box, firstStartLines());
        if (QTest::currentTestFailed()) return;
        const QString sys = box.path(QStringLiteral("sys.ini"));
        // Section names are stored as GB18030 bytes.
        QVERIFY(bytesOf(sys).contains(gb(QStringLiteral("[方案]"))));
        QVERIFY(bytesOf(sys).contains(gb(QStringLiteral("[我的文件夹]"))));
        QCOMPARE(readSetting(sys, kScheme, QStringLiteral("operate")), QStringLiteral("FileCopy"));
        // The account folder is created; no account register, no other file.
        QCOMPARE(QDir(box.programFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"quillbeck", "sys.ini", "user"}));
        QVERIFY(QFileInfo(box.path(QStringLiteral("user"))).isDir());

        // The exit button ends the program at once with code 0 and writes nothing.
        const auto before = snapshot(box.programFolder());
        QVERIFY2(desk.click(win->point(QStringLiteral("Button4"))), qPrintable(desk.lastError()));
        QVERIFY2(app.waitForExit(10000), "Button4 did not end the program");
        QVERIFY2(app.exitedNormally(), app.output().constData());
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(diff(before, snapshot(box.programFolder())), QStringList());
    }

    void windowIsCentredOnTopAndOffTheTaskbar() {
        Sandbox box;
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        const QStringList state = desk.netWmState(win->info.id);
        QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE")),
                 qPrintable(state.join(' ')));
        QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")),
                 qPrintable(state.join(' ')));
        QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_SKIP_PAGER")),
                 qPrintable(state.join(' ')));
        // A dock window: the window manager leaves its place alone (edge docking
        // needs x = -width) and adds no frame, so it draws its own caption strip.
        QVERIFY(desk.property(win->info.id, QStringLiteral("_NET_WM_WINDOW_TYPE"))
                    .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_DOCK")));

        // The 244 x 694 client area below a caption strip, centred on the screen
        // by its outer size, each quotient cut toward zero.
        const QRect g = win->info.geometry;
        QVERIFY2(win->border() >= 0 && win->border() <= 4 &&
                     g.width() == clientWidth + 2 * win->border(),
                 qPrintable(QStringLiteral("width %1").arg(g.width())));
        QVERIFY2(win->captionStrip().height() >= 12 && win->captionStrip().height() <= 40,
                 qPrintable(QStringLiteral("height %1").arg(g.height())));
        QCOMPARE(g.x(), (desk.screenSize().width() - g.width()) / 2);
        QCOMPARE(g.y(), (desk.screenSize().height() - g.height()) / 2);
    }

    void groupButtonSwitchesTheBoard() {
        Sandbox box;
        const QString sys = box.path(QStringLiteral("sys.ini"));
        // Group 1 full of folders, group 3 with only its first slot stored.
        QString err;
        QVERIFY2(writeSetting(sys, kScheme, QStringLiteral("project"), QStringLiteral("1"), &err),
                 qPrintable(err));
        for (int k = 1; k <= 20; ++k)
            QVERIFY(writeSetting(sys, kFolders, QString::number(k),
                                 QStringLiteral("/srv/共享/第%1组").arg(k)));
        QVERIFY(writeSetting(sys, kFolders, QStringLiteral("41"), QStringLiteral("/srv/项目 三")));

        Program app(desk, box);
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        // The load adds the mode and the docking choice and changes nothing else.
        QStringList atStart{QStringLiteral("[方案]"), QStringLiteral("project=1"),
                            QStringLiteral("operate=FileCopy"), QStringLiteral("show=yes"),
                            QStringLiteral("[我的文件夹]")};
        for (int k = 1; k <= 20; ++k)
            atStart << QStringLiteral("%1=/srv/共享/第%1组").arg(k);
        atStart << QStringLiteral("41=/srv/项目 三");
        expectSysIni(box, atStart);
        if (QTest::currentTestFailed()) return;

        // Group 3: "project" follows, and the board now shows group 3. Its row 1
        // keeps its stored folder; rows 2 to 20 change from group 1's folders to
        // the default, and each changed row stores its path under group 3's key.
        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton3"))));
        QStringList onGroup3 = atStart;
        onGroup3[1] = QStringLiteral("project=3");
        for (int k = 42; k <= 60; ++k)
            onGroup3 << QStringLiteral("%1=/").arg(k);
        expectSysIni(box, onGroup3);
        if (QTest::currentTestFailed()) return;

        // Back to group 1: its stored folders return unchanged.
        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton1"))));
        QStringList back = onGroup3;
        back[1] = QStringLiteral("project=1");
        expectSysIni(box, back);
        if (QTest::currentTestFailed()) return;

        // A click on the group that is already shown changes nothing at all.
        sleepMs(300);
        const auto before = snapshot(box.programFolder());
        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton1"))));
        sleepMs(500);
        QCOMPARE(diff(before, snapshot(box.programFolder())), QStringList());
        QVERIFY(app.isRunning());
    }

    void secondStartIsRefusedAndChangesNothing() {
        Sandbox box;
        Program first(desk, box);
        QString err;
        const auto win = first.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        expectSysIni(box, firstStartLines());
        if (QTest::currentTestFailed()) return;
        sleepMs(300);
        const auto programBefore = snapshot(box.programFolder());
        const auto homeBefore = homeSnapshot(box);

        Program second(desk, box);
        QVERIFY2(second.start(&err), qPrintable(err));
        const auto box2 = second.waitForWindow(kAppTitle, 15000, &err);
        QVERIFY2(box2, qPrintable(err));
        // The refused instance shows the message and nothing else: no main window.
        QVERIFY(!second.waitForWindow(kMainTitle, 300));
        QVERIFY2(desk.key(*box2, QStringLiteral("Return")), qPrintable(desk.lastError()));
        QVERIFY2(second.waitForExit(10000), "the refused instance did not end after Enter");
        QVERIFY2(second.exitedNormally(), second.output().constData());
        QCOMPARE(second.exitCode(), 0);

        QCOMPARE(diff(programBefore, snapshot(box.programFolder())), QStringList());
        QCOMPARE(diff(homeBefore, homeSnapshot(box)), QStringList());
        // The running instance is untouched and still there.
        QVERIFY(first.isRunning());
        QVERIFY(desk.windowsOf(first.pid()).contains(win->info.id));

        // Once the first has ended, the next start is a first instance again.
        first.kill();
        Program third(desk, box);
        QVERIFY2(third.startToMainWindow(&err), qPrintable(err));
        QVERIFY(!desk.windowsOf(third.pid()).values().contains(kAppTitle));
    }

    void closeBoxEndsTheProgram() {
        Sandbox box;
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        expectSysIni(box, firstStartLines());
        if (QTest::currentTestFailed()) return;
        const auto before = snapshot(box.programFolder());

        // The close box sits at the right end of the window's own caption strip.
        const QRect strip = win->captionStrip();
        QVERIFY(strip.height() > 0);
        const QPoint closeBox(strip.right() - strip.height() / 2, strip.center().y());
        QVERIFY(desk.click(closeBox));
        QVERIFY2(app.waitForExit(10000), "the close box did not end the program");
        QVERIFY2(app.exitedNormally(), app.output().constData());
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(diff(before, snapshot(box.programFolder())), QStringList());
    }

    // SIGTERM and SIGINT end the program as "退出" does: it leaves its event loop and
    // exits by itself, and the lock is free for the next start.
    void signalsEndTheProgramAsQuitDoes_data() {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalsEndTheProgramAsQuitDoes() {
        QFETCH(int, sig);
        Sandbox box;
        Program app(desk, box);
        QString err;
        QVERIFY2(app.startToMainWindow(&err), qPrintable(err));
        QCOMPARE(::kill(static_cast<pid_t>(app.pid()), sig), 0);
        QVERIFY2(app.waitForExit(10000), "the signal did not end the program");
        QVERIFY2(app.exitedNormally(), app.output().constData());
        QCOMPARE(app.exitCode(), 0);
        Program next(desk, box);
        QVERIFY2(next.startToMainWindow(&err), qPrintable(err));
        QVERIFY(!desk.windowsOf(next.pid()).values().contains(kAppTitle));
    }
};

QTEST_GUILESS_MAIN(E2eStartup)
#include "tst_e2e_startup.moc"
