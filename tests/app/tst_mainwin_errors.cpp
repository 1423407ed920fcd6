// Refused writes: each failing handler shows one error box with the file's path
// and a full stop; a failing click handler set off by the load ends the load, a
// failing path field change ends only itself.
#include "tests/support/MainWinFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace mw;

namespace {

QString refused(const QString& file) {
    return QStringLiteral("Unable to write to ") + file + u'.';
}

} // namespace

class TestMainWinErrors : public QObject {
    Q_OBJECT

private slots:
    void readOnlySysIniStopsTheFirstLoadAtTheMode() {
        Fixture fx;
        putFile(fx.sysIni(), QString());
        makeReadOnly(fx.sysIni());
        TForm1& f = fx.start();

        QCOMPARE(fx.dialogs.errors, QStringList{refused(fx.sysIni())});
        QCOMPARE(f.Label17->text(), QStringLiteral("默认"));
        QVERIFY(f.Copy->isChecked());
        QVERIFY(!f.RadioButton[12]->isChecked());
        QCOMPARE(checkedGroup(f), 0);
        for (int r = 1; r <= 20; ++r)
            QCOMPARE(f.Edit[r]->text(), QString());
        for (int g = 1; g <= 10; ++g)
            QCOMPARE(f.RadioButton[g]->text(), QString());
        QCOMPARE(bytesOf(fx.sysIni()), QByteArray());
        // The creation handler ended with the load, after the timers were set.
        QVERIFY(f.Timer1->isActive() && f.Timer2->isActive());
    }

    void failingPathFieldsEachReportAndTheLoadGoesOn() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n"));
        const QString account = fx.path(QStringLiteral("user/userabc.ini"));
        TForm1& f = fx.start();
        QVERIFY(fx.dialogs.errors.isEmpty());

        // Someone else changed three paths and a group name; the file is now read-only.
        for (const char* key : {"1", "2", "3"})
            qb::WriteSetting(account, QStringLiteral("我的文件夹"), QLatin1String(key),
                             QStringLiteral("/data/") + QLatin1String(key));
        qb::WriteSetting(account, QStringLiteral("方案"), QStringLiteral("name2"),
                         QStringLiteral("Docs"));
        makeReadOnly(account);
        const QByteArray before = bytesOf(account);

        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QCOMPARE(fx.dialogs.errors, QStringList(3, refused(account)));
        for (int r = 1; r <= 3; ++r) {
            QCOMPARE(f.Edit[r]->text(), QStringLiteral("/data/") + QString::number(r));
            QCOMPARE(f.Ed[r]->text(), QStringLiteral("/")); // the handler ended before the name
        }
        QCOMPARE(f.RadioButton[2]->text(), QStringLiteral("Docs")); // the load reached its end
        QCOMPARE(bytesOf(account), before);
    }

    void failingGroupSwitchKeepsThePathsAndReportsOnce() {
        Fixture fx;
        TForm1& f = fx.start();
        f.show();
        qb::WriteSetting(fx.sysIni(), QStringLiteral("我的文件夹"), QStringLiteral("21"),
                         QStringLiteral("/elsewhere"));
        makeReadOnly(fx.sysIni());

        QTest::mouseClick(f.RadioButton[2], Qt::LeftButton);
        QCOMPARE(fx.dialogs.errors, QStringList{refused(fx.sysIni())});
        QCOMPARE(checkedGroup(f), 2);
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/"));

        // The rename changes the caption before its write fails.
        fx.dialogs.answer = QStringLiteral("X");
        QTest::mousePress(f.RadioButton[5], Qt::RightButton);
        QCOMPARE(f.RadioButton[5]->text(), QStringLiteral("X"));
        QCOMPARE(fx.dialogs.errors.size(), 2);

        // A failing mode write leaves the button checked; the program goes on.
        QTest::mouseClick(f.Move, Qt::LeftButton);
        QVERIFY(f.Move->isChecked());
        QCOMPARE(fx.dialogs.errors.size(), 3);
    }

    void refusedAccountChoiceDoesNotLoad() {
        Fixture fx;
        putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n"));
        TForm1& f = fx.start();
        f.show();
        makeReadOnly(fx.sysIni());
        QTest::mouseClick(f.Button2, Qt::LeftButton);
        QCOMPARE(fx.dialogs.errors, QStringList{refused(fx.sysIni())});
        QCOMPARE(f.Label17->text(), QStringLiteral("abc"));
        QCOMPARE(qb::accountState().currentAccount, QStringLiteral("abc"));
    }
};

QTEST_MAIN(TestMainWinErrors)
#include "tst_mainwin_errors.moc"
