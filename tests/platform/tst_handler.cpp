#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"

#include <QCheckBox>
#include <QtTest>

namespace {} // namespace

class TestHandler : public QObject {
    Q_OBJECT
    qb::FakeDialogs rec;

private slots:
    void init() {
        rec.errors.clear();
        qb::setDialogs(&rec);
    }
    void cleanup() { qb::setDialogs(nullptr); }

    void errorBoxAppliesFullStopRule() {
        QCOMPARE(qb::errorBoxText(QStringLiteral("Unable to write to /a/sys.ini")),
                 QStringLiteral("Unable to write to /a/sys.ini."));
        QCOMPARE(qb::errorBoxText(QStringLiteral("done!")), QStringLiteral("done!"));
        QCOMPARE(qb::errorBoxText(QStringLiteral("trailing ")), QStringLiteral("trailing "));
        QCOMPARE(qb::errorBoxText(QStringLiteral("程序已运行")), QStringLiteral("程序已运行."));
        QCOMPARE(qb::errorBoxText(QString()), QString());
    }

    // A box beside the board: never over it, whole on the monitor.
    void boxBesideTheBoard_data() {
        QTest::addColumn<QRect>("board");
        QTest::addColumn<QRect>("avail");
        QTest::addColumn<QRect>("box");
        const QRect avail(0, 0, 1600, 1000);
        QTest::newRow("left edge") << QRect(0, 100, 246, 716) << avail << QRect(258, 307, 500, 300);
        QTest::newRow("centred") << QRect(677, 142, 246, 716) << avail << QRect(935, 349, 500, 300);
        QTest::newRow("no room right")
            << QRect(1300, 0, 246, 716) << avail << QRect(788, 207, 500, 300);
        QTest::newRow("second monitor, low")
            << QRect(1600, 700, 246, 716) << QRect(1600, 0, 1280, 1024)
            << QRect(1858, 724, 500, 300);
        QTest::newRow("hidden") << QRect(-246, 100, 246, 716) << avail << QRect(550, 350, 500, 300);
        QTest::newRow("monitor too narrow")
            << QRect(0, 0, 246, 500) << QRect(0, 0, 600, 500) << QRect(100, 99, 500, 300);
    }
    void boxBesideTheBoard() {
        QFETCH(QRect, board);
        QFETCH(QRect, avail);
        QFETCH(QRect, box);
        QCOMPARE(qb::besideBoard(board, box.size(), avail), box);
    }

    // A window manager's box goes beside a board in sight where its monitor has room,
    // else it stays where it was.
    void boxMovesBesideTheBoardOnlyWithRoom() {
        QWidget board(nullptr, Qt::Window | Qt::FramelessWindowHint);
        board.setGeometry(517, 50, 246, 700);
        board.show();
        QWidget box(nullptr, Qt::Dialog);
        box.resize(420, 200);
        QVERIFY(qb::moveBesideBoard(&box, &board));
        QVERIFY(!box.frameGeometry().intersects(board.frameGeometry()));
        QVERIFY(QRect(0, 0, 1280, 800).contains(box.frameGeometry()));
        const QPoint untouched(5, 5);
        box.move(untouched);
        board.setGeometry(300, 50, 700, 700); // too little room on either side
        QVERIFY(!qb::moveBesideBoard(&box, &board));
        board.move(-700, 50); // docked beyond the edge
        QVERIFY(!qb::moveBesideBoard(&box, &board));
        board.hide();
        QVERIFY(!qb::moveBesideBoard(&box, &board));
        QCOMPARE(box.pos(), untouched);
    }

    // A desktop that puts the box over the board anyway (it centres it) has the board
    // make room, once; a box left where it was placed asks nothing.
    void boxPutOverTheBoardAsksForRoom() {
        QWidget board(nullptr, Qt::Window | Qt::X11BypassWindowManagerHint);
        board.setGeometry(600, 100, 246, 700);
        board.show();
        QList<QRect> asked;
        qb::setMakeRoomForBoxes([&](QWidget* main, QRect box) {
            QCOMPARE(main, &board);
            asked << box;
        });
        const auto reset = qScopeGuard([] { qb::setMakeRoomForBoxes({}); });
        QWidget box(nullptr, Qt::Dialog);
        box.resize(300, 200);
        QVERIFY(qb::placeBesideMainWindow(&box, &board));
        box.show();
        QTest::qWait(50);
        QVERIFY2(asked.isEmpty(), "placed beside the board");
        box.move(650, 300); // where such a desktop puts it
        QTRY_COMPARE(asked.size(), 1);
        QVERIFY(asked.front().intersects(board.frameGeometry()));
        board.move(0, 100); // room made: the box stays where it is
        box.move(651, 300);
        QTest::qWait(50);
        QCOMPARE(asked.size(), 1);
    }

    void userHandlerErrorIsShownAndSwallowed() {
        qb::runHandler(nullptr,
                       [] { throw qb::SettingsError(QStringLiteral("Unable to write to /x")); });
        qb::runHandler(nullptr, [] { throw 42; });
        QCOMPARE(rec.errors, QStringList({QStringLiteral("Unable to write to /x."), QString()}));
    }

    // A handler set off by program code passes its error back to that code, which
    // stops there; the error is shown once, by the outermost user handler.
    void errorOfSetOffHandlerEndsTheProgramCode() {
        QCheckBox box;
        QObject::connect(&box, &QCheckBox::toggled, [&](bool on) {
            if (on) qb::runHandler(&box, [] { throw std::runtime_error("boom"); });
        });
        int stepsAfter = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] { box.setChecked(true); });
            ++stepsAfter;
        });
        QCOMPARE(stepsAfter, 0);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("boom.")}));
        QVERIFY(box.isChecked());
    }

    // A change handler that shows its own errors lets the program code go on.
    void shownErrorDoesNotEndTheProgramCode() {
        QCheckBox box;
        QObject::connect(&box, &QCheckBox::toggled, [&](bool) {
            qb::runHandlerShowingErrors(&box, [] { throw std::runtime_error("row"); });
        });
        int steps = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] { box.setChecked(true); });
            ++steps;
            qb::propagateFrom([&] { box.setChecked(false); });
            ++steps;
        });
        QCOMPARE(steps, 2);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("row."), QStringLiteral("row.")}));
    }

    // A user handler run from a modal loop opened inside program code is a user
    // event again: its error is shown, not handed to the code that opened the box.
    void modalScopeMakesNestedHandlersUserEvents() {
        int stepsAfter = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] {
                qb::ModalScope modal;
                qb::runHandler(nullptr, [] { throw std::runtime_error("inside"); });
            });
            ++stepsAfter;
        });
        QCOMPARE(stepsAfter, 1);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("inside.")}));
    }
};

QTEST_MAIN(TestHandler)
#include "tst_handler.moc"
