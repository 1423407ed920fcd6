// The program on a desktop with a tray host and a notification service (test
// doubles on a private session bus), under Xvfb and openbox: the tray icon shows
// and hides the board, its menu switches start at login and quits, and a long copy
// that ends while the board is hidden is announced once.
#include "tests/support/E2e.h"
#include "tests/support/SessionBus.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace qb::e2e;

namespace {

const QString kAppId = QStringLiteral("io.github.quillbeck.Quillbeck");

} // namespace

class TestDesktopE2e : public QObject {
    Q_OBJECT

    Desktop desk;
    SessionBus bus;
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<DesktopDoubles> doubles;
    std::unique_ptr<Program> app;
    unsigned long mainWindow = 0;

    // Starts the program in a fresh sandbox on the private bus, with `sysIni`
    // lines written first, and waits for its window and its tray item.
    void startProgram(const QList<QStringList>& settings = {}) {
        app.reset();
        doubles.reset();
        box = std::make_unique<Sandbox>();
        QVERIFY2(box->isValid(), qPrintable(box->error()));
        box->setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        box->setVariable(QStringLiteral("QB_NOTICE_AFTER_MS"), QStringLiteral("1000"));
        for (const QStringList& s : settings)
            QVERIFY(writeSetting(box->path(QStringLiteral("sys.ini")), s[0], s[1], s[2]));
        QString err;
        doubles = std::make_unique<DesktopDoubles>(bus, box->root() + QStringLiteral("/bus.log"));
        QVERIFY2(doubles->start(&err), qPrintable(err));
        app = std::make_unique<Program>(desk, *box);
        const auto win = app->startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        mainWindow = win->info.id;
        QVERIFY2(doubles->waitForItem(), app->output().constData());
    }

    bool boardMapped() const {
        const auto info = desk.windowInfo(mainWindow);
        return info && info->viewable;
    }

    // The tray menu's entries by label, as the desktop shows them.
    QMap<QString, QJsonObject> menu() const {
        QMap<QString, QJsonObject> entries;
        const RunResult r = doubles->menu();
        for (const QJsonValue& v : QJsonDocument::fromJson(r.out).array())
            entries.insert(v[QStringLiteral("label")].toString(), v.toObject());
        return entries;
    }

