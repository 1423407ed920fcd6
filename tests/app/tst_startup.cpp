// The wait for the main window's first paint that start-up makes before the
// other windows: it ends once painted, at the time limit, or when the program is
// asked to end meanwhile.
#include "app/Startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

class Counted final : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void endsOncePainted() {
        Counted window;
        window.resize(200, 100);
        window.show();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(qb::waitForFirstPaint(window, 5000));
        QCOMPARE(window.paints, 1);
        QVERIFY(clock.elapsed() < 4000);
    }

    void hiddenWindowIsNotWaitedFor() {
        Counted window;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(qb::waitForFirstPaint(window, 5000));
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(window.paints, 0);
    }

    // A window that is never painted is waited for as long as allowed.
    void unpaintedWindowUntilTheTimeLimit() {
        Counted window;
        window.setUpdatesEnabled(false);
        window.show();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(qb::waitForFirstPaint(window, 200));
        QVERIFY(clock.elapsed() >= 190);
        QCOMPARE(window.paints, 0);
    }

    // Closing the window ends the program, even before it has been painted.
    void anEndRequestedMeanwhileIsKept() {
        Counted window;
        window.setUpdatesEnabled(false);
        window.show();
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QVERIFY(!qb::waitForFirstPaint(window, 5000));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
