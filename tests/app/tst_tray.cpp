// The tray's menu over a stand-in board, on the offscreen platform: what it shows
// when it opens, what each entry does, and start at login as a file on disk.
#include "app/Tray.h"
#include "drop/DropReport.h"
#include "history/Journal.h"
#include "platform/Autostart.h"
#include "platform/Notifier.h"

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
    qb::history::Journal* journal() const override { return drops; }
    void undo(std::int64_t id) override { calls << QStringLiteral("undo %1").arg(id); }
    void showHistory() override { calls << QStringLiteral("history"); }

    qb::history::Journal* drops = nullptr;
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

    // The undo entry names the drop an undo would take back, as it is each time
    // the menu opens, and is off while there is none; the notification's undo
    // button is there only for the drop it tells of.
    void undoEntryFollowsTheJournal() {
        QTemporaryDir state;
        std::string err;
        auto journal = qb::history::Journal::open(state.path().toStdString(), err);
        QVERIFY2(journal, err.c_str());
        FakeWindow board;
        board.drops = journal.get();
        qb::Tray tray(board, QStringLiteral("/opt/q/quillbeck"));
        QAction* undo = action(tray, "TrayUndo");
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("撤销"));
        undo->trigger();
        QVERIFY(board.calls.isEmpty());

        qb::history::DropRecord d;
        d.slotName = "照片&视频";
        d.destFolder = "/srv/photos";
        d.op = qb::Op::Move;
        d.itemCount = 3;
        const std::int64_t first = journal->beginDrop(d);
        for (const char* name : {"1.jpg", "2.jpg", "3.mov"}) {
            qb::history::ItemRecord item;
            item.dropId = first;
            item.source = std::string("/home/a/") + name;
            item.dest = "/srv/photos/" + std::string(name);
            journal->finishItem(journal->beginItem(item, false), qb::history::ItemState::Done,
                                qb::history::ItemKind::File, {});
        }
        journal->endDrop(first, qb::Outcome::Done);
        emit tray.menu()->aboutToShow();
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("撤销：3 项已移动到 照片&&视频"));
        undo->trigger();
        QCOMPARE(board.calls, QStringList{QStringLiteral("undo %1").arg(first)});

        qb::DropReport report(qb::Op::Move, QStringLiteral("/srv/photos"));
        report.add(QStringLiteral("/home/a/1.jpg"), qb::Outcome::Done);
        QList<qb::NoticeAction> buttons = qb::noticeActions(board, report);
        QCOMPARE(buttons.size(), 2);
        QCOMPARE(buttons[0].key, QStringLiteral("undo"));
        buttons[0].run();
        QCOMPARE(board.calls.last(), QStringLiteral("undo %1").arg(first));

        // Taken back since: nothing left to undo, and no undo button for it.
        journal->setUndone(first, first + 100);
        emit tray.menu()->aboutToShow();
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("撤销"));
        buttons = qb::noticeActions(board, report);
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons[0].key, QStringLiteral("open-folder"));

        action(tray, "TrayHistory")->trigger();
        QCOMPARE(board.calls.last(), QStringLiteral("history"));
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
