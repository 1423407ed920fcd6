// The help window: its text, controls, web links and the two shortcuts.
#include "help/Unit4.h"
#include "platform/DesktopEntry.h"
#include "platform/Dialogs.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/TabOrder.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrlQuery>

namespace {

QString readEntry(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    qb::FakeDialogs boxes;

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        // A private desktop profile: the shortcuts must land here, not in the real one.
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));
        qb::setDialogs(&boxes);
    }
    void cleanupTestCase() { qb::setDialogs(nullptr); }

    void helpTextHasTwelveExactLines() {
        TForm4 form;
        const QStringList lines = form.Memo1->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0], QStringLiteral("     QuillbeckV9.6"));
        QCOMPARE(lines[4],
                 QStringLiteral("2.文件夹，目录管理。点击“配置”单选框，在此状态下，拖放文件"));
        QCOMPARE(lines[10],
                 QStringLiteral("定设置目录”，即可完成“复制”或“移动”文件或文件夹到指定目录！"));
        QVERIFY(lines[11].startsWith(QStringLiteral("Quillbeck")));
        QVERIFY(!lines[11].contains(u'@')); // no one's real contact details
        QVERIFY(form.Memo1->isReadOnly());
    }

    void helpTextFitsTheWindow_data() {
        QTest::addColumn<int>("pixels");
        QTest::newRow("default font") << 0;
        // As wide as a CJK font whose punctuation and Latin are full width.
        QTest::newRow("wide font") << 15;
    }
    // Every line stays inside the text's view, wrapped where the font is wider
    // than the one the text was laid out for; that one shows it as laid out.
    void helpTextFitsTheWindow() {
        QFETCH(int, pixels);
        TForm4 form;
        if (pixels) {
            QFont wide = form.Memo1->font();
            wide.setPixelSize(pixels);
            form.Memo1->setFont(wide);
        }
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int width = form.Memo1->viewport()->width();
        int lines = 0;
        for (QTextBlock b = form.Memo1->document()->begin(); b.isValid(); b = b.next()) {
            const QTextLayout* layout = b.layout();
            for (int i = 0; i < layout->lineCount(); ++i, ++lines)
                QVERIFY2(layout->position().x() + layout->lineAt(i).naturalTextWidth() <= width,
                         qPrintable(b.text()));
        }
        // The rest is reached by scrolling.
        QCOMPARE(lines == 12, !pixels);
        QCOMPARE(form.Memo1->verticalScrollBar()->isVisible(), bool(pixels));
    }

    void controlsAsDesigned() {
        TForm4 form;
        QCOMPARE(form.objectName(), QStringLiteral("Form4"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Help"));
        QCOMPARE(form.size(), QSize(346, 202));
        struct Want {
            const char* name;
            const char* caption;
            const char* hint;
            QRect geometry;
        };
        const Want want[] = {{"Button3", "快捷方式", "Shortcuts", {16, 176, 65, 24}},
                             {"Button1", "软件更新", "Software updates", {98, 176, 65, 24}},
                             {"Button2", "作者主页", "Home", {181, 176, 65, 24}},
                             {"Button4", "关闭窗口", "Close", {264, 176, 65, 24}}};
        for (const Want& w : want) {
            auto* b = form.findChild<QPushButton*>(QString::fromLatin1(w.name));
            QVERIFY2(b, w.name);
            QCOMPARE(b->text(), QString::fromUtf8(w.caption));
            QCOMPARE(b->toolTip(), QString::fromUtf8(w.hint));
            QCOMPARE(b->geometry(), w.geometry);
            QVERIFY(!b->isDefault());
        }
        QCOMPARE(form.Memo1->geometry(), QRect(0, 0, 345, 169));
        // Tab order: the text, then Button1, Button2, Button3, Button4.
        QWidget* chain[] = {form.Memo1, form.Button1, form.Button2, form.Button3, form.Button4};
        for (int i = 0; i + 1 < 5; ++i)
            QCOMPARE(nextTabStop(chain[i]), chain[i + 1]);
    }

    void webButtonsOpenTheirAddresses() {
        qb::ScopedFakeOpener opener;
        TForm4 form;
        form.Button1->click();
        form.Button2->click();
        QCOMPARE(opener.fake.webAddresses.size(), 2);
        const QUrl search = opener.fake.webAddresses[0];
        QCOMPARE(search.scheme(), QStringLiteral("https"));
        QCOMPARE(QUrlQuery(search).queryItemValue(QStringLiteral("q")),
                 QStringLiteral("Quillbeck"));
        const QUrl homePage = opener.fake.webAddresses[1];
        QVERIFY(homePage.isValid());
        QCOMPARE(homePage.scheme(), QStringLiteral("https"));
        QVERIFY(homePage.host().contains(QStringLiteral("quillbeck")));
        // A browser that cannot be started is not reported either.
        opener.fake.accept = false;
        form.Button1->click();
        QCOMPARE(boxes.shown(), 0);
    }

    void shortcutButtonWritesBothEntries() {
        QVERIFY(QDir().mkpath(home.path() + "/Desktop"));
        const QString desktop = home.path() + "/Desktop/Quillbeck.desktop";
        const QString menu = home.path() + "/data/applications/quillbeck.desktop";
        QCOMPARE(qb::desktopShortcutFile(), desktop);
        QCOMPARE(qb::menuShortcutFile(), menu);

        TForm4 form;
        boxes.clear();
        form.Button3->click();
        for (const QString& file : {desktop, menu}) {
            const QStringList lines = readEntry(file).split(u'\n');
            QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
            QVERIFY(lines.contains(QStringLiteral("Type=Application")));
            QVERIFY(lines.contains("Exec=" + QCoreApplication::applicationFilePath()));
            // Passed over by the desktop once the program is gone.
            QVERIFY(lines.contains("TryExec=" + QCoreApplication::applicationFilePath()));
            QVERIFY(lines.contains("Comment=" + qb::shortcutComment()));
            QVERIFY(lines.contains(QStringLiteral("Comment[zh_CN]=文件整理，目录管理")));
            QVERIFY(QFileInfo(file).isExecutable());
        }
        QCOMPARE(boxes.messages,
                 QStringList{"已在桌面创建快捷方式。\n已在应用程序菜单中创建快捷方式。"});

        // A second press finds both and says so; an outdated entry is written anew.
        QVERIFY(QFile::resize(desktop, 20));
        const QByteArray menuBefore = readEntry(menu).toUtf8();
        form.Button3->click();
        QCOMPARE(boxes.messages.value(1), "已在桌面创建快捷方式。\n应用程序菜单中已有本程序。");
        QVERIFY(readEntry(desktop).contains("TryExec="));
        QCOMPARE(readEntry(menu).toUtf8(), menuBefore);
        QVERIFY(QFile::remove(desktop) && QFile::remove(menu));
    }

    void withoutDesktopFolderOnlyTheMenuEntry() {
        QDir(home.path() + "/Desktop").removeRecursively();
        QDir(home.path() + "/data").removeRecursively();
        TForm4 form;
        boxes.clear();
        form.Button3->click();
        QVERIFY(!QFileInfo::exists(home.path() + "/Desktop"));
        QVERIFY(QFileInfo::exists(home.path() + "/data/applications/quillbeck.desktop"));
        QCOMPARE(boxes.messages.value(0), "没有桌面文件夹，未在桌面创建快捷方式。\n"
                                          "已在应用程序菜单中创建快捷方式。");
    }

    // An installed copy is in the menu through its packaged entry: no second one,
    // and one an earlier version wrote for it goes. Unpacked where the menu does
    // not look, it is not in the menu and gets an entry.
    void installedCopyGetsNoSecondMenuEntry() {
        QTemporaryDir prefix;
        const QString program = prefix.path() + "/bin/quillbeck";
        const QString packaged = prefix.path() + "/share/applications/" QB_APP_ID ".desktop";
        QVERIFY(QDir().mkpath(prefix.path() + "/bin"));
        QVERIFY(QDir().mkpath(prefix.path() + "/share/applications"));
        QVERIFY(QFile(packaged).open(QIODevice::WriteOnly));
        const QString menu = qb::menuShortcutFile();
        QVERIFY(!qb::menuListsInstalledCopy(program));
        QCOMPARE(qb::createShortcuts(program).menu, qb::ShortcutOutcome::Made);

        qputenv("XDG_DATA_DIRS", QFile::encodeName(prefix.path() + "/share:/usr/share"));
        QVERIFY(qb::menuListsInstalledCopy(program));
        QVERIFY(qb::writeDesktopEntry(menu, program, true));
        const qb::ShortcutReport report = qb::createShortcuts(program);
        QCOMPARE(report.menu, qb::ShortcutOutcome::Present);
        QVERIFY(!QFileInfo::exists(menu));
        // The user's own entry for some other program stays.
        QVERIFY(qb::writeDesktopEntry(menu, "/opt/other/quillbeck", true));
        qb::createShortcuts(program);
        qunsetenv("XDG_DATA_DIRS");
        QVERIFY(QFileInfo::exists(menu) && QFile::remove(menu));
    }

    void execValueQuotedWhereNeeded() {
        QCOMPARE(qb::desktopExecValue(QStringLiteral("/opt/quillbeck/quillbeck")),
                 QStringLiteral("/opt/quillbeck/quillbeck"));
        QCOMPARE(qb::desktopExecValue(QStringLiteral("/home/a b/q$\"x")),
                 QStringLiteral("\"/home/a b/q\\$\\\"x\""));
        // In the file the entry format escapes the backslashes once more.
        const QString text =
            QString::fromUtf8(qb::desktopEntryText(QStringLiteral("/home/a b/q$x")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/home/a b/q\\\\$x\"\n")));
        QVERIFY(text.contains(QStringLiteral("\nTryExec=/home/a b/q$x\n")));
    }

    // GLib's launcher, the one of GNOME's sessions and menus, starts the entry's
    // program whatever its path holds.
    void entryStartsTheProgram_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("blanks and $") << QStringLiteral("a b/q$x");
        QTest::newRow("percent") << QStringLiteral("100%");
        QTest::newRow("percent and =") << QStringLiteral("q%F=y");
    }
    void entryStartsTheProgram() {
        QFETCH(QString, folder);
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (gio.isEmpty()) QSKIP("gio (GLib's launcher) is not installed");
        QTemporaryDir dir;
        const QString program = dir.filePath(folder + QStringLiteral("/quillbeck"));
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ntouch \"$0.ran\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString entry = dir.filePath(QStringLiteral("entry.desktop"));
        QVERIFY(qb::writeDesktopEntry(entry, program, false));
        QProcess launch;
        launch.start(gio, {QStringLiteral("launch"), entry});
        QVERIFY(launch.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(program + QStringLiteral(".ran")), 10000);
    }

    void closingHidesAndKeepsThePlace() {
        TForm4 form;
        form.ShowModeless();
        QVERIFY(form.isVisible());
        form.move(40, 30);
        form.Button4->click();
        QVERIFY(!form.isVisible());
        form.ShowModeless();
        QVERIFY(form.isVisible());
        QCOMPARE(form.pos(), QPoint(40, 30));
        QVERIFY(form.close()); // the close box
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
