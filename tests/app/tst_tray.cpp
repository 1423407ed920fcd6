// The tray's menu over a stand-in board, on the offscreen platform: what it shows
// when it opens, what each entry does, and start at login as a file on disk.
#include "app/Tray.h"
#include "platform/Autostart.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {

class FakeWindow final : public qb::TrayWindow {
public:
    bool shown() const override { return visible; }
    bool inUse() const override { return visible; }
    void show() override {
        visible = true;
        calls << QStringLiteral("show");
    }
    void hide() override {
        visible = false;
        calls << QStringLiteral("hide");
    }
    QString currentAccount() const override { return account; }
    void showHelp() override { calls << QStringLiteral("help"); }
    void quit() override { calls << QStringLiteral("quit"); }

    bool visible = true;
    QString account = QStringLiteral("默认");
    QStringList calls;
};

QAction* action(const qb::Tray& tray, const char* name) {
    return tray.menu()->findChild<QAction*>(QLatin1String(name));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTray : public QObject {
    Q_OBJECT

    QTemporaryDir config;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())); }
    void init() { QFile::remove(qb::autostartFile()); }

    void menuShowsTheAccountWhenItOpens() {
        FakeWindow board;
        qb::Tray tray(board, QStringLiteral("/opt/q/quillbeck"));
        QAction* account = action(tray, "TrayAccount");
        QVERIFY(account);
        QCOMPARE(account->text(), QStringLiteral("用户：默认"));
        QVERIFY(!account->isEnabled());
        // Another account logged in since: the menu names it the next time it opens.
        board.account = QStringLiteral("张三");
        emit tray.menu()->aboutToShow();
        QCOMPARE(account->text(), QStringLiteral("用户：张三"));
        QCOMPARE(tray.icon()->contextMenu(), tray.menu());
    }

    // An entry of an earlier version, without TryExec, is brought up to date when
    // the tray starts; another program's entry stays as it is.
    void earlierEntriesGetTryExec() {
        const QByteArray older = "[Desktop Entry]\nType=Application\nName=Quillbeck\n"
                                 "Exec=/opt/q/quillbeck\nX-GNOME-Autostart-enabled=true\n";
        QVERIFY(QDir().mkpath(QFileInfo(qb::autostartFile()).absolutePath()));
        for (const char* program : {"/opt/other/quillbeck", "/opt/q/quillbeck"}) {
            QFile f(qb::autostartFile());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(older) == older.size());
            f.close();
            FakeWindow board;
            qb::Tray tray(board, QString::fromLatin1(program));
            QCOMPARE(readAll(qb::autostartFile()).contains("\nTryExec=/opt/q/quillbeck\n"),
                     QByteArray(program) == "/opt/q/quillbeck");
        }
        QVERIFY(qb::autostartEnabled());
    }

    void entriesAndClicksReachTheBoard() {
        FakeWindow board;
        qb::Tray tray(board, QStringLiteral("/opt/q/quillbeck"));
        tray.toggleBoard(); // shown: hides
        tray.toggleBoard(); // hidden: shows
        action(tray, "TrayHide")->trigger();
        action(tray, "TrayShow")->trigger();
        action(tray, "TrayHelp")->trigger();
        action(tray, "TrayQuit")->trigger();
        QCOMPARE(board.calls, QStringList({"hide", "show", "hide", "show", "help", "quit"}));
    }

    void startAtLoginIsTheEntryOnDisk() {
        FakeWindow board;
        const QString program = QStringLiteral("/home/a b/bin/quillbeck");
        qb::Tray tray(board, program);
        QAction* autostart = action(tray, "TrayAutostart");
        QVERIFY(autostart->isCheckable());
        QVERIFY(!autostart->isChecked());

        autostart->trigger();
        QVERIFY(autostart->isChecked());
        const QByteArray entry = readAll(qb::autostartFile());
        QVERIFY2(entry.contains("\nExec=\"/home/a b/bin/quillbeck\"\n"), entry.constData());
        QVERIFY(entry.contains("\nTryExec=/home/a b/bin/quillbeck\n"));
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(qb::autostartFile().startsWith(config.path() + QStringLiteral("/autostart/")));

        autostart->trigger();
        QVERIFY(!autostart->isChecked());
        QVERIFY(!QFile::exists(qb::autostartFile()));

        // An entry switched off by the desktop's own settings shows unchecked.
        QVERIFY(qb::setAutostart(true, program));
        QFile f(qb::autostartFile());
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hidden=true\n");
        f.close();
        emit tray.menu()->aboutToShow();
        QVERIFY(!autostart->isChecked());
    }

    // A refused write leaves the check where the file system says it is (even root
    // cannot make a folder where a file stands).
    void refusedWriteShowsUnchanged() {
        QTemporaryDir other;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(other.path()));
        QFile blocker(other.path() + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        FakeWindow board;
        qb::Tray tray(board, QStringLiteral("/opt/q/quillbeck"));
        action(tray, "TrayAutostart")->trigger();
        QVERIFY(!action(tray, "TrayAutostart")->isChecked());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
