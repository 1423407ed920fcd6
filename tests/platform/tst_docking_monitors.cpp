// Where the desktop's left edges are, which one a cursor touches and where a
// window coming back there stands, on layouts of one to three monitors.
#include "platform/Monitors.h"

#include <QTest>

using namespace qb::monitors;

namespace {

Monitor screen(int x, int y, int w, int h, int panelBelow = 0) {
    return Monitor{QRect(x, y, w, h), QRect(x, y, w, h - panelBelow)};
}

// A short monitor left of a taller primary, tops aligned.
const QList<Monitor> kShortLeft = {screen(0, 0, 1920, 1080), screen(-1024, 0, 1024, 600)};
// A second monitor right of the primary and lower.
const QList<Monitor> kLowerRight = {screen(0, 0, 1280, 800), screen(1280, 300, 1280, 1024)};

} // namespace

Q_DECLARE_METATYPE(QList<Monitor>)

class DockingMonitors : public QObject {
    Q_OBJECT
private slots:
    void exposedEdges_data() {
        QTest::addColumn<QList<Monitor>>("monitors");
        QTest::addColumn<QList<QRect>>("edges");
        QTest::newRow("one") << QList<Monitor>{screen(0, 0, 1280, 800)}
                             << QList<QRect>{QRect(0, 0, 1, 800)};
        QTest::newRow("short left of primary")
            << kShortLeft << QList<QRect>{QRect(0, 600, 1, 480), QRect(-1024, 0, 1, 600)};
        QTest::newRow("lower right of primary")
            << kLowerRight << QList<QRect>{QRect(0, 0, 1, 800), QRect(1280, 800, 1, 524)};
        QTest::newRow("one above the other")
            << QList<Monitor>{screen(0, 0, 1280, 800), screen(0, 800, 1280, 800)}
            << QList<QRect>{QRect(0, 0, 1, 800), QRect(0, 800, 1, 800)};
    }
    void exposedEdges() {
        QFETCH(QList<Monitor>, monitors);
        QFETCH(QList<QRect>, edges);
        QCOMPARE(exposedLeftEdges(monitors), edges);
    }

    void touchedEdge_data() {
        QTest::addColumn<QList<Monitor>>("monitors");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<int>("monitor");
        const QList<Monitor> one = {screen(0, 0, 1280, 800)};
        QTest::newRow("one, x = 9") << one << QPoint(9, 400) << 0;
        QTest::newRow("one, x = 10") << one << QPoint(10, 400) << -1;
        QTest::newRow("no monitors, x = 9") << QList<Monitor>{} << QPoint(9, 0) << 0;
        QTest::newRow("beyond the desktop") << one << QPoint(-1280, 900) << 0;
        QTest::newRow("short left, its edge") << kShortLeft << QPoint(-1024, 300) << 1;
        QTest::newRow("short left, primary edge below it") << kShortLeft << QPoint(3, 900) << 0;
        QTest::newRow("short left, between the two") << kShortLeft << QPoint(3, 300) << -1;
        QTest::newRow("short left, inside it") << kShortLeft << QPoint(-500, 300) << -1;
        QTest::newRow("lower right, below the primary") << kLowerRight << QPoint(1285, 1000) << 1;
        QTest::newRow("lower right, beside the primary") << kLowerRight << QPoint(1285, 500) << -1;
    }
    void touchedEdge() {
        QFETCH(QList<Monitor>, monitors);
        QFETCH(QPoint, cursor);
        QFETCH(int, monitor);
        QCOMPARE(edgeTouched(monitors, cursor, 10), qsizetype(monitor));
    }

    void comesBackWhole_data() {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("expected");
        // A 768-pixel monitor with a 32-pixel panel at the bottom: 736 usable.
        QTest::newRow("fits where it is") << 10 << 716 << 10;
        QTest::newRow("last fitting top") << 20 << 716 << 20;
        QTest::newRow("one pixel too low") << 21 << 716 << 20;
        QTest::newRow("far below") << 900 << 716 << 20;
        QTest::newRow("above the top") << -50 << 716 << 0;
        QTest::newRow("taller than the monitor") << 100 << 800 << 0;
    }
    void comesBackWhole() {
        QFETCH(int, top);
        QFETCH(int, height);
        QFETCH(int, expected);
        QCOMPARE(topWithin(screen(-1024, 0, 1024, 768, 32), top, height), expected);
    }

    // Entirely beyond the edge, and no further than device pixels make necessary.
    void hiddenExactlyBeyond_data() {
        QTest::addColumn<int>("edge");
        QTest::addColumn<double>("dpr");
        for (double dpr : {1.0, 1.25, 1.5, 1.75, 2.0, 3.0})
            for (int edge : {0, -1024})
                QTest::addRow("edge %d, scale %.2f", edge, dpr) << edge << dpr;
    }
    void hiddenExactlyBeyond() {
        QFETCH(int, edge);
        QFETCH(double, dpr);
        const int width = 246;
        const int left = hiddenLeft(edge, width, dpr);
        const auto device = [dpr](int v) { return qRound(v * dpr); };
        QVERIFY(device(left) + device(width) <= device(edge));
        QVERIFY(device(left + 1) + device(width) > device(edge));
        if (dpr == qRound(dpr)) QCOMPARE(left, edge - width);
    }

    void smallestHeightAndWindowsMonitor() {
        QCOMPARE(smallestAvailableHeight(kShortLeft), 600);
        QCOMPARE(smallestAvailableHeight({}), 0);
        QCOMPARE(monitorOf(kShortLeft, QRect(-300, 10, 246, 716)), qsizetype(1));
        QCOMPARE(monitorOf(kShortLeft, QRect(-100, 10, 246, 716)), qsizetype(0));
        QCOMPARE(monitorOf(kShortLeft, QRect(-5000, 10, 246, 716)), qsizetype(0)); // primary
        QCOMPARE(desktopLeft(kShortLeft), -1024);
    }
};

QTEST_APPLESS_MAIN(DockingMonitors)
#include "tst_docking_monitors.moc"
