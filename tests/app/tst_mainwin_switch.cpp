// Switching accounts: after any load the board shows only the values of the
// account the window names, also when the stored group is no group at all or a
// refused write ends the load early; and setting a field to its own text changes
// nothing, so long paths keep showing their beginning.
#include "tests/support/FakeOpener.h"
#include "tests/support/MainWinFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace mw;

namespace {

const QString kScheme = QStringLiteral("方案");
const QString kFolders = QStringLiteral("我的文件夹");

// The default account on group 3, every row showing a folder of its own that
// exists, and its groups named: a board that must never show under another name.
TForm1& startOnGroup3(Fixture& fx, QTemporaryDir& folders) {
    QString text = QStringLiteral("[方案]\r\nproject=3\r\nname3=Old\r\n[我的文件夹]\r\n");
    for (int r = 1; r <= 20; ++r) {
        const QString dir = folders.filePath(QStringLiteral("old%1").arg(r));
        QDir().mkpath(dir);
        text += QString::number(40 + r) + u'=' + dir + QStringLiteral("\r\n");
    }
    putFile(fx.sysIni(), text);
    TForm1& f = fx.start();
    if (checkedGroup(f) != 3 || !fx.dialogs.errors.isEmpty()) qFatal("group 3 not loaded");
    return f;
}

void login(TForm1& f, const QString& account) {
    qb::chooseAccount(account);
    qb::runHandler(&f, [&] { f.LoadAccount(); });
}

// No field, caption or opened folder holds anything of the old board.
void verifyNothingOld(const TForm1& f, const qb::FakeOpener& opener) {
    for (int r = 1; r <= 20; ++r) {
        QVERIFY2(!f.Edit[r]->text().contains(QStringLiteral("old")), qPrintable(f.Edit[r]->text()));
        QVERIFY2(!f.Ed[r]->text().contains(QStringLiteral("old")), qPrintable(f.Ed[r]->text()));
    }
    for (int g = 1; g <= 10; ++g)
        QVERIFY(f.RadioButton[g]->text() != QStringLiteral("Old"));
    for (const QString& opened : opener.folders)
        QVERIFY2(!opened.contains(QStringLiteral("old")), qPrintable(opened));
}

} // namespace