    // A question of the running operation (" QuillbeckV9.6 - ..."), if one is shown.
    std::optional<unsigned long> question() const {
        const auto wins = desk.windowsOf(app->pid());
        for (auto it = wins.begin(); it != wins.end(); ++it)
            if (it.value().startsWith(QStringLiteral(" QuillbeckV9.6 - "))) return it.key();
        return std::nullopt;
    }

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 with D-Bus and GTK 3 is needed for the desktop doubles");
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
        QVERIFY2(bus.start(&err), qPrintable(err));
    }

    void trayShowsAndHidesTheBoardAndQuits() {
        startProgram();
        if (QTest::currentTestFailed()) return;
        const auto entries = menu();
        QVERIFY2(entries.contains(QStringLiteral("用户：默认")),
                 qPrintable(entries.keys().join(',')));
        QVERIFY(!entries[QStringLiteral("用户：默认")][QStringLiteral("enabled")].toBool());
        for (const char* label : {"显示主窗口", "隐藏主窗口", "帮助", "登录时启动", "退出"})
            QVERIFY2(entries.contains(QString::fromUtf8(label)), label);
        // A program run from its build has no icon theme entry: it shows its own.
        const RunResult icon = doubles->icon();
        const QJsonObject shown = QJsonDocument::fromJson(icon.out).object();
        QVERIFY2(shown[QStringLiteral("sizes")].toArray().contains(QJsonArray{16, 16}) &&
                     shown[QStringLiteral("sizes")].toArray().contains(QJsonArray{64, 64}),
                 qPrintable(icon.describe()));
        const QRect placed = desk.windowInfo(mainWindow)->geometry;

        // A click on the icon hides the shown board and shows the hidden one, in
        // place and still without a taskbar entry.
        QVERIFY(doubles->activate().ok());
        QVERIFY(waitUntil([&] { return !boardMapped(); }, 5000));
        QVERIFY(doubles->activate().ok());
        QVERIFY(waitUntil([&] { return boardMapped(); }, 5000));
        QCOMPARE(desk.windowInfo(mainWindow)->geometry, placed);
        QVERIFY2(waitUntil(
                     [&] {
                         return desk.netWmState(mainWindow)
                             .contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"));
                     },
                     5000),
                 qPrintable(desk.netWmState(mainWindow).join(u' ')));

        // The menu does the same.
        QVERIFY(doubles->click(QStringLiteral("隐藏主窗口")).ok());
        QVERIFY(waitUntil([&] { return !boardMapped(); }, 5000));
        QVERIFY(doubles->click(QStringLiteral("显示主窗口")).ok());
        QVERIFY(waitUntil([&] { return boardMapped(); }, 5000));

        // Help shows the help window; quit ends the program as its exit button
        // does, writing nothing.
        QVERIFY(doubles->click(QStringLiteral("帮助")).ok());
        QString err;
        QVERIFY2(app->waitForWindow(QStringLiteral("Help"), 10000, &err), qPrintable(err));
        const auto before = snapshot(box->programFolder());
        QVERIFY(doubles->click(QStringLiteral("退出")).ok());
        QVERIFY(app->waitForExit(10000));
        QVERIFY(app->exitedNormally());
        QCOMPARE(app->exitCode(), 0);
        QCOMPARE(diff(before, snapshot(box->programFolder())), QStringList());
    }

    void startAtLoginWritesAndRemovesTheEntry() {
        startProgram();
        if (QTest::currentTestFailed()) return;
        const QString entry =
            box->configHome() + QStringLiteral("/autostart/") + kAppId + QStringLiteral(".desktop");
        QVERIFY(!menu()[QStringLiteral("登录时启动")][QStringLiteral("checked")].toBool());

        QVERIFY(doubles->click(QStringLiteral("登录时启动")).ok());
        QVERIFY(waitUntil([&] { return QFileInfo::exists(entry); }, 5000));
        // It starts the very program that runs, and is a valid entry.
        QVERIFY2(lines(entry).contains(QStringLiteral("Exec=") + box->programPath()),
                 qPrintable(lines(entry).join(u'\n')));
        const RunResult valid = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(valid.ok(), qPrintable(valid.describe()));
        QVERIFY(menu()[QStringLiteral("登录时启动")][QStringLiteral("checked")].toBool());

        QVERIFY(doubles->click(QStringLiteral("登录时启动")).ok());
        QVERIFY(waitUntil([&] { return !QFileInfo::exists(entry); }, 5000));
        QVERIFY(!menu()[QStringLiteral("登录时启动")][QStringLiteral("checked")].toBool());
        QVERIFY(app->isRunning());
    }

    // Two clashing files are dropped under "replace after asking"; while the first
    // question waits, the board is hidden from the tray. The drop takes longer than
    // the (shortened) threshold, so its end is announced, once for the whole drop.
    void longCopyWhileHiddenSendsOneNotification() {
        QTemporaryDir tmp;
        const QString dest = tmp.filePath(QStringLiteral("目标 文件夹"));
        const QString src = tmp.filePath(QStringLiteral("源"));
        for (const char* name : {"a.txt", "b.txt"}) {
            writeFile(dest + u'/' + QLatin1String(name), "old");
            writeFile(src + u'/' + QLatin1String(name), "new");
        }
        startProgram(
            {{QStringLiteral("方案"), QStringLiteral("operate"), QStringLiteral("FileCopy")},
             {QStringLiteral("方案"), QStringLiteral("thesame"), QStringLiteral("FileReplace")},
             {QStringLiteral("我的文件夹"), QStringLiteral("5"), dest}});
        if (QTest::currentTestFailed()) return;
        const auto win = MainWindow{*desk.windowInfo(mainWindow)};

        DragSource source(desk, {src + QStringLiteral("/a.txt"), src + QStringLiteral("/b.txt")});
        QString err;
        QVERIFY2(source.waitReady(&err), qPrintable(err));
        QVERIFY2(source.dragTo(win.point(QStringLiteral("Ed5")), &err), qPrintable(err));
        QVERIFY2(waitUntil([&] { return question().has_value(); }, 10000),
                 app->output().constData());

        QVERIFY(doubles->activate().ok());
        QVERIFY(waitUntil([&] { return !boardMapped(); }, 5000));
        // The drop has run at least this long when the first question is answered.
        sleepMs(1200);
        auto replaced = [&] {
            for (const char* name : {"a.txt", "b.txt"}) {
                QFile f(dest + u'/' + QLatin1String(name));
                if (!f.open(QIODevice::ReadOnly) || f.readAll() != "new") return false;
            }
            return true;
        };
        // Each question is answered with its default, "是" (replace).
        for (int answered = 0; answered < 2; ++answered) {
            std::optional<unsigned long> q;
            QVERIFY2(waitUntil([&] { return (q = question()).has_value(); }, 10000),
                     app->output().constData());
            QVERIFY(desk.key(*q, QStringLiteral("Return")));
            QVERIFY(waitUntil([&] { return question() != q; }, 10000));
        }
        QVERIFY(waitUntil(replaced, 10000));
        QVERIFY2(
            waitUntil([&] { return !doubles->events(QStringLiteral("notify")).isEmpty(); }, 10000),
            app->output().constData());

        // Quitting gives any further notification the time to arrive before counting.
        QVERIFY(doubles->click(QStringLiteral("退出")).ok());
        QVERIFY(app->waitForExit(10000));
        const auto notices = doubles->events(QStringLiteral("notify"));
        QCOMPARE(notices.size(), 1);
        const QJsonObject n = notices.first();
        QCOMPARE(n[QStringLiteral("summary")].toString(), QStringLiteral("复制完成"));
        QCOMPARE(n[QStringLiteral("body")].toString(), QStringLiteral("2 项已复制到 ") + dest);
        QCOMPARE(n[QStringLiteral("app")].toString(), QStringLiteral("Quillbeck"));
        QCOMPARE(n[QStringLiteral("hints")][QStringLiteral("desktop-entry")].toString(), kAppId);
    }
};

QTEST_GUILESS_MAIN(TestDesktopE2e)
#include "tst_desktop_e2e.moc"
