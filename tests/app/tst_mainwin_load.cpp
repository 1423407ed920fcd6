// Loading an account onto the main window and the write-backs it sets off, the
// group switch and rename, the mode and policy choices: all against real settings
// files in a temporary program folder.
#include "tests/support/MainWinFixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace mw;

namespace {

const QString kScheme = QStringLiteral("方案");
const QString kFolders = QStringLiteral("我的文件夹");

QString firstStartText() {
    QString text = QStringLiteral("[方案]\r\noperate=FileCopy\r\nshow=yes\r\nproject=1\r\n"
                                  "[我的文件夹]\r\n");
    for (int k = 1; k <= 20; ++k)
        text += QString::number(k) + QStringLiteral("=/\r\n");
    return text;
}

// The choice buttons and the spellings settings files hold for them.
struct StoredChoice {
    const char* button;
    const char* key;
    const char* value;
};
const StoredChoice kStoredChoices[] = {
    {"Move", "operate", "FileMove"},
    {"Copy", "operate", "FileCopy"},
    {"Set", "operate", "Set"},
    {"RadioButton13", "thesame", "FileRename"},
    {"RadioButton14", "thesame", "FileReplace"},
    {"RadioButton15", "thesame", "FileReplaceAoto"},
    {"RadioButton11", "show", "no"},
    {"RadioButton12", "show", "yes"},
};

} // namespace

class TestMainWinLoad : public QObject {
    Q_OBJECT

private slots:
    void firstStartWritesSysIniAndFillsTheWindow() {
        Fixture fx;
        TForm1& f = fx.start();

        QCOMPARE(bytesOf(fx.sysIni()), gb(firstStartText()));
        QVERIFY(QFileInfo(fx.path(QStringLiteral("user"))).isDir());
        QVERIFY(fx.dialogs.errors.isEmpty());

        QCOMPARE(f.Label17->text(), QStringLiteral("默认"));
        QVERIFY(f.Copy->isChecked() && !f.Move->isChecked() && !f.Set->isChecked());
        QVERIFY(f.RadioButton[14]->isChecked());
        QVERIFY(f.RadioButton[12]->isChecked() && !f.RadioButton[11]->isChecked());
        QCOMPARE(checkedGroup(f), 1);
        for (int r = 1; r <= 20; ++r) {
            QCOMPARE(f.Edit[r]->text(), QStringLiteral("/"));
            QCOMPARE(f.Ed[r]->text(), QStringLiteral("/"));
        }
        for (int g = 1; g <= 10; ++g)
            QCOMPARE(f.RadioButton[g]->text(), QString::number(g));
        QCOMPARE(f.Labeltip->text(), QStringLiteral("状态：无操作"));

        // Both polls run from creation.
        QVERIFY(f.Timer1->isActive() && f.Timer2->isActive());
        QCOMPARE(f.Timer1->interval(), 200);
        QCOMPARE(f.Timer2->interval(), 100);

        // Centred on the primary screen with the outer size.
        const QRect desk = QGuiApplication::primaryScreen()->geometry();
        const QRect outer = f.frameGeometry();
        QVERIFY(qAbs(outer.center().x() - desk.center().x()) <= 1);
        QVERIFY(qAbs(outer.center().y() - desk.center().y()) <= 1);
    }

    void accountFileWithProject3FillsRowsFrom41To60() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n"));
        const QString account = fx.path(QStringLiteral("user/userabc.ini"));
        putFile(account, QStringLiteral("[方案]\r\nproject=3\r\nname4=Work\r\nname7=\r\n"
                                        "[我的文件夹]\r\n41=/srv/data/\r\n45=/home/李/文档\r\n"
                                        "60=/tmp/a b\r\n"));
        TForm1& f = fx.start();

        QCOMPARE(f.Label17->text(), QStringLiteral("abc"));
        QCOMPARE(checkedGroup(f), 3);
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/srv/data/"));
        QCOMPARE(f.Ed[1]->text(), QStringLiteral("data"));
        QCOMPARE(f.Edit[5]->text(), QStringLiteral("/home/李/文档"));
        QCOMPARE(f.Ed[5]->text(), QStringLiteral("文档"));
        QCOMPARE(f.Ed[20]->text(), QStringLiteral("a b"));
        QCOMPARE(f.Edit[2]->text(), QStringLiteral("/"));
        QCOMPARE(f.RadioButton[4]->text(), QStringLiteral("Work"));
        QCOMPARE(f.RadioButton[7]->text(), QString()); // present but empty: no default
        QCOMPARE(f.RadioButton[8]->text(), QStringLiteral("8"));

