// The docking rules on their own, against a window model whose hide poll behaves
// like the real timer: setting the period it already has changes nothing.
#include "dock/Rules.h"

#include <QTest>

using namespace qb::docking;

namespace {

class ModelWindow final : public Window {
public:
    bool autoHide() const override { return hideOn; }
    int left() const override { return x; }
    int top() const override { return y; }
    int width() const override { return w; }
    void setLeft(int nx) override {
        if (nx != x) ++moves;
        x = nx;
    }
    void moveTo(int nx, int ny) override {
        if (nx != x || ny != y) ++moves;
        x = nx;
        y = ny;
    }
    void activate() override { ++activations; }
    void setHidePeriod(int ms) override {
        if (ms == period) return;
        period = ms;
        if (ms > 0) ++restarts;
    }
    bool armed() const { return period == kHidePeriodMs; }

    bool hideOn = true;
    int x = 518;
    int y = 43;
    int w = 244;
    int period = kHidePeriodMs;
    int moves = 0;
    int activations = 0;
    int restarts = 0;
};

} // namespace

class DockingRules : public QObject {
    Q_OBJECT
private slots:
    void hideBoundary_data() {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("cursorX");
        QTest::addColumn<bool>("hides");
        QTest::newRow("on the right edge, centred") << 518 << 762 << false;
        QTest::newRow("one past the right edge, centred") << 518 << 763 << true;
        QTest::newRow("on the right edge at 0") << 0 << 244 << false;
        QTest::newRow("one past the right edge at 0") << 0 << 245 << true;
        QTest::newRow("left of the window") << 518 << 5 << false;
        QTest::newRow("far right") << 0 << 5000 << true;
    }
    void hideBoundary() {
        QFETCH(int, left);
        QFETCH(int, cursorX);
        QFETCH(bool, hides);
        ModelWindow m;
        m.x = left;
        hideTick(m, cursorX);
        QCOMPARE(m.x, hides ? -244 : left);
        QCOMPARE(m.period, hides ? 0 : kHidePeriodMs);
    }

    void revealBoundary_data() {
        QTest::addColumn<int>("cursorX");
        QTest::addColumn<bool>("reveals");
        QTest::newRow("x = 10") << 10 << false;
        QTest::newRow("x = 9") << 9 << true;
        QTest::newRow("x = 0") << 0 << true;
        QTest::newRow("x = -1") << -1 << true;
        QTest::newRow("monitor on the left") << -1700 << true;
        QTest::newRow("mid screen") << 640 << false;
    }
    void revealBoundary() {
        QFETCH(int, cursorX);
        QFETCH(bool, reveals);
        ModelWindow m;
        m.x = -244;
        m.period = 0;
        revealTick(m, cursorX);
        QCOMPARE(m.x, reveals ? 0 : -244);
        QCOMPARE(m.period, 0); // a reveal never re-arms
        QCOMPARE(m.activations, 0);
    }

    // Shown armed -> hidden -> shown not armed -> (cursor far right, no hide)
    // -> re-armed -> hidden again.
    void fullCycle() {
        ModelWindow m;
        hideTick(m, 900);
        QCOMPARE(m.x, -244);
        QVERIFY(!m.armed());

        revealTick(m, 3);
        QCOMPARE(m.x, 0);
        QCOMPARE(m.period, 0); // shown, not armed: no hide tick comes

        // Re-arm: activated, kept at 0, the poll runs again.
        rearm(m);
        QCOMPARE(m.activations, 1);
        QCOMPARE(m.x, 0);
        QVERIFY(m.armed());
        QCOMPARE(m.restarts, 1);

        hideTick(m, 244);
        QCOMPARE(m.x, 0);
        hideTick(m, 245);
        QCOMPARE(m.x, -244);
        QCOMPARE(m.period, 0);
    }

    void revealMovesCentredWindowWithoutHidingFirst() {
        ModelWindow m; // centred and armed, as after a load
        revealTick(m, 9);
        QCOMPARE(m.x, 0);
        QCOMPARE(m.moves, 1);
        QVERIFY(m.armed());
    }

    void rearmWhileArmedKeepsRhythm() {
        ModelWindow m;
        for (int i = 0; i < 5; ++i)
            rearm(m);
        QCOMPARE(m.restarts, 0);
        QCOMPARE(m.x, 0);
        QVERIFY(m.armed());
    }

    void autoHideOffDoesNothing() {
        ModelWindow m;
        m.hideOn = false;
        m.x = 300;
        hideTick(m, 5000);
        revealTick(m, -5);
        rearm(m);
        QCOMPARE(m.x, 300);
        QCOMPARE(m.moves, 0);
        QCOMPARE(m.activations, 0);
        QVERIFY(m.armed());
    }

    // Width is read from the window at the moment of the tick: a wider window
    // hides further out, so no strip of it stays on screen.
    void hidesByCurrentWidth() {
        ModelWindow m;
        m.x = 0;
        m.w = 300;
        hideTick(m, 300);
        QCOMPARE(m.x, 0);
        hideTick(m, 301);
        QCOMPARE(m.x, -300);
    }
};

QTEST_APPLESS_MAIN(DockingRules)
#include "tst_docking_rules.moc"
