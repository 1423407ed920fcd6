// Boxes and input dialogs of the program stand above the main window, which is a
// dock window kept above everything, and take the keyboard focus: the real
// binary under Xvfb and openbox, the stacking as the window manager reports it.
#include "tests/support/E2e.h"

#include <QFile>
#include <QTest>

using namespace qb::e2e;

namespace {

const QString kAppTitle = QStringLiteral(" QuillbeckV9.6");

} // namespace

class E2eBoxes : public QObject {
    Q_OBJECT

    Desktop desk;

    // Waits for a window of `app` titled `title`, then checks that the window
    // manager stacks it above `main` and gives it the focus.
    std::optional<unsigned long> expectBoxAbove(Program& app, const QString& title,
                                                unsigned long main) {
        QString err;
        const auto box = app.waitForWindow(title, 15000, &err);
        if (!box) {
            QTest::qFail(qPrintable(err), __FILE__, __LINE__);
            return std::nullopt;
        }
        QList<unsigned long> order;
        const bool above = waitUntil(
            [&] {
                order = desk.stacking();
                return order.indexOf(*box) > order.indexOf(main) && order.contains(main);
            },
            5000, 50);
        if (!above) {
            QTest::qFail(qPrintable(QStringLiteral("\"%1\" (0x%2) is not above the main window "
                                                   "(0x%3) in the stacking order %4")
                                        .arg(title)
                                        .arg(*box, 0, 16)
                                        .arg(main, 0, 16)
                                        .arg(QString::number(order.indexOf(*box)) + u'/' +
                                             QString::number(order.indexOf(main)))),
                         __FILE__, __LINE__);
            return std::nullopt;
        }
        if (!waitUntil([&] { return desk.activeWindow() == *box; }, 5000, 50)) {
            QTest::qFail(qPrintable(QStringLiteral("\"%1\" has no focus (active: 0x%2)")
                                        .arg(title)
                                        .arg(desk.activeWindow(), 0, 16)),
                         __FILE__, __LINE__);
            return std::nullopt;
        }
        return box;
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }

    void refusedWriteErrorBoxAndRenameDialogStandAbove() {
        Sandbox box;
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        const QString sys = box.path(QStringLiteral("sys.ini"));
        QVERIFY(waitUntil([&] { return QFile::exists(sys); }, 5000));

        // The rename dialog of a group, asked for by a right press.
        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton2")), 3));
        const auto rename = expectBoxAbove(app, QStringLiteral("设置文件夹分组名"), win->info.id);
        if (!rename) return;
        QVERIFY(desk.key(*rename, QStringLiteral("Escape")));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*rename); }, 5000));

        // A group switch whose write is refused shows the error box.
        QVERIFY(QFile::setPermissions(sys, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton3"))));
        const auto error = expectBoxAbove(app, kAppTitle, win->info.id);
        if (!error) return;
        QVERIFY(desk.key(*error, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*error); }, 5000));
        QVERIFY(app.isRunning());
    }

    void secondStartBoxStandsAboveWithTheFocus() {
        Sandbox box;
        Program first(desk, box);
        QString err;
        const auto win = first.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));
        sleepMs(300);

        Program second(desk, box);
        QVERIFY2(second.start(&err), qPrintable(err));
        const auto refused = expectBoxAbove(second, kAppTitle, win->info.id);
        if (!refused) return;
        QVERIFY(desk.key(*refused, QStringLiteral("Return")));
        QVERIFY2(second.waitForExit(10000), "the refused instance did not end after Enter");
    }
};

QTEST_GUILESS_MAIN(E2eBoxes)
#include "tst_e2e_boxes.moc"
