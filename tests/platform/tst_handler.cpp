#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"

#include <QCheckBox>
#include <QtTest>

#include <atomic>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// sway's IPC socket at $SWAYSOCK: takes one command, says it succeeded.
class FakeSway {
public:
    FakeSway() : path_(dir_.filePath(QStringLiteral("sway.sock")).toLocal8Bit()) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, path_.constData(), sizeof addr.sun_path);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 4);
        qputenv("SWAYSOCK", path_);
        thread_ = std::thread([this] {
            const int c = ::accept(fd_, nullptr, nullptr);
            char header[14] = {};
            quint32 size = 0;
            if (::recv(c, header, sizeof header, MSG_WAITALL) == sizeof header) {
                std::memcpy(&size, header + 6, sizeof size);
                command_.resize(size);
                ::recv(c, command_.data(), size, MSG_WAITALL);
                const QByteArray reply = "[{\"success\":true}]";
                size = quint32(reply.size());
                std::memcpy(header + 6, &size, sizeof size);
                ::send(c, QByteArray(header, sizeof header) + reply, sizeof header + size, 0);
            }
            ::close(c);
            done_ = true;
        });
    }
    ~FakeSway() {
        qunsetenv("SWAYSOCK");
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    // The command, once it came (the event loop runs meanwhile); empty without one.
    QByteArray command() {
        for (int ms = 0; !done_ && ms < 5000; ms += 10)
            QTest::qWait(10);
        return done_ ? command_ : QByteArray();
    }

private:
    QTemporaryDir dir_;
    QByteArray path_;
    int fd_ = -1;
    std::thread thread_;
    QByteArray command_;
    std::atomic<bool> done_ = false;
};

} // namespace

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

    // A box that sway shows on another monitor than the board's (it centres boxes
    // on the focused output) is put back where it was placed, once.
    void boxShownOnAnotherMonitorIsMovedBack() {
        QWidget board(nullptr, Qt::Window | Qt::X11BypassWindowManagerHint);
        board.setGeometry(100, 100, 246, 700);
        board.show();
        QWidget box(nullptr, Qt::Dialog);
        box.resize(300, 200);
        FakeSway sway;
        QVERIFY(qb::placeBesideMainWindow(&box, &board));
        const QPoint placed = box.pos();
        box.show();
        box.move(1300, 300); // the other monitor
        QCOMPARE(sway.command(), QStringLiteral("[id=%1] move absolute position %2 px %3 px")
                                     .arg(box.winId())
                                     .arg(placed.x())
                                     .arg(placed.y())
                                     .toUtf8());
        box.move(1400, 300); // left there by the desktop: not asked again
        QTest::qWait(50);
        QCOMPARE(box.pos(), QPoint(1400, 300));
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