class TestMainWinSwitch : public QObject {
    Q_OBJECT

private slots:
    // A "project" naming no group reads as group 1, like a missing key: the switch
    // to group 1 stores "1" when it runs, and writes nothing when group 1 already shows.
    void storedGroupOutsideTheTenReadsAsGroup1_data() {
        QTest::addColumn<QString>("project");
        for (const char* v : {"0", "12", "abc", "01", "", "-1"})
            QTest::newRow(*v ? v : "empty") << QString::fromLatin1(v);
    }
    void storedGroupOutsideTheTenReadsAsGroup1() {
        QFETCH(QString, project);
        Fixture fx;
        QTemporaryDir folders;
        qb::ScopedFakeOpener opener;
        TForm1& f = startOnGroup3(fx, folders);
        f.show();
        const QString account = fx.path(QStringLiteral("user/userb.ini"));
        putFile(account, QStringLiteral("[方案]\r\nproject=") + project +
                             QStringLiteral("\r\n[我的文件夹]\r\n1=/srv/b1\r\n"));

        login(f, QStringLiteral("b"));
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(f.Label17->text(), QStringLiteral("b"));
        QCOMPARE(checkedGroup(f), 1);
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/srv/b1"));
        QCOMPARE(f.Ed[1]->text(), QStringLiteral("b1"));
        for (int r = 2; r <= 20; ++r)
            QCOMPARE(f.Edit[r]->text(), QStringLiteral("/"));
        QCOMPARE(fx.read(account, kScheme, QStringLiteral("project")), QStringLiteral("1"));
        QCOMPARE(fx.read(account, kFolders, QStringLiteral("2")), QStringLiteral("/"));
        // Nothing of the old account's group went into b's file.
        QCOMPARE(fx.read(account, kFolders, QStringLiteral("41")), QStringLiteral("<missing>"));

        QTest::mouseClick(f.Edit[7], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(opener.fake.folders, QStringList{QStringLiteral("/")});
        verifyNothingOld(f, opener.fake);

        // Group 1 already showing: the odd value is read, not rewritten.
        qb::WriteSetting(account, kScheme, QStringLiteral("project"), project);
        const QByteArray before = bytesOf(account);
        login(f, QStringLiteral("b"));
        QCOMPARE(checkedGroup(f), 1);
        QCOMPARE(bytesOf(account), before);
    }

    // A login whose account file refuses writes ends at the first handler that
    // writes. The board keeps what the load set, loses what it did not reach, and
    // a click opens nothing of the old account.
    void refusedLoginLeavesNothingOfThePreviousAccount_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("modeShown"); // the step that failed checked its button
        QTest::newRow("mode write refused") << QStringLiteral("operate=FileMove\r\n") << true;
        QTest::newRow("group write refused") << QStringLiteral("project=2\r\n") << false;
    }
    void refusedLoginLeavesNothingOfThePreviousAccount() {
        QFETCH(QString, stored);
        QFETCH(bool, modeShown);
        Fixture fx;
        QTemporaryDir folders;
        qb::ScopedFakeOpener opener;
        TForm1& f = startOnGroup3(fx, folders);
        f.show();
        const QString account = fx.path(QStringLiteral("user/userb.ini"));
        putFile(account, QStringLiteral("[方案]\r\n") + stored);
        makeReadOnly(account);
        const QByteArray before = bytesOf(account);

        login(f, QStringLiteral("b"));
        QCOMPARE(fx.dialogs.errors,
                 QStringList{QStringLiteral("Unable to write to ") + account + u'.'});
        QCOMPARE(f.Label17->text(), QStringLiteral("b"));
        QCOMPARE(f.Move->isChecked(), modeShown);
        QCOMPARE(checkedGroup(f), 0);
        for (int r = 1; r <= 20; ++r) {
            QCOMPARE(f.Edit[r]->text(), QString());
            QCOMPARE(f.Ed[r]->text(), QString());
        }
        for (int g = 1; g <= 10; ++g)
            QCOMPARE(f.RadioButton[g]->text(), QString());
        if (modeShown) { // the policy and docking steps never ran for b
            for (int b = 11; b <= 15; ++b)
                QVERIFY(!f.RadioButton[b]->isChecked());
        }

        for (int r : {1, 20}) {
            QTest::mouseClick(f.Edit[r], Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(f.Labeltip->text(), QStringLiteral("目录不存在!"));
        }
        QVERIFY(opener.fake.folders.isEmpty());
        verifyNothingOld(f, opener.fake);
        QCOMPARE(bytesOf(account), before);
        QCOMPARE(fx.read(fx.sysIni(), kScheme, QStringLiteral("project")), QStringLiteral("3"));

        // Once the file can be written again, the next load restores the whole board.
        QFile::setPermissions(account, QFile::ReadOwner | QFile::WriteOwner);
        login(f, QStringLiteral("b"));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(checkedGroup(f), modeShown ? 1 : 2);
        QCOMPARE(f.Edit[1]->text(), QStringLiteral("/"));
        QCOMPARE(f.RadioButton[10]->text(), QStringLiteral("10"));
    }

    // Program code setting a field to its own text leaves the cursor where it is; a
    // new text shows its beginning, after the first load and after a reload alike.
    void longPathsShowTheirBeginningAfterEveryLoad() {
        Fixture fx;
        const QString deep =
            QStringLiteral("/srv/share/projects/2026/quarterly-reports/final/approved/signed");
        putFile(fx.sysIni(), QStringLiteral("[我的文件夹]\r\n4=") + deep + QStringLiteral("\r\n"));
        TForm1& f = fx.start();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.Edit[4]->fontMetrics().horizontalAdvance(deep) > f.Edit[4]->width());
        QCOMPARE(f.Edit[4]->text(), deep);
        QCOMPARE(f.Edit[4]->cursorPosition(), 0);

        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QCOMPARE(f.Edit[4]->cursorPosition(), 0);
        QCOMPARE(f.Ed[4]->cursorPosition(), 0);
        // What the field paints starts with the path's first character.
        QVERIFY(f.Edit[4]->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() <
                f.Edit[4]->width() / 4);

        f.Edit[4]->setCursorPosition(5);
        f.applyPathText(4, deep);
        f.setNameText(4, f.Ed[4]->text());
        QCOMPARE(f.Edit[4]->cursorPosition(), 5);
        QCOMPARE(f.Ed[4]->cursorPosition(), 0);
    }
};

QTEST_MAIN(TestMainWinSwitch)
#include "tst_mainwin_switch.moc"