        // Every row of group 3 is now stored, the missing ones as "/"; nothing of
        // group 1 was written, and sys.ini was not touched.
        for (int k = 41; k <= 60; ++k)
            QVERIFY(fx.read(account, kFolders, QString::number(k)) != QStringLiteral("<missing>"));
        QCOMPARE(fx.read(account, kFolders, QStringLiteral("42")), QStringLiteral("/"));
        QCOMPARE(fx.read(account, kFolders, QStringLiteral("45")), QStringLiteral("/home/李/文档"));
        QCOMPARE(fx.read(account, kFolders, QStringLiteral("1")), QStringLiteral("<missing>"));
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("operate")), QStringLiteral("FileCopy"));
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("thesame")), QStringLiteral("<missing>"));
        QCOMPARE(bytesOf(fx.sysIni()), gb(QStringLiteral("[user]\r\nid=abc\r\n")));
    }

    // Unknown choice values check nothing and write nothing; a "project" naming
    // no group reads as group 1, whose switch stores it and the group's paths.
    void unknownValuesCheckNothingAndWriteNothing() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[方案]\r\noperate=filecopy\r\nthesame=FileRename\r\n"
                                            "show=maybe\r\nproject=11\r\n"));
        TForm1& f = fx.start();

        QVERIFY(!f.Copy->isChecked() && !f.Move->isChecked() && !f.Set->isChecked());
        QVERIFY(f.RadioButton[13]->isChecked());
        QVERIFY(!f.RadioButton[11]->isChecked() && !f.RadioButton[12]->isChecked());
        QCOMPARE(checkedGroup(f), 1);
        for (int r = 1; r <= 20; ++r)
            QCOMPARE(f.Edit[r]->text(), QStringLiteral("/"));
        QCOMPARE(f.RadioButton[1]->text(), QStringLiteral("1"));
        // The policy, which moved off its design state, was written back unchanged.
        QString expected = QStringLiteral("[方案]\r\noperate=filecopy\r\nthesame=FileRename\r\n"
                                          "show=maybe\r\nproject=1\r\n[我的文件夹]\r\n");
        for (int k = 1; k <= 20; ++k)
            expected += QString::number(k) + QStringLiteral("=/\r\n");
        QCOMPARE(bytesOf(fx.sysIni()), gb(expected));
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void secondLoadWritesNothing() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n"));
        const QString account = fx.path(QStringLiteral("user/userabc.ini"));
        putFile(account, QStringLiteral("[方案]\r\noperate=Set\r\nthesame=FileReplaceAoto\r\n"
                                        "show=no\r\nproject=10\r\n[我的文件夹]\r\n200=/opt\r\n"));
        TForm1& f = fx.start();
        QVERIFY(f.Set->isChecked() && f.RadioButton[15]->isChecked());
        QVERIFY(f.RadioButton[11]->isChecked());
        QCOMPARE(checkedGroup(f), 10);
        QCOMPARE(f.Ed[20]->text(), QStringLiteral("opt"));

        const QByteArray sys = bytesOf(fx.sysIni());
        const QByteArray acc = bytesOf(account);
        ageFile(fx.sysIni());
        ageFile(account);
        const QDateTime sysTime = mtimeOf(fx.sysIni());
        const QDateTime accTime = mtimeOf(account);

        // Read-only files turn any attempt to write into an error box.
        makeReadOnly(fx.sysIni());
        makeReadOnly(account);
        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QCOMPARE(bytesOf(fx.sysIni()), sys);
        QCOMPARE(bytesOf(account), acc);
        QCOMPARE(mtimeOf(fx.sysIni()), sysTime);
        QCOMPARE(mtimeOf(account), accTime);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void defaultUserButtonSwitchesBackToSysIni() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n[方案]\r\nproject=2\r\n"
                                            "[我的文件夹]\r\n21=/var\r\n"));
        TForm1& f = fx.start();
        QCOMPARE(f.Label17->text(), QStringLiteral("abc"));
        QCOMPARE(checkedGroup(f), 1); // abc's own file has no "project"
        f.move(3, 4);

        QTest::mouseClick(f.Button2, Qt::LeftButton);
        QCOMPARE(fx.read(fx.sysIni(), QStringLiteral("user"), QStringLiteral("id")),
                 QStringLiteral("默认"));
        QCOMPARE(f.Label17->text(), QStringLiteral("默认"));
        QCOMPARE(qb::accountState().currentSettingsFile, fx.sysIni());
        QCOMPARE(checkedGroup(f), 2);
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/var"));
        QCOMPARE(f.Ed[1]->text(), QStringLiteral("var"));
        QVERIFY(f.pos() != QPoint(3, 4)); // centred again
    }

    void groupSwitchStoresGroupAndChangedRowsOnly() {
        Fixture fx;
        TForm1& f = fx.start();
        f.show();
        qb::WriteSetting(fx.sysIni(), kFolders, QStringLiteral("41"), QStringLiteral("/srv/a"));
        qb::WriteSetting(fx.sysIni(), kFolders, QStringLiteral("43"), QString());

        QTest::mouseClick(f.RadioButton[3], Qt::LeftButton);
        QCOMPARE(checkedGroup(f), 3);
        QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("project")), QStringLiteral("3"));
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/srv/a"));
        QCOMPARE(f.Ed[1]->text(), QStringLiteral("a"));
        QCOMPARE(f.Edit[3]->text(), QString()); // present and empty: not the default
        QCOMPARE(f.Ed[3]->text(), QString());
        QCOMPARE(f.Edit[2]->text(), QStringLiteral("/"));
        // Rows that already showed "/" were left alone, so their keys stay unwritten.
        QCOMPARE(fx.read(fx.sysIni(), kFolders, QStringLiteral("42")), QStringLiteral("<missing>"));
        QCOMPARE(fx.read(fx.sysIni(), kFolders, QStringLiteral("41")), QStringLiteral("/srv/a"));

        // The current group again: nothing happens at all (a write would fail).
        makeReadOnly(fx.sysIni());
        QTest::mouseClick(f.RadioButton[3], Qt::LeftButton);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QFile::setPermissions(fx.sysIni(), QFile::ReadOwner | QFile::WriteOwner);

        // Back to group 1: the changed rows are written back under group 1's keys.
        QTest::mouseClick(f.RadioButton[1], Qt::LeftButton);
        QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("project")), QStringLiteral("1"));
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/"));
        QCOMPARE(f.Edit[3]->text(), QStringLiteral("/"));
        QCOMPARE(fx.read(fx.sysIni(), kFolders, QStringLiteral("41")), QStringLiteral("/srv/a"));
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void groupRenameWithOkCancelAndEmptyText() {
        Fixture fx;
        TForm1& f = fx.start();
        f.show();

        fx.dialogs.answer = QStringLiteral("工作 Work");
        QTest::mousePress(f.RadioButton[4], Qt::RightButton);
        QCOMPARE(fx.dialogs.asks.size(), 1);
        QCOMPARE(fx.dialogs.asks[0].title, QStringLiteral("设置文件夹分组名"));
        QCOMPARE(fx.dialogs.asks[0].prompt, QStringLiteral("Settings folder group name"));
        QCOMPARE(fx.dialogs.asks[0].initial, QStringLiteral("4"));
        QCOMPARE(fx.dialogs.asks[0].maxLength, 255);
        QCOMPARE(f.RadioButton[4]->text(), QStringLiteral("工作 Work"));
        QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("name4")),
                 QStringLiteral("工作 Work"));
        QCOMPARE(checkedGroup(f), 1); // a right press switches nothing

        // Cancel keeps the caption and still stores it.
        fx.dialogs.confirm = false;
        QTest::mousePress(f.RadioButton[6], Qt::RightButton);
        QCOMPARE(f.RadioButton[6]->text(), QStringLiteral("6"));
        QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("name6")), QStringLiteral("6"));

        // An empty name is kept as such, also by the next load.
        fx.dialogs.confirm = true;
        fx.dialogs.answer = QString();
        QTest::mousePress(f.RadioButton[2], Qt::RightButton);
        QCOMPARE(f.RadioButton[2]->text(), QString());
        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QCOMPARE(f.RadioButton[2]->text(), QString());
        QCOMPARE(f.RadioButton[4]->text(), QStringLiteral("工作 Work"));

        // Left and middle presses never ask.
        const auto asked = fx.dialogs.asks.size();
        QTest::mousePress(f.RadioButton[5], Qt::MiddleButton);
        QTest::mouseRelease(f.RadioButton[5], Qt::MiddleButton);
        QTest::mouseClick(f.RadioButton[5], Qt::LeftButton);
        QCOMPARE(fx.dialogs.asks.size(), asked);
        QCOMPARE(checkedGroup(f), 5);
    }

    void modeAndPolicyChoicesSurviveARestart() {
        Fixture fx;
        {
            TForm1& f = fx.start();
            f.show();
            QTest::mouseClick(f.Move, Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("operate")),
                     QStringLiteral("FileMove"));
            QTest::mouseClick(f.RadioButton[15], Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("thesame")),
                     QStringLiteral("FileReplaceAoto"));
            QTest::mouseClick(f.RadioButton[11], Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("show")), QStringLiteral("no"));
            QTest::mouseClick(f.Set, Qt::LeftButton);
            QTest::mouseClick(f.RadioButton[13], Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("operate")),
                     QStringLiteral("Set"));
            QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("thesame")),
                     QStringLiteral("FileRename"));
        }
        TForm1& again = fx.start();
        QVERIFY(again.Set->isChecked() && again.RadioButton[13]->isChecked());
        QVERIFY(again.RadioButton[11]->isChecked());
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    // Every choice button against its stored spelling, both ways: a file holding the
    // spelling checks exactly that button of its choice, and a click on the button
    // writes exactly that spelling. Existing files rely on them, "FileReplaceAoto"
    // included.
    void everyChoiceMatchesItsStoredSpelling() {
        for (const StoredChoice& c : kStoredChoices) {
            const QString key = QString::fromLatin1(c.key);
            const QString value = QString::fromLatin1(c.value);
            Fixture fx;
            putFile(fx.sysIni(),
                    QStringLiteral("[方案]\r\n") + key + u'=' + value + QStringLiteral("\r\n"));
            TForm1& f = fx.start();
            f.show();
            QRadioButton* sibling = nullptr;
            const char* siblingValue = nullptr;
            for (const StoredChoice& other : kStoredChoices) {
                if (qstrcmp(other.key, c.key) != 0) continue;
                auto* b = f.findChild<QRadioButton*>(QLatin1String(other.button));
                QVERIFY(b);
                const bool self = qstrcmp(other.button, c.button) == 0;
                QVERIFY2(b->isChecked() == self, other.button);
                if (!self && !sibling) {
                    sibling = b;
                    siblingValue = other.value;
                }
            }
            QTest::mouseClick(sibling, Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, key), QString::fromLatin1(siblingValue));
            QTest::mouseClick(f.findChild<QRadioButton*>(QLatin1String(c.button)), Qt::LeftButton);
            QCOMPARE(fx.read(fx.sysIni(), kScheme, key), value);
            QVERIFY(fx.dialogs.errors.isEmpty());
        }
    }

    void switchingAccountsCarriesOverUnknownValuesOnly() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[方案]\r\noperate=FileMove\r\n"));
        TForm1& f = fx.start();
        QVERIFY(f.Move->isChecked());
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=b\r\n"));
        const QString account = fx.path(QStringLiteral("user/userb.ini"));
        putFile(account, QStringLiteral("[方案]\r\noperate=bogus\r\nthesame=FileRename\r\n"));
        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QVERIFY(f.Move->isChecked()); // carried over, not written
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("operate")), QStringLiteral("bogus"));
        QVERIFY(f.RadioButton[13]->isChecked());

        // A missing key is restored from its default, and written.
        putFile(account, QString());
        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QVERIFY(f.Copy->isChecked() && f.RadioButton[14]->isChecked());
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("operate")), QStringLiteral("FileCopy"));
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("thesame")),
                 QStringLiteral("FileReplace"));
    }
};

QTEST_MAIN(TestMainWinLoad)
#include "tst_mainwin_load.moc"
