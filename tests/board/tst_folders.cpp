// Opening a slot's folder through the board's controller with a recording opener:
// what counts as a folder, and failures that must not be shown as success.
#include "board/Folders.h"
#include "tests/support/FakeBoardView.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/Files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFolders : public QObject {
    Q_OBJECT

    struct Started {
        qb::test::FakeBoardView view;
        qb::Folders folders{view};
        qb::ScopedFakeOpener opener;
        QString status() const { return view.status; }
        // A click on row r's path field.
        void click(int r) { folders.openSlot(r); }
        void setPath(int r, const QString& path) { view.paths[r] = path; }
    };

private slots:
    void openFolderOnEachKindOfPath() {
        Started s;
        QTemporaryDir dir;
        const QString file = dir.path() + "/note.txt";
        qb::test::writeFile(file);

        s.setPath(3, dir.path());
        s.click(3);
        QCOMPARE(s.opener.fake.folders, QStringList{dir.path()});
        QCOMPARE(s.status(), QStringLiteral("打开指定目录!"));

        const QString notFolders[] = {file, QString(), dir.path() + "/gone",
                                      QStringLiteral("C:\\")};
        for (const QString& path : notFolders) {
            s.view.status.clear();
            s.setPath(4, path);
            s.click(4);
            QVERIFY2(s.status() == QStringLiteral("目录不存在!"), qPrintable(path));
        }
        QCOMPARE(s.opener.fake.folders.size(), 1); // none of them was handed over

        // A folder reached through a symbolic link is a folder.
        QVERIFY(QFile::link(dir.path(), dir.path() + "/link"));
        s.setPath(5, dir.path() + "/link");
        s.click(5);
        QCOMPARE(s.status(), QStringLiteral("打开指定目录!"));
    }

    void failuresAreNotShownAsSuccess() {
        Started s;
        QTemporaryDir dir;
        s.setPath(1, dir.path());
        s.setPath(2, dir.path());

        s.opener.fake.accept = false; // no launcher at all
        s.click(1);
        QCOMPARE(s.status(), QStringLiteral("目录打开失败!"));

        s.opener.fake.accept = true; // the launcher fails after the hand-over
        s.click(1);
        QCOMPARE(s.status(), QStringLiteral("打开指定目录!"));
        s.opener.fake.failPending();
        QCOMPARE(s.status(), QStringLiteral("目录打开失败!"));

        // A late failure never overwrites what a later operation reported...
        s.click(1);
        s.view.status = QStringLiteral("状态：复制成功！");
        s.opener.fake.failPending();
        QCOMPARE(s.status(), QStringLiteral("状态：复制成功！"));
        // ...nor the outcome of a later opening.
        s.click(1);
        s.click(2);
        s.opener.fake.failPending();
        QCOMPARE(s.status(), QStringLiteral("打开指定目录!"));
        s.opener.fake.failPending();
        QCOMPARE(s.status(), QStringLiteral("目录打开失败!"));
    }
};

QTEST_MAIN(TestFolders)
#include "tst_folders.moc"
