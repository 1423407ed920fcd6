// The main window as built: names, places, captions, hints, fonts, tab order and
// initial states; the control rules the load relies on; the exit paths.
#include "tests/support/MainWinFixture.h"

#include "app/Controls.h"
#include "platform/Timers.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace mw;

namespace {

const char* const kWindowHint =
    "Click to open the folder.Drag one or more files and/or folders to the specified Folder path "
    "to copy, move, and set the path.";

struct Place {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* caption; // nullptr: not checked
    const char* hint;    // nullptr: none
    int fontPx;
};

const Place kPlaces[] = {
    {"Label16", "Client", {11, 8, 36, 13}, "用户：", "Current account", 11},
    {"Label17", "Client", {46, 6, 121, 21}, "", nullptr, 11},
    {"Button1", "Client", {169, 5, 65, 18}, "设置用户", "Configuration account", 9},
    {"Button2", "Client", {169, 23, 65, 18}, "默认用户", "Default account", 9},
    {"Move", "Client", {18, 24, 49, 17}, "移动", "Move  one or more files and/or folders", 11},
    {"Copy", "Client", {71, 24, 49, 17}, "复制", "Copy  one or more files and/or folders", 11},
    {"Set", "Client", {123, 24, 49, 17}, "配置", "Settings folder", 11},
    {"GroupBox3", "Client", {0, 40, 241, 41}, "文件重复：", nullptr, 11},
    {"RadioButton13", "GroupBox3", {8, 16, 89, 17}, "自动重命名", nullptr, 11},
    {"RadioButton15", "GroupBox3", {104, 16, 73, 17}, "自动替换", nullptr, 11},
    {"RadioButton14", "GroupBox3", {184, 16, 49, 17}, "替换", nullptr, 11},
    {"GroupBox1", "Client", {2, 80, 238, 112}, "文件夹分组：", "Folder groups ", 11},
    {"RadioButton1", "GroupBox1", {16, 16, 97, 17}, "", nullptr, 11},
    {"RadioButton3", "GroupBox1", {16, 53, 97, 17}, "", nullptr, 11},
    {"RadioButton5", "GroupBox1", {16, 91, 97, 17}, "", nullptr, 11},
    {"RadioButton6", "GroupBox1", {122, 16, 97, 17}, "", nullptr, 11},
    {"RadioButton9", "GroupBox1", {122, 72, 97, 17}, "", nullptr, 11},
    {"RadioButton10", "GroupBox1", {122, 91, 97, 17}, "", nullptr, 11},
    {"Label18", "Client", {16, 193, 73, 17}, "文件夹路径：", "Folder path", 9},
    {"Label19", "Client", {136, 193, 81, 17}, "文件夹名字：", "Folder name", 9},
    {"Panel1", "Client", {3, 208, 238, 417}, nullptr, kWindowHint, 11},
    {"Label1", "Panel1", {5, 3, 19, 19}, "1", nullptr, 12},
    {"Label15", "Panel1", {5, 290, 19, 19}, "15", nullptr, 12},
    {"Label20", "Panel1", {5, 310, 19, 19}, "16", nullptr, 12},
    {"Label24", "Panel1", {5, 393, 19, 19}, "20", nullptr, 12},
    {"Edit1", "Panel1", {24, 3, 101, 19}, "", nullptr, 11},
    {"Edit7", "Panel1", {24, 126, 101, 19}, "", nullptr, 11},
    {"Ed13", "Panel1", {127, 249, 101, 19}, "", nullptr, 11},
    {"Edit20", "Panel1", {24, 393, 101, 19}, "", nullptr, 11},
    {"Ed20", "Panel1", {127, 393, 101, 19}, "", nullptr, 11},
    {"Button3", "Client", {37, 627, 73, 18}, "帮助", "help", 9},
    {"Button4", "Client", {136, 627, 73, 18}, "退出", "quit", 9},
    {"GroupBox2", "Client", {3, 644, 238, 28}, "", nullptr, 11},
    {"RadioButton11",
     "GroupBox2",
     {12, 8, 77, 17},
     "隐藏窗口",
     "The main form is hidden on the left side of the screen automatically.",
     9},
    {"RadioButton12",
     "GroupBox2",
     {136, 8, 81, 17},
     "显示窗口",
     "The main form is always displayed.",
     9},
    {"Labeltip", "Client", {4, 673, 221, 17}, "状态：无操作", "status ", 9},
};

QString captionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    return QStringLiteral("<no caption>");
}

} // namespace

