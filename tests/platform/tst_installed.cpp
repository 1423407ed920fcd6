// Where settings go for an installed copy and for a copy of the user's own, and
// what the notification at the end of a drop says.
#include "drop/DropReport.h"
#include "platform/Installation.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

} // namespace

class TestInstalled : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString config;

private slots:
    void initTestCase() {
        config = tmp.filePath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    }

    // A prefix laid out by the install (bin/ beside share/applications/<id>.desktop)
    // is an installed copy wherever it lies and whoever may write into it; a
    // writable folder of the user's own keeps the settings beside the program.
    void programFolderByLayout() {
        const QString prefix = tmp.filePath(QStringLiteral("prefix"));
        const QString bin = prefix + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        QCOMPARE(qb::chooseProgramFolder(bin), bin + u'/');

        QVERIFY(touch(prefix + QStringLiteral("/share/applications/" QB_APP_ID ".desktop")));
        QVERIFY(qb::isInstalledProgram(bin));
        QCOMPARE(qb::chooseProgramFolder(bin), config + QStringLiteral("/quillbeck/"));
        QVERIFY(QFileInfo(config + QStringLiteral("/quillbeck")).isDir());
        QCOMPARE(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // Another program's entry does not make an install layout.
        const QString otherBin = tmp.filePath(QStringLiteral("other/bin"));
        QVERIFY(touch(tmp.filePath(QStringLiteral("other/share/applications/quillbeck.desktop"))));
        QVERIFY(QDir().mkpath(otherBin));
        QVERIFY(!qb::hasInstallLayout(otherBin));
    }

    void systemFolders_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<bool>("system");
        QTest::newRow("usr bin") << "/usr/bin" << true;
        QTest::newRow("merged bin") << "/bin" << true;
        QTest::newRow("local bin") << "/usr/local/bin" << true;
        QTest::newRow("opt") << "/opt/quillbeck" << true;
        QTest::newRow("games") << "/usr/games" << true;
        QTest::newRow("source tree") << "/usr/src/quillbeck/build" << false;
        QTest::newRow("prefix of a name") << "/usrx/bin" << false;
        QTest::newRow("optional") << "/optional" << false;
        QTest::newRow("home") << "/home/user/quillbeck" << false;
        QTest::newRow("tmp") << "/tmp/q" << false;
    }
    void systemFolders() {
        QFETCH(QString, dir);
        QFETCH(bool, system);
        QCOMPARE(qb::isSystemFolder(dir), system);
    }

    // A link from the user's folder into a system folder is the system folder.
    void linkIntoASystemFolder() {
        const QString link = tmp.filePath(QStringLiteral("bin-link"));
        QVERIFY(QFile::link(QStringLiteral("/usr/bin"), link));
        QVERIFY(qb::isSystemFolder(link));
        QVERIFY(qb::isInstalledProgram(link));
    }

    void dropNotices_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<QStringList>("done");
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("summary"); // empty: no notice
        QTest::addColumn<QString>("body");
        const QString d = QStringLiteral("/srv/目标");
        QTest::newRow("one copied")
            << false << QStringList{"/a/报告.pdf"} << QStringList() << false << "复制完成"
            << "“报告.pdf”已复制到 " + d;
        QTest::newRow("three moved")
            << true << QStringList{"/a/1", "/a/2", "/a/3"} << QStringList() << false << "移动完成"
            << "3 项已移动到 " + d;
        QTest::newRow("one failed")
            << false << QStringList() << QStringList{"/a/x.iso"} << false << "复制失败"
            << "“x.iso”未能复制到 " + d;
        QTest::newRow("some failed")
            << true << QStringList{"/a/ok"} << QStringList{"/a/p", "/a/q"} << false << "移动失败"
            << "2 项未能移动到 " + d + "：p、q\n另有“ok”已移动";
        QTest::newRow("many failed")
            << false << QStringList() << QStringList{"/a/1", "/a/2", "/a/3", "/a/4"} << false
            << "复制失败"
            << "4 项未能复制到 " + d + "：1、2、3…";
        // "~": an item whose replacement was declined, never counted as done.
        QTest::newRow("one skipped")
            << false << QStringList{"~/a/x.txt"} << QStringList() << false << "已跳过"
            << "“x.txt”未替换，已跳过";
        QTest::newRow("copied and skipped")
            << false << QStringList{"/a/1", "~/a/2"} << QStringList() << false << "复制完成"
            << "“1”已复制到 " + d + "\n“2”未替换，已跳过";
        QTest::newRow("cancelled") << false << QStringList{"/a/1"} << QStringList() << true << ""
                                   << "";
        QTest::newRow("nothing") << false << QStringList() << QStringList() << false << ""
                                 << "";
    }
    void dropNotices() {
        QFETCH(bool, move);
        QFETCH(QStringList, done);
        QFETCH(QStringList, failed);
        QFETCH(bool, cancelled);
        QFETCH(QString, summary);
        QFETCH(QString, body);
        qb::DropReport report(move ? qb::Op::Move : qb::Op::Copy, QStringLiteral("/srv/目标"));
        for (const QString& item : done)
            report.add(item.startsWith(u'~') ? item.mid(1) : item,
                       item.startsWith(u'~') ? qb::Outcome::Skipped : qb::Outcome::Done);
        for (const QString& item : failed)
            report.add(item, qb::Outcome::Failed);
        if (cancelled) report.add(QStringLiteral("/a/c"), qb::Outcome::Cancelled);
        const auto notice = qb::dropNotice(report);
        QCOMPARE(notice.has_value(), !summary.isEmpty());
        if (!notice) return;
        QCOMPARE(notice->summary, summary);
        QCOMPARE(notice->body, body);
    }
};

QTEST_GUILESS_MAIN(TestInstalled)
#include "tst_installed.moc"
