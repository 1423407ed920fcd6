// The main window on a desktop of two monitors of different heights (the
// offscreen platform with two screens): hidden beyond the desktop's left edge,
// back whole on the monitor whose exposed edge the cursor touched, through the
// poll and through the edge sensor; a window that does not fit a short screen
// scrolls; a window that cannot leave the screen stops trying and says why.
#include "app/FitScreen.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "platform/EdgeSensor.h"
#include "platform/Monitors.h"
#include "platform/ProgramFolder.h"
#include "platform/Timers.h"
#include "store/Account.h"
#include "tests/support/FakeCursor.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The primary (listed first) 1280 x 1024 at x = 1024; left of it a 1024 x 768.
constexpr char kScreens[] = R"({"screens": [
  {"name": "P", "x": 1024, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "dpr": 1},
  {"name": "L", "x": 0, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96, "dpr": 1}]})";

} // namespace

class DockingScreens : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    qb::FakeCursor cursor_;
    TForm1* form_ = nullptr;

    QRect frame() const { return form_->frameGeometry(); }
    void hideTick(QPoint p) {
        cursor_.at = p;
        form_->Timer1Timer();
    }
    void revealTick(QPoint p) {
        cursor_.at = p;
        form_->Timer2Timer();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        auto& account = qb::accountState();
        qb::setProgramFolder(dir_.path()); // a load reads and writes here
        account.programFolder = dir_.path() + u'/';
        account.currentAccount = qb::defaultAccount();
        account.currentSettingsFile = dir_.filePath(QStringLiteral("sys.ini"));
        qb::setCursor(&cursor_);
        QCOMPARE(QGuiApplication::screens().size(), 2);
    }
    void cleanupTestCase() {
        qb::setCursor(nullptr);
        qb::setProgramFolder(QString());
    }

    void init() {
        form_ = new TForm1;
        qb::fitToScreens(*form_);
        form_->docking().watchEdge();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
        form_->move(1541, 154); // centred on the primary
        form_->RadioButton[11]->setChecked(true);
        qb::setTimerPeriod(*form_->Timer1, 200);
    }
    void cleanup() {
        delete form_;
        form_ = nullptr;
    }

    // Both monitors are tall enough: the window is exactly as on one screen.
    void fitsUnchanged() {
        QCOMPARE(frame().size(), QSize(246, 716));
        QCOMPARE(form_->Client->parentWidget(), form_);
        QVERIFY(!form_->findChild<QScrollArea*>());
    }

    void hidesBeyondDesktopAndComesBackWhereTouched() {
        hideTick(QPoint(2000, 900));
        QCOMPARE(frame().x(), -246);
        // The inner boundary beside the short monitor is no edge.
        revealTick(QPoint(1024, 400));
        QCOMPARE(frame().x(), -246);
        // The short monitor's edge: back inside it, moved up to fit.
        revealTick(QPoint(0, 400));
        QCOMPARE(frame().topLeft(), QPoint(0, 768 - 716));

        // The primary's edge below the short monitor: back on the primary,
        // where the window fits at the height it has.
        qb::setTimerPeriod(*form_->Timer1, 200);
        hideTick(QPoint(2000, 900));
        revealTick(QPoint(1030, 900));
        QCOMPARE(frame().topLeft(), QPoint(1024, 52));
    }

    // The sensor covers the exposed edges; a drag arriving over it brings the
    // window back on that monitor.
    void sensorRevealsOnDragEnter() {
        qputenv("QUILLBECK_EDGE_SENSOR", "1");
        form_->docking().watchEdge();
        qunsetenv("QUILLBECK_EDGE_SENSOR");
        revealTick(QPoint(1500, 500)); // the poll keeps the sensor in place
        const qb::EdgeSensor* sensor = form_->docking().sensor();
        QVERIFY(sensor);
        QVERIFY(sensor->isCovering());
        QCOMPARE(sensor->columns(), qb::monitors::exposedLeftEdges(qb::monitors::current()));

        hideTick(QPoint(2000, 900));
        QCOMPARE(frame().x(), -246);
        QWidget* column = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("EdgeSensor") && w->x() == 0) column = w;
        QVERIFY(column);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir_.path())});
        QDragEnterEvent enter(QPoint(0, 300), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(column, &enter);
        QVERIFY(!enter.isAccepted()); // no drop on the sensor itself
        QCOMPARE(frame().topLeft(), QPoint(0, 52));

        // Docking off: the sensor goes away.
        form_->RadioButton[12]->setChecked(true);
        revealTick(QPoint(1500, 500));
        QVERIFY(sensor->columns().isEmpty());
    }

    // A window manager that puts the window back on screen: hiding stops, the
    // status line says so once, and no later tick tries again.
    void refusedHideStopsAndSaysWhy() {
        hideTick(QPoint(2000, 900));
        QCOMPARE(frame().x(), -246);
        form_->move(1541, 154); // what such a window manager does
        QTRY_COMPARE_WITH_TIMEOUT(form_->Labeltip->text(), qb::Docking::cannotLeaveScreen(), 3000);
        form_->Labeltip->setText(QStringLiteral("状态：复制成功！"));
        for (int i = 0; i < 3; ++i) {
            qb::setTimerPeriod(*form_->Timer1, 200);
            hideTick(QPoint(2000, 900));
        }
        QCOMPARE(frame().x(), 1541);
        QCOMPARE(form_->Labeltip->text(), QStringLiteral("状态：复制成功！"));
    }

    // The load or the tray puts the window back within a second of a hide: no
    // window manager kept it on screen, so hiding goes on after the next re-arm.
    void placedByTheProgramRightAfterAHide_data() {
        QTest::addColumn<bool>("byLoad");
        QTest::newRow("load") << true;
        QTest::newRow("tray") << false;
    }
    void placedByTheProgramRightAfterAHide() {
        QFETCH(bool, byLoad);
        QFile ini(dir_.filePath(QStringLiteral("sys.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly) &&
                ini.write("[\xb7\xbd\xb0\xb8]\r\nshow=no\r\n") > 0);
        ini.close();
        hideTick(QPoint(2000, 900));
        QCOMPARE(frame().x(), -246);
        if (byLoad)
            form_->LoadAccount();
        else
            qb::trayWindowOf(*form_)->show();
        QVERIFY(frame().x() >= 0);
        QTest::qWait(1500);
        QVERIFY(form_->docking().allowsHiding());
        QVERIFY(form_->Labeltip->text() != qb::Docking::cannotLeaveScreen());
        cursor_.at = frame().center();
        form_->FormMouseMove();
        hideTick(QPoint(2000, 900));
        QCOMPARE(frame().x(), -246);
        QVERIFY(ini.remove());
    }

    // The window fits the monitor it stands on: shrunk to scroll on a short one,
    // itself again on a tall one, however often it goes back and forth.
    void fitsTheMonitorItIsOn_data() {
        QTest::addColumn<QList<int>>("heights");
        QTest::addColumn<int>("height");
        QTest::newRow("tall") << QList<int>{1000} << 716;
        QTest::newRow("exactly") << QList<int>{716} << 716;
        QTest::newRow("short") << QList<int>{500} << 500;
        QTest::newRow("short, then tall") << QList<int>{500, 1000} << 716;
        QTest::newRow("short, tall, shorter") << QList<int>{500, 1000, 400} << 400;
        QTest::newRow("short, shorter") << QList<int>{500, 400} << 400;
    }
    void fitsTheMonitorItIsOn() {
        QFETCH(QList<int>, heights);
        QFETCH(int, height);
        TForm1 form;
        for (int h : heights)
            qb::fitToHeight(form, h);
        const bool scrolls = height < 716;
        QCOMPARE(form.height(), height);
        QCOMPARE(form.findChildren<QScrollArea*>().size(), scrolls ? 1 : 0);
        QCOMPARE(form.Client->parentWidget() == &form, !scrolls);
        // The close box stays at the caption strip's right end.
        QCOMPARE(form.CloseBox->geometry().right(), form.CaptionStrip->width() - 3);
        if (!scrolls) QCOMPARE(form.width(), 246);
    }

    // Too short a screen: the client area scrolls inside a window of exactly
    // the available height, and every control can be brought into view.
    void shortScreenScrolls() {
        TForm1 form;
        qb::fitToHeight(form, 500);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.frameGeometry().height(), 500);
        auto* view = form.findChild<QScrollArea*>();
        QVERIFY(view);
        QCOMPARE(form.Client->size(), QSize(TForm1::kClientWidth, TForm1::kClientHeight));
        const QRect viewport(view->viewport()->mapTo(&form, QPoint(0, 0)),
                             view->viewport()->size());
        for (QWidget* w :
             {static_cast<QWidget*>(form.Edit[1]), static_cast<QWidget*>(form.Ed[20]),
              static_cast<QWidget*>(form.RadioButton[11]), static_cast<QWidget*>(form.Labeltip)}) {
            view->ensureWidgetVisible(w);
            const QRect at(w->mapTo(&form, QPoint(0, 0)), w->size());
            QVERIFY2(viewport.contains(at),
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 view %6,%7 %8x%9")
                                    .arg(w->objectName())
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(at.width())
                                    .arg(at.height())
                                    .arg(viewport.x())
                                    .arg(viewport.y())
                                    .arg(viewport.width())
                                    .arg(viewport.height())));
        }
        QVERIFY(form.rect().contains(
            QRect(form.CloseBox->mapTo(&form, QPoint(0, 0)), form.CloseBox->size())));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir configDir;
    const QString config = configDir.filePath(QStringLiteral("screens.json"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly) || f.write(kScreens) < 0) return 2;
    f.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    DockingScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_docking_screens.moc"
