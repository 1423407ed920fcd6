// Edge docking on the main window itself: offscreen, with a fake cursor, the
// poll handlers called the way their timers would call them, and mouse moves
// delivered through the window system path so child controls take theirs.
#include "app/Unit1.h"

#include "platform/Timers.h"
#include "tests/support/OffscreenBoard.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

// Records every position the window is moved to.
class MoveLog final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Move) lefts << static_cast<QMoveEvent*>(e)->pos().x();
        return false;
    }
    QList<int> lefts;
};

} // namespace

class DockingWindow : public QObject {
    Q_OBJECT

    qb::test::OffscreenBoard world_;
    qb::FakeDialogs& dialogs_ = world_.dialogs;
    qb::FakeCursor& cursor_ = world_.cursor;
    TForm1* form_ = nullptr;
    int top_ = 0;

    int left() const { return form_->frameGeometry().x(); }
    int width() const { return form_->frameGeometry().width(); }
    bool armed() const { return qb::timerPeriod(*form_->Timer1) == 200; }
    QRadioButton* hideButton() const { return form_->RadioButton[11]; }
    QRadioButton* showButton() const { return form_->RadioButton[12]; }

    // Between the calls below the cursor rests where the running timers' own
    // ticks change nothing: inside the window at the edge, left of the centred
    // window, right of the reveal strip.
    static constexpr QPoint kNeutral{100, 400};

    void hideTick(int x) {
        cursor_.at = QPoint(x, 400);
        form_->Timer1Timer();
        cursor_.at = kNeutral;
    }
    void revealTick(int x, int y = 400) {
        cursor_.at = QPoint(x, y);
        form_->Timer2Timer();
        cursor_.at = kNeutral;
    }
    // A real mouse movement to `pos` in `w`'s coordinates, delivered to whatever
    // lies under it.
    void moveOver(QWidget* w, QPoint pos) {
        QTest::mouseMove(form_->windowHandle(), form_->mapFromGlobal(w->mapToGlobal(pos)));
    }
    // A point of the client area that no child control covers.
    QPoint background() const {
        const QPoint p(110, 200); // between the two column headings, above the board
        if (form_->Client->childAt(p)) qFatal("background point is covered");
        return p;
    }
    void hideNow() {
        hideTick(left() + width() + 1);
        QCOMPARE(left(), -width());
    }

private slots:
    void initTestCase() { QVERIFY(world_.dir.isValid()); }

    // A centred window with auto-hide chosen and both polls running, as after
    // the load of an account that stored "show" = "no".
    void init() {
        form_ = new TForm1;
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
        form_->move(518, 43);
        top_ = form_->frameGeometry().y();
        qb::setTimerPeriod(*form_->Timer1, 200);
        qb::setTimerPeriod(*form_->Timer2, 100);
        hideButton()->setChecked(true);
        cursor_.at = kNeutral;
    }
    void cleanup() {
        QVERIFY2(dialogs_.shown() == 0, qPrintable(dialogs_.all()));
        QCOMPARE(form_->frameGeometry().y(), top_); // docking never moves vertically
        delete form_;
        form_ = nullptr;
    }

    void hidesOnePixelPastTheRightEdge() {
        QCOMPARE(width(), TForm1::kClientWidth + 2 * TForm1::kBorder);
        hideTick(518 + width());
        QCOMPARE(left(), 518);
        QVERIFY(armed());
        hideTick(518 + width() + 1);
        QCOMPARE(left(), -width());
        QCOMPARE(qb::timerPeriod(*form_->Timer1), 0);
    }

