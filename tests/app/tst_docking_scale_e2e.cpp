// The real program on a scaled screen: Xvfb at 1600 x 1000 with the toolkit's
// scale factor 2, where the 716-pixel-tall window does not fit (500 logical
// pixels). The whole window stays on the screen, and a slot still opens its
// folder when clicked.
#include "tests/support/E2e.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace qb::e2e;

class DockingScaleE2e : public QObject {
    Q_OBJECT

    Desktop desk_;

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk_.start(&err, QSize(1600, 1000)), qPrintable(err));
        qputenv("QT_SCALE_FACTOR", "2");
    }
    void cleanupTestCase() { qunsetenv("QT_SCALE_FACTOR"); }

    void wholeWindowOnScreenAndSlotClickable() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString log = installFakeFileManager(box);
        const QString target = box.root() + "/target folder";
        QVERIFY(QDir().mkpath(target));
        QVERIFY(writeSetting(box.path("sys.ini"), "我的文件夹", "1", target));
        QVERIFY(writeSetting(box.path("sys.ini"), "方案", "show", "yes"));
        Program app(desk_, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        const QRect g = win->info.geometry; // device pixels
        QVERIFY2(QRect(0, 0, 1600, 1000).contains(g),
                 qPrintable(QStringLiteral("window at %1,%2 %3x%4")
                                .arg(g.x())
                                .arg(g.y())
                                .arg(g.width())
                                .arg(g.height())));
        QCOMPARE(g.height(), 1000); // as tall as the screen allows, no taller
        QVERIFY(g.width() >= 2 * (clientWidth + 2));

        // Row 1's path field, at twice its logical place below border and caption.
        const QRect edit1 = *controlRect(QStringLiteral("Edit1"));
        const QPoint logical = QPoint(1, 21) + edit1.center();
        QVERIFY(desk_.click(g.topLeft() + 2 * logical));
        QVERIFY2(waitUntil([&] { return QFileInfo::exists(log); }, 10000),
                 app.output().constData());
        QCOMPARE(bytesOf(log), QFile::encodeName(target) + '\n');
    }
};

QTEST_GUILESS_MAIN(DockingScaleE2e)
#include "tst_docking_scale_e2e.moc"
