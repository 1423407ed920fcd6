// The real program under Xvfb and openbox: a slot click and a panel double click
// reach a fake file manager through xdg-open, an account is registered and logged
// in through the real dialog, and the help window's shortcut button writes both entries.
#include "tests/support/E2e.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace qb::e2e;

class TestDialogsE2e : public QObject {
    Q_OBJECT
    Desktop desk;

    bool type(const QString& text) {
        return desk
            .tool(QStringLiteral("xdotool"),
                  {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text})
            .ok();
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }

    void slotClickAndPanelDoubleClickReachTheFileManager() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString log = installFakeFileManager(box);
        const QString target = box.root() + "/target folder";
        QVERIFY(QDir().mkpath(target));
        QVERIFY(writeSetting(box.path("sys.ini"), "我的文件夹", "1", target));
        QVERIFY(writeSetting(box.path("sys.ini"), "我的文件夹", "2", box.root() + "/gone"));

        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        // The missing folder of row 2 is not handed over; row 1's folder is.
        QVERIFY(desk.click(win->point("Edit2")));
        QVERIFY(desk.click(win->point("Edit1")));
        QVERIFY2(waitUntil([&] { return !lines(log).isEmpty(); }, 10000), app.output().constData());
        QCOMPARE(lines(log), QStringList{target});

        // Between row 1's two fields lies the panel's own background.
        const QRect edit1 = *controlRect("Edit1");
        QVERIFY(desk.doubleClick(win->toScreen(QPoint(edit1.right() + 2, edit1.center().y()))));
        QVERIFY(waitUntil([&] { return lines(log).size() == 2; }, 10000));
        QCOMPARE(lines(log).at(1), QStringLiteral("/")); // no computer view registered
        QVERIFY(app.isRunning());
    }

    void registerAndLogInThroughTheDialog() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        // The default account works in move mode, so the load of abc writes copy mode.
        QVERIFY(writeSetting(box.path("sys.ini"), "方案", "operate", "FileMove"));
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        QVERIFY(desk.click(win->point("Button1")));
        const auto dialog = app.waitForWindow(QStringLiteral("注册，登陆"), 10000, &err);
        QVERIFY2(dialog, qPrintable(err));
        const auto info = desk.windowInfo(*dialog);
        QVERIFY(info);
        const QPoint origin = info->geometry.topLeft();
        // Panel1 stands at (176, 0), Panel2 at (2, 0) of the dialog.
        QVERIFY(desk.click(origin + QPoint(176 + 56 + 20, 32 + 10))); // Edit1
        QVERIFY(type("abc"));
        QVERIFY(desk.click(origin + QPoint(176 + 56 + 20, 79 + 10))); // Edit2
        QVERIFY(type("abc"));
        QVERIFY(desk.click(origin + QPoint(176 + 10 + 37, 123 + 11))); // Button3 注册
        QVERIFY2(
            waitUntil([&] { return readSetting(box.path("user.ini"), "abc", "mima") == "abc"; },
                      10000),
            app.output().constData());

        QVERIFY(desk.click(origin + QPoint(2 + 8 + 30, 24 + 7)));   // the list's first item
        QVERIFY(desk.click(origin + QPoint(2 + 6 + 37, 125 + 11))); // Button1 登陆
        QVERIFY2(waitUntil([&] { return readSetting(box.path("sys.ini"), "user", "id") == "abc"; },
                           10000),
                 app.output().constData());
        const QString accountFile = box.path("user/userabc.ini");
        QVERIFY(waitUntil([&] { return QFileInfo::exists(accountFile); }, 10000));
        QVERIFY(waitUntil([&] { return readSetting(accountFile, "方案", "operate") == "FileCopy"; },
                          10000));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*dialog); }, 10000));
        QVERIFY(app.isRunning());
    }

    void shortcutButtonWritesBothEntries() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        QVERIFY(desk.click(win->point("Button3")));
        const auto help = app.waitForWindow(QStringLiteral("Help"), 10000, &err);
        QVERIFY2(help, qPrintable(err));
        const auto info = desk.windowInfo(*help);
        QVERIFY(info);
        QVERIFY(desk.click(info->geometry.topLeft() + QPoint(16 + 32, 176 + 12))); // 快捷方式

        const QString onDesktop = box.home() + "/Desktop/Quillbeck.desktop";
        const QString inMenu = box.dataHome() + "/applications/quillbeck.desktop";
        QVERIFY2(
            waitUntil([&] { return QFileInfo::exists(onDesktop) && QFileInfo::exists(inMenu); },
                      10000),
            app.output().constData());
        for (const QString& file : {onDesktop, inMenu}) {
            const QStringList entry = lines(file);
            QVERIFY(entry.contains("Exec=" + box.programPath()));
            QVERIFY(entry.contains(QStringLiteral("Comment[zh_CN]=文件整理，目录管理")));
            QVERIFY(entry.contains("TryExec=" + box.programPath()));
            QVERIFY(QFileInfo(file).isExecutable());
        }
        // A box says what was made; Return closes it.
        const auto said = app.waitForWindow(QStringLiteral(" QuillbeckV9.6"), 10000, &err);
        QVERIFY2(said, qPrintable(err));
        QVERIFY(desk.key(*said, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*said); }, 10000));
        QVERIFY(app.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestDialogsE2e)
#include "tst_dialogs_e2e.moc"