    void revealsLeftOfTen_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<bool>("reveals");
        QTest::newRow("10") << 10 << false;
        QTest::newRow("9") << 9 << true;
        QTest::newRow("0") << 0 << true;
        QTest::newRow("monitor on the left") << -1280 << true;
    }
    void revealsLeftOfTen() {
        QFETCH(int, x);
        QFETCH(bool, reveals);
        hideNow();
        for (int y : {0, 400, 799})
            revealTick(x, y);
        QCOMPARE(left(), reveals ? 0 : -width());
        QVERIFY(!armed()); // shown, not armed
    }

    void revealMovesCentredWindowStraightToZero() {
        MoveLog log;
        form_->installEventFilter(&log);
        hideTick(700); // left of the right edge: stays
        revealTick(300);
        QCOMPARE(left(), 518);
        revealTick(9);
        for (int i = 0; i < 5; ++i)
            revealTick(0); // resting at the edge
        QCOMPARE(left(), 0);
        QCOMPARE(log.lefts, QList<int>{0});
        QVERIFY(armed());
        form_->removeEventFilter(&log);
    }

    // After a reveal the window stays however far the cursor travels over child
    // controls; the background re-arms it.
    void rearmsOnlyOverTheBackground() {
        hideNow();
        revealTick(3);
        QVERIFY(!armed());
        QWidget* children[] = {form_->Edit[5],   form_->Ed[5],       form_->Panel1,
                               form_->Button3,   form_->Label18,     form_->GroupBox2,
                               form_->GroupBox1, hideButton(),       form_->Labeltip,
                               form_->Label17,   form_->CaptionStrip};
        for (QWidget* w : children) {
            moveOver(w, QPoint(3, 3));
            moveOver(w, w->rect().center());
        }
        QVERIFY(!armed());
        QCOMPARE(left(), 0);

        moveOver(form_->Client, background());
        QVERIFY(armed());
        QCOMPARE(left(), 0);
        hideTick(width() + 1);
        QCOMPARE(left(), -width());
    }

    void rearmActivatesOverAnotherActiveWindow() {
        QWidget other;
        other.setGeometry(600, 100, 200, 200);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        moveOver(form_->Client, background());
        QTRY_VERIFY(form_->isActiveWindow());
        QCOMPARE(left(), 0); // the centred window came to the edge
    }

    // A movement over the background while armed must not restart the hide poll:
    // its tick rhythm goes on.
    void rearmKeepsTheHidePollRhythm() {
        int ticks = 0;
        connect(form_->Timer1, &QTimer::timeout, this, [&ticks] { ++ticks; });
        QTest::qWait(120);
        const int remaining = form_->Timer1->remainingTime();
        const int ticksBefore = ticks;
        QVERIFY(remaining < 150);
        for (int i = 0; i < 3; ++i)
            moveOver(form_->Client, background() + QPoint(i, 0));
        form_->FormMouseMove();
        QVERIFY(armed());
        QCOMPARE(left(), 0);
        // A restart would put the next tick a whole period away again.
        if (ticks == ticksBefore)
            QVERIFY2(form_->Timer1->remainingTime() <= remaining,
                     qPrintable(QString::number(form_->Timer1->remainingTime())));
        disconnect(form_->Timer1, &QTimer::timeout, this, nullptr);
    }

    void turningOnWhileThePollRuns() {
        showButton()->setChecked(true);
        hideTick(5000);
        QCOMPARE(left(), 518);
        const int id = form_->Timer1->timerId();
        hideButton()->setChecked(true);
        QCOMPARE(left(), 518); // turning on moves nothing
        QCOMPARE(form_->Timer1->timerId(), id);
        hideTick(5000);
        QCOMPARE(left(), -width());
    }

    void turningOnWhileThePollIsStopped() {
        hideNow();
        revealTick(0);
        showButton()->setChecked(true);
        QCOMPARE(left(), 0); // off leaves the window where it stands
        hideButton()->setChecked(true);
        QCOMPARE(left(), 0);
        QVERIFY(!armed()); // hiding waits for the next re-arm
        moveOver(form_->Client, background());
        QVERIFY(armed());
    }

    // With "显示窗口" checked, or neither button (a fresh window before the
    // load), nothing moves the window and nothing activates it.
    void offMovesNothing_data() {
        QTest::addColumn<bool>("neither");
        QTest::newRow("显示窗口") << false;
        QTest::newRow("neither checked") << true;
    }
    void offMovesNothing() {
        QFETCH(bool, neither);
        if (neither) {
            delete form_;
            form_ = new TForm1;
            form_->show();
            QVERIFY(QTest::qWaitForWindowExposed(form_));
            form_->move(518, 43);
            qb::setTimerPeriod(*form_->Timer1, 200);
            QVERIFY(!hideButton()->isChecked() && !showButton()->isChecked());
        } else {
            showButton()->setChecked(true);
        }
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        MoveLog log;
        form_->installEventFilter(&log);
        for (int x : {-50, 0, 9, 5000}) {
            hideTick(x);
            revealTick(x);
        }
        moveOver(form_->Client, background());
        QTest::qWait(50);
        QCOMPARE(log.lefts, QList<int>{});
        QVERIFY(!form_->isActiveWindow());
        QVERIFY(armed());
        form_->removeEventFilter(&log);
    }

    // One cursor read per tick and nothing else: the polls run ten and five
    // times a second for as long as the program runs.
    void oneCursorReadPerTick() {
        cursor_.reads = 0;
        for (int i = 0; i < 10; ++i) {
            form_->Timer1Timer();
            form_->Timer2Timer();
        }
        QCOMPARE(cursor_.reads, 20);
    }
};

QTEST_MAIN(DockingWindow)
#include "tst_docking_window.moc"
