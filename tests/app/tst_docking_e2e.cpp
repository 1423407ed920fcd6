// Edge docking of the real program on a real window manager: Xvfb + openbox,
// the pointer driven by xdotool, the window read back with xwininfo.
#include "tests/support/E2e.h"

#include <QTest>

#include <memory>

using namespace qb::e2e;

namespace {

// Right of the centred window, on the 1280 x 800 screen.
constexpr QPoint kFarRight(1100, 400);
// A point of the client area no child control covers: between the two column
// headings, above the board.
constexpr QPoint kBackground(110, 200);

struct Run {
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<Program> app;
    unsigned long id = 0;
};

} // namespace

class DockingE2e : public QObject {
    Q_OBJECT

    Desktop desk_;

    // The program with "show" stored as given, its main window up, the pointer
    // resting inside the centred window.
    bool start(Run& run, const QString& show) {
        QString err;
        run.box = std::make_unique<Sandbox>();
        if (!run.box->isValid()) return fail(run.box->error());
        if (!writeSetting(run.box->path(QStringLiteral("sys.ini")), QStringLiteral("方案"),
                          QStringLiteral("show"), show, &err))
            return fail(err);
        desk_.mouseMove(QPoint(640, 400));
        run.app = std::make_unique<Program>(desk_, *run.box);
        const auto win = run.app->startToMainWindow(&err);
        if (!win) return fail(err + QString::fromLocal8Bit(run.app->output()));
        run.id = win->info.id;
        return true;
    }
    // A short stroke over the background, as a hand moves the pointer: a
    // pointer that lands on a window which has just slid in under it may have its
    // first motion swallowed by the toolkit, never the ones after.
    bool strokeOverBackground(const MainWindow& win) const {
        QStringList args;
        for (int dx : {0, 2, 4}) {
            const QPoint p = win.toScreen(kBackground + QPoint(dx, 0));
            args << QStringLiteral("mousemove") << QString::number(p.x()) << QString::number(p.y())
                 << QStringLiteral("sleep") << QStringLiteral("0.03");
        }
        return desk_.tool(QStringLiteral("xdotool"), args).ok();
    }
    bool fail(const QString& why) {
        qWarning("%s", qPrintable(why));
        return false;
    }

    QRect geometry(const Run& run) const {
        const auto info = desk_.windowInfo(run.id);
        return info ? info->geometry : QRect();
    }
    MainWindow window(const Run& run) const {
        MainWindow m;
        m.info.id = run.id;
        m.info.geometry = geometry(run);
        return m;
    }
    bool reachesLeft(const Run& run, int x, int timeoutMs = 3000) const {
        return waitUntil([&] { return geometry(run).x() == x; }, timeoutMs);
    }
    // The window keeps `x` for `ms` (several hide-poll periods).
    bool staysAt(const Run& run, int x, int ms = 800) const {
        bool moved = false;
        waitUntil([&] { return moved = geometry(run).x() != x; }, ms, 40);
        return !moved;
    }
    QString where(const Run& run) const {
        const QRect g = geometry(run);
        return QStringLiteral("window at %1,%2 %3x%4")
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height());
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk_.start(&err), qPrintable(err));
    }

    // Hidden to exactly x = -Width once the cursor is right of the window, back
    // at x = 0 from the left edge at any height, hidden again after the cursor
    // has passed over the background. The top never changes.
    void hidesAndComesBackAtAnyHeight() {
        Run run;
        QVERIFY(start(run, QStringLiteral("no")));
        const QRect first = geometry(run);
        QCOMPARE(first.x(), (1280 - first.width()) / 2);
        QVERIFY2(staysAt(run, first.x(), 500), qPrintable(where(run))); // cursor inside

        QVERIFY(desk_.mouseMove(kFarRight));
        QVERIFY2(reachesLeft(run, -first.width()), qPrintable(where(run)));
        for (int y : {0, 400, 799}) {
            QVERIFY(desk_.mouseMove(QPoint(0, y)));
            QVERIFY2(reachesLeft(run, 0), qPrintable(where(run)));
            QVERIFY(strokeOverBackground(window(run)));
            QVERIFY(desk_.mouseMove(QPoint(kFarRight.x(), y)));
            QVERIFY2(reachesLeft(run, -first.width()), qPrintable(where(run)));
            QCOMPARE(geometry(run).y(), first.y());
            QCOMPARE(geometry(run).width(), first.width());
        }
    }

    // After a reveal the cursor crosses only child controls on its way out: the
    // window stays; once it has touched the background it hides again.
    void staysShownOverChildControlsOnly() {
        Run run;
        QVERIFY(start(run, QStringLiteral("no")));
        const int width = geometry(run).width();
        QVERIFY(desk_.mouseMove(kFarRight));
        QVERIFY2(reachesLeft(run, -width), qPrintable(where(run)));

        const MainWindow shown = [&] {
            MainWindow m = window(run);
            m.info.geometry.moveLeft(0);
            return m;
        }();
        const int rowY = shown.point(QStringLiteral("Edit5")).y();
        QVERIFY(desk_.mouseMove(QPoint(0, rowY)));
        QVERIFY2(reachesLeft(run, 0), qPrintable(where(run)));
        for (const char* control :
             {"Edit5", "Ed5", "Edit6", "Ed6", "Button3", "Label19", "RadioButton12", "Ed20"})
            QVERIFY(desk_.mouseMove(shown.point(QString::fromLatin1(control))));
        QVERIFY(desk_.mouseMove(QPoint(kFarRight.x(), rowY)));
        QVERIFY2(staysAt(run, 0), qPrintable(where(run)));

        QVERIFY(strokeOverBackground(shown));
        QVERIFY(desk_.mouseMove(QPoint(kFarRight.x(), rowY)));
        QVERIFY2(reachesLeft(run, -width), qPrintable(where(run)));
    }

    void showYesMovesNothing() {
        Run run;
        QVERIFY(start(run, QStringLiteral("yes")));
        const QRect first = geometry(run);
        const MainWindow win = window(run);
        QVERIFY(desk_.mouseMove(kFarRight));
        QVERIFY2(staysAt(run, first.x()), qPrintable(where(run)));
        QVERIFY(desk_.mouseMove(QPoint(0, 400)));
        QVERIFY2(staysAt(run, first.x()), qPrintable(where(run)));
        QVERIFY(strokeOverBackground(win));
        QVERIFY(desk_.mouseMove(kFarRight));
        QVERIFY2(staysAt(run, first.x()), qPrintable(where(run)));
        QCOMPARE(geometry(run), first);
    }

    // A click on "隐藏窗口" stores "no"; the hide poll is running, so the window
    // hides as soon as the cursor is right of it.
    void clickOnHideWindowStoresNo() {
        Run run;
        QVERIFY(start(run, QStringLiteral("yes")));
        const QString sys = run.box->path(QStringLiteral("sys.ini"));
        QCOMPARE(readSetting(sys, QStringLiteral("方案"), QStringLiteral("show")),
                 QStringLiteral("yes"));
        QVERIFY(desk_.click(window(run).point(QStringLiteral("RadioButton11"))));
        QVERIFY(waitUntil(
            [&] {
                return readSetting(sys, QStringLiteral("方案"), QStringLiteral("show")) ==
                       QStringLiteral("no");
            },
            3000));
        QVERIFY(desk_.mouseMove(kFarRight));
        QVERIFY2(reachesLeft(run, -geometry(run).width()), qPrintable(where(run)));
    }
};

QTEST_GUILESS_MAIN(DockingE2e)
#include "tst_docking_e2e.moc"