class TestMainWinWindow : public QObject {
    Q_OBJECT

private slots:
    void controlsStandWhereTheyBelong() {
        TForm1 f;
        QCOMPARE(f.objectName(), QStringLiteral("Form1"));
        for (const Place& p : kPlaces) {
            const QString name = QLatin1String(p.name);
            const auto found = f.findChildren<QWidget*>(name);
            QVERIFY2(found.size() == 1, p.name);
            QWidget* w = found.first();
            QCOMPARE(w->parentWidget()->objectName(), QLatin1String(p.parent));
            QVERIFY2(w->geometry() == p.geometry, p.name);
            if (p.caption) QCOMPARE(captionOf(w), QString::fromUtf8(p.caption));
            QCOMPARE(w->toolTip(), p.hint ? QString::fromUtf8(p.hint) : QString());
            QVERIFY2(w->font().pixelSize() == p.fontPx, p.name);
        }
        // The arrays point at the named controls.
        for (int r = 1; r <= 20; ++r) {
            QCOMPARE(f.Edit[r]->objectName(), QStringLiteral("Edit%1").arg(r));
            QCOMPARE(f.Ed[r]->objectName(), QStringLiteral("Ed%1").arg(r));
            QCOMPARE(f.RowLabel[r]->objectName(),
                     QStringLiteral("Label%1").arg(r <= 15 ? r : r + 4));
            QCOMPARE(f.Edit[r]->y(), f.Ed[r]->y());
            QVERIFY(f.Edit[r]->isReadOnly() && f.Ed[r]->isReadOnly());
            // Drops over a slot must reach the window, which finds the slot itself.
            QVERIFY(!f.Edit[r]->acceptDrops() && !f.Ed[r]->acceptDrops());
        }
        for (int g = 1; g <= 15; ++g)
            QCOMPARE(f.RadioButton[g]->objectName(), QStringLiteral("RadioButton%1").arg(g));
        QVERIFY(f.acceptDrops());
        QCOMPARE(f.Client->toolTip(), QString::fromUtf8(kWindowHint));
        QCOMPARE(f.findChild<QTimer*>(QStringLiteral("Timer1")), f.Timer1);
        QCOMPARE(f.findChild<QTimer*>(QStringLiteral("Timer2")), f.Timer2);
        QVERIFY(!f.Timer1->isActive() && !f.Timer2->isActive()); // started by FormCreate
    }

