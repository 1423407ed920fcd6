// Spring-loaded slots with a real drag: a GTK program drags a file onto a slot of
// the real program on Xvfb + openbox, rests there, goes on to a subfolder of the
// list that opened beside the board and lets go.
#include "tests/support/E2e.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace qb::e2e;

class SpringE2e : public QObject {
    Q_OBJECT

    Desktop desk_;

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk_.start(&err), qPrintable(err));
    }

    void aRestingDragOpensTheSubfoldersAndTheDropLandsInOne() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString slot = box.root() + QStringLiteral("/slot");
        for (const char* sub : {"Inbox", "Photos", ".cache"})
            QVERIFY(QDir().mkpath(slot + u'/' + QLatin1String(sub)));
        const QString file = box.root() + QStringLiteral("/report.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("quarterly\n");
        f.close();
        const QString sys = box.path(QStringLiteral("sys.ini"));
        const QString scheme = QStringLiteral("方案");
        QVERIFY(writeSetting(sys, scheme, QStringLiteral("operate"), QStringLiteral("FileCopy")));
        QVERIFY(writeSetting(sys, scheme, QStringLiteral("show"), QStringLiteral("yes")));
        QVERIFY(writeSetting(sys, QStringLiteral("我的文件夹"), QStringLiteral("5"), slot));
        box.setVariable(QStringLiteral("QT_LOGGING_RULES"),
                        QStringLiteral("quillbeck.drop.info=true"));
        Program app(desk_, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        DragSource source(desk_, QStringList{file});
        QVERIFY2(source.waitReady(&err), qPrintable(err));
        const QPoint onSlot = win->point(QStringLiteral("Edit5"));
        QVERIFY2(source.carryTo(onSlot, &err), qPrintable(err));
        QTest::qWait(1200); // resting: the list opens beside the board
        // Its first entry stands level with the slot, right of the board.
        const QRect slotRect = *controlRect(QStringLiteral("Edit5"));
        const QPoint firstEntry(win->info.geometry.right() + 60,
                                win->toScreen(slotRect.topLeft()).y() + 7);
        QVERIFY2(source.moveOn(firstEntry, &err), qPrintable(err));
        QTest::qWait(300);
        QVERIFY2(source.letGo(&err), qPrintable(err));

        const QString landed = slot + QStringLiteral("/Inbox/report.txt");
        const bool ok = waitUntil([&] { return QFile::exists(landed); }, 15000);
        QVERIFY2(ok, qPrintable(QString::fromUtf8(source.output() + app.output())));
        QVERIFY(!QFile::exists(slot + QStringLiteral("/report.txt")));
        QVERIFY(QFile::exists(file)); // a copy
        QVERIFY(app.isRunning());
    }
};

QTEST_GUILESS_MAIN(SpringE2e)
#include "tst_spring_e2e.moc"