    void windowFrameAroundTheClientArea() {
        TForm1 f;
        QCOMPARE(f.windowTitle(), QStringLiteral("QuillbeckV9.6"));
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f.Client->size(), QSize(244, 694));
        QCOMPARE(f.minimumSize(), f.maximumSize()); // fixed size
        // Caption strip with its close box directly above the client area.
        QCOMPARE(f.CaptionStrip->objectName(), QStringLiteral("CaptionStrip"));
        QCOMPARE(f.CloseBox->objectName(), QStringLiteral("CloseBox"));
        QCOMPARE(f.CaptionStrip->geometry().bottom() + 1, f.Client->y());
        QCOMPARE(f.CaptionStrip->width(), f.Client->width());
        QVERIFY(f.CaptionStrip->rect().contains(f.CloseBox->geometry()));
        QVERIFY(f.rect().contains(f.Client->geometry()));
        QCOMPARE(f.size(),
                 QSize(f.Client->width() + 2 * TForm1::kBorder,
                       f.Client->height() + TForm1::kCaptionHeight + 2 * TForm1::kBorder));
    }

    void initialStatesBeforeAnyLoad() {
        TForm1 f;
        for (int g = 1; g <= 15; ++g)
            QCOMPARE(f.RadioButton[g]->isChecked(), g == 14);
        QVERIFY(!f.Move->isChecked() && !f.Copy->isChecked() && !f.Set->isChecked());
        QCOMPARE(f.Label17->text(), QString());
        QCOMPARE(f.Label17->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(f.Labeltip->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(f.Labeltip->alignment() & Qt::AlignHCenter);
    }

    void tabOrderFollowsTheBoardFirst() {
        TForm1 f;
        QList<QWidget*> expected;
        for (int r = 1; r <= 15; ++r)
            expected << f.Edit[r];
        for (int r = 1; r <= 15; ++r)
            expected << f.Ed[r];
        for (int r = 16; r <= 20; ++r)
            expected << f.Edit[r] << f.Ed[r];
        for (int g = 1; g <= 10; ++g)
            expected << f.RadioButton[g];
        expected << f.Move << f.Set << f.Copy << f.Button1 << f.Button2 << f.Button3 << f.Button4
                 << f.RadioButton[11] << f.RadioButton[12] << f.RadioButton[13] << f.RadioButton[15]
                 << f.RadioButton[14];
        QList<QWidget*> seen;
        QWidget* w = f.Edit[1];
        do {
            if (expected.contains(w) && !seen.contains(w)) seen << w;
            w = w->nextInFocusChain();
        } while (w != f.Edit[1]);
        QCOMPARE(seen, expected);
    }

    // Before any load no group is checked: a changed path gets its name but is
    // not stored. Equal texts and checked buttons set off nothing.
    void controlRules() {
        Fixture fx;
        TForm1 f;
        qb::setEditText(f.Edit[2], QStringLiteral("/home/x/"));
        QCOMPARE(f.Ed[2]->text(), QStringLiteral("x"));
        QVERIFY(!QFile::exists(fx.sysIni()));

        f.Ed[2]->setText(QStringLiteral("marker"));
        qb::setEditText(f.Edit[2], QStringLiteral("/home/x/"));
        QCOMPARE(f.Ed[2]->text(), QStringLiteral("marker"));

        // A path too long for the field shows its beginning, in both fields.
        const QString deep = QStringLiteral("/srv/share/projects/2026/quarterly-reports/final");
        qb::setEditText(f.Edit[2], deep);
        QCOMPARE(f.Edit[2]->cursorPosition(), 0);
        QCOMPARE(f.Ed[2]->cursorPosition(), 0);

        // Checking a checked button runs nothing; an unchecked one runs its handler,
        // whose failure reaches the code that checked it.
        qb::accountState().currentSettingsFile = fx.sysIni();
        putFile(fx.sysIni(), QString());
        makeReadOnly(fx.sysIni());
        qb::checkRadio(f.RadioButton[14]);
        bool failed = false;
        try {
            qb::checkRadio(f.RadioButton[13]);
        } catch (const qb::SettingsError&) {
            failed = true;
        }
        QVERIFY(failed);
        QVERIFY(f.RadioButton[13]->isChecked() && !f.RadioButton[14]->isChecked());
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void timerPeriodChangesOnlyWhenDifferent() {
        QTimer t;
        qb::setTimerPeriod(t, 200);
        QVERIFY(t.isActive());
        const int id = t.timerId();
        qb::setTimerPeriod(t, 200); // no restart: the rhythm is kept
        QCOMPARE(t.timerId(), id);
        qb::setTimerPeriod(t, 0);
        QVERIFY(!t.isActive());
        QCOMPARE(qb::timerPeriod(t), 0);
        qb::setTimerPeriod(t, 200);
        QVERIFY(t.isActive());
        QCOMPARE(qb::timerPeriod(t), 200);
        qb::setTimerPeriod(t, 100);
        QCOMPARE(t.interval(), 100);
    }

    // Runs last: ending the program ends every event loop of the thread.
    void closeBoxEndsTheProgramLikeButton4() {
        Fixture fx;
        TForm1& f = fx.start();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QByteArray before = bytesOf(fx.sysIni());
        QEventLoop loop;
        QTimer::singleShot(0, &f, [&] { QTest::mouseClick(f.CloseBox, Qt::LeftButton); });
        QTimer::singleShot(5000, &loop, [&] { loop.exit(7); });
        QCOMPARE(loop.exec(), 0);
        QCOMPARE(bytesOf(fx.sysIni()), before); // nothing is saved on the way out
        QVERIFY(fx.dialogs.errors.isEmpty());
    }
};

QTEST_MAIN(TestMainWinWindow)
#include "tst_mainwin_window.moc"
