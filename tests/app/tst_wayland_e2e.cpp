// The program on a Wayland desktop, through Xwayland: headless sway, KWin or
// mutter ($QB_WL_COMPOSITOR), a Wayland-native GTK window covering the screen
// (as a browser or file manager would), and a pointer that moves as a hand does,
// in absolute motion. The pointer over the native window is invisible to X
// clients: the program must still hide, come back at the left edge, and take a
// drag from the native window onto a slot.
#include "tests/support/Files.h"
#include "tests/support/Gate.h"
#include "tests/support/Session.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>

using namespace qb::e2e;
using namespace qb::wl;
using qb::test::GatedFolder;
using qb::test::writeFile;

namespace {

const QString kTitle = QStringLiteral("QuillbeckV9.6");
const QString kBoxTitle = QStringLiteral(" QuillbeckV9.6");
const QString kNative = QStringLiteral("native window");
const QString kXSource = QStringLiteral("X source");
const QString kScript = QStringLiteral(QB_SOURCE_DIR "/harness/drag_source.py");
// On the native window, right of the centred board.
constexpr QPoint kOnNative(1100, 400);

// The program in a sandbox the session's user owns.
class SessionProgram {
public:
    SessionProgram(Session& s, const QMap<QString, QString>& scheme) : s_(s) {
        if (!box_.isValid()) return;
        for (auto it = scheme.begin(); it != scheme.end(); ++it) {
            const qsizetype slash = it.key().indexOf(u'/');
            writeSetting(box_.path(QStringLiteral("sys.ini")), it.key().left(slash),
                         it.key().mid(slash + 1), it.value());
        }
    }
    ~SessionProgram() {
        proc_.kill();
        proc_.waitForFinished(3000);
    }
    const Sandbox& box() const { return box_; }
    bool start(QString* error) {
        if (!box_.isValid()) return fail(error, box_.error());
        if (!s_.user().adopt(box_.root())) return fail(error, QStringLiteral("chown failed"));
        QProcessEnvironment env = s_.environment();
        env.insert(QStringLiteral("HOME"), box_.home());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), box_.runtimeDir());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), box_.configHome());
        env.insert(QStringLiteral("XDG_DATA_HOME"), box_.dataHome());
        // The drop's log says where the operation windows' buttons are, and
        // which one answered.
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbeck.drop.info=true"));
        proc_.setStandardOutputFile(box_.root() + QStringLiteral("/program.log"));
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        s_.startClient(proc_, box_.programPath(), {}, env);
        if (!proc_.waitForStarted(10000)) return fail(error, proc_.errorString());
        if (!waitUntil([&] { return s_.xWindow(kTitle).has_value(); }, 20000, 100))
            return fail(error, QStringLiteral("no main window"));
        return true;
    }
    QRect geometry() const { return s_.xWindow(kTitle).value_or(QRect()); }
    bool reachesLeft(int x, int ms = 5000) const {
        return waitUntil([&] { return geometry().x() == x; }, ms, 50);
    }
    QString output() const {
        return QString::fromUtf8(bytesOf(box_.root() + QStringLiteral("/program.log")));
    }
    // The buttons of window `name` as the log gives them, in window
    // coordinates, from the output after `from`.
    QMap<QString, QRect> buttonsOf(const QString& name, qsizetype from) const {
        return loggedButtons(output().mid(from), name);
    }
    QString describe() const {
        const QRect g = geometry();
        return QStringLiteral("board at %1,%2 %3x%4; output: %5")
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height())
            .arg(QString::fromUtf8(bytesOf(box_.root() + QStringLiteral("/program.log"))));
    }
    // Screen point of a control of the shown board (window border 1, caption 20).
    QPoint point(const QString& control) const {
        const QRect g = geometry();
        MainWindow m;
        m.info.geometry = g;
        return m.point(control);
    }

private:
    bool fail(QString* error, const QString& why) {
        if (error) *error = why;
        return false;
    }
    Session& s_;
    Sandbox box_;
    QProcess proc_;
};

} // namespace

class WaylandE2e : public QObject {
    Q_OBJECT

    Session session_{compositorFromEnvironment()};
    QProcess native_;
    QProcess xSource_; // KWin only: see dragToTheEdgeRevealsAndDrops
    QByteArray nativeOut_;
    QString dragged_;

    // KWin only: the X window that offers the file over the native one. Under
    // KWin's fake input it takes one drag only, so each drag has a fresh one.
    bool startXSource() {
        xSource_.kill();
        xSource_.waitForFinished(3000);
        QProcessEnvironment env = session_.environment();
        env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
        session_.startClient(xSource_, QStringLiteral("/usr/bin/python3"),
                             {kScript, kXSource, dragged_}, env);
        QByteArray out;
        return waitUntil(
            [&] {
                xSource_.waitForReadyRead(10);
                out += xSource_.readAll();
                return out.contains("ready\n") && session_.xWindow(kXSource).has_value();
            },
            10000);
    }

    // Drags the offered file from the native window (on KWin from the X source
    // over it) onto slot 1, first to the left edge when the board hides there.
    bool dropOnSlot1(SessionProgram& app, bool reveal) {
        if (session_.compositor() == Compositor::KWin && !startXSource()) return false;
        if (!session_.pointerMove(kOnNative) || !session_.pointerDown()) return false;
        bool ok = session_.pointerGlide(kOnNative - QPoint(30, 0), 6, 30);
        // The drag takes hold of the pointer only after some motion: a long way
        // round to the board, as to the edge.
        if (ok && reveal) ok = session_.pointerGlide(QPoint(0, 300)) && app.reachesLeft(0);
        if (ok && !reveal) ok = session_.pointerGlide(QPoint(kOnNative.x() - 200, 600));
        const QPoint row1 = app.point(QStringLiteral("Edit1"));
        ok = ok && session_.pointerGlide(row1, 8) && session_.pointerMove(row1 + QPoint(1, 0)) &&
             session_.pointerMove(row1);
        sleepMs(200);
        return session_.pointerUp() && ok;
    }

    bool nativeSaw(const QByteArray& what, qsizetype before) {
        return waitUntil(
            [&] {
                native_.waitForReadyRead(10);
                nativeOut_ += native_.readAll();
                return nativeOut_.count(what) > before;
            },
            10000);
    }

private slots:
    void initTestCase() {
        if (const QString missing = missingPrerequisite(session_.compositor()); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QString err;
        QVERIFY2(session_.start(&err), qPrintable(err));
        // One file to drag, offered by the native window that covers the screen.
        dragged_ = session_.scratch() + QStringLiteral("/notes.txt");
        QFile f(dragged_);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("dragged from a Wayland window\n");
        f.close();
        QVERIFY(session_.user().adopt(session_.scratch()));
        QProcessEnvironment env = session_.environment();
        env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("QB_DRAG_SOURCE_MAXIMIZE"), QStringLiteral("1"));
        native_.setProcessChannelMode(QProcess::MergedChannels);
        session_.startClient(native_, QStringLiteral("/usr/bin/python3"),
                             {kScript, kNative, dragged_}, env);
        QVERIFY2(nativeSaw("ready\n", 0), nativeOut_.constData());
        if (session_.compositor() == Compositor::KWin) QVERIFY(startXSource());
    }
    void cleanupTestCase() {
        for (QProcess* p : {&native_, &xSource_}) {
            p->kill();
            p->waitForFinished(3000);
        }
    }

    // The native window is tiled or maximised over the whole output, so the
    // pointer crosses nothing but it on its way to the edge.
    void nativeWindowCoversTheScreen() {
        QVERIFY(!session_.xWindow(kNative));                   // not an X window
        if (session_.compositor() != Compositor::Sway) return; // only sway tells where
        const auto rect = session_.swayWindow(kNative);
        QVERIFY2(rect, qPrintable(session_.log()));
        QCOMPARE(*rect, QRect(QPoint(0, 0), session_.size()));
    }

    // Hidden beyond the edge while the pointer is over the native window, back
    // at x = 0 when it reaches the edge over the native window, hidden again
    // once the pointer has passed over the board and left it: every time, the
    // pointer moved in absolute motion (a tablet, a virtual machine's pointer)
    // or over the board and away in relative motion (a mouse).
    void hidesAndComesBackOverTheNativeWindow_data() {
        QTest::addColumn<bool>("relative");
        QTest::newRow("absolute") << false;
        QTest::newRow("relative") << true;
    }
    void hidesAndComesBackOverTheNativeWindow() {
        QFETCH(bool, relative);
        QVERIFY(session_.pointerMove(kOnNative));
        SessionProgram app(session_, {{QStringLiteral("方案/show"), QStringLiteral("no")}});
        QString err;
        QVERIFY2(app.start(&err), qPrintable(err));
        const int width = app.geometry().width();
        QVERIFY2(app.reachesLeft(-width), qPrintable(app.describe()));

        for (int round = 0; round < 10; ++round) {
            const int y = 300 + 40 * round;
            QVERIFY(session_.pointerGlide(QPoint(0, y)));
            QVERIFY2(app.reachesLeft(0), qPrintable(app.describe()));
            QVERIFY(session_.pointerGlide(QPoint(110, 263), 4, 40, relative));
            if (round == 0) { // resting over the board keeps it
                sleepMs(800);
                QVERIFY2(app.geometry().x() == 0, qPrintable(app.describe()));
            }
            QVERIFY(session_.pointerGlide(kOnNative, 6, 40, relative));
            QVERIFY2(app.reachesLeft(-width),
                     qPrintable(QStringLiteral("round %1: ").arg(round) + app.describe()));
        }
    }

    // Gliding left across the shown board onto the edge sensor is no leave from
    // the program: the board stays. A restart with the pointer resting on the
    // edge pixel leaves that pixel alive: reaching it again brings the board back.
    void edgeOvershootAndRestartOnTheEdge() {
        QVERIFY(session_.pointerMove(kOnNative));
        const QPoint edge(0, 500);
        {
            SessionProgram app(session_, {{QStringLiteral("方案/show"), QStringLiteral("no")}});
            QString err;
            QVERIFY2(app.start(&err), qPrintable(err));
            QVERIFY2(app.reachesLeft(-app.geometry().width()), qPrintable(app.describe()));
            QVERIFY(session_.pointerGlide(QPoint(0, 300)));
            QVERIFY2(app.reachesLeft(0), qPrintable(app.describe()));
            QVERIFY(session_.pointerGlide(QPoint(110, 263), 4));
            QVERIFY(session_.pointerGlide(QPoint(40, 500), 4));
            QVERIFY(session_.pointerGlide(edge, 4));
            sleepMs(1500);
            QVERIFY2(app.geometry().x() == 0, qPrintable(app.describe()));
        }
        QVERIFY(session_.pointerGlide(kOnNative));
        SessionProgram again(session_, {{QStringLiteral("方案/show"), QStringLiteral("no")}});
        QString err;
        QVERIFY2(again.start(&err), qPrintable(err));
        QVERIFY2(again.reachesLeft(-again.geometry().width()), qPrintable(again.describe()));
        QVERIFY(session_.pointerGlide(edge));
        QVERIFY2(again.reachesLeft(0), qPrintable(again.describe()));
    }

    // A file dragged from the native window to the left edge brings the board
    // back, and dropped on slot 1 is copied into the slot's folder. A drag out
    // of a native window fails under KWin's fake input: there the file comes
    // from an X window that lies over the native one, still dragged across it.
    void dragToTheEdgeRevealsAndDrops() {
        if (session_.compositor() == Compositor::KWin) {
            const auto source = session_.xWindow(kXSource);
            QVERIFY(source && source->contains(kOnNative) &&
                    source->contains(kOnNative - QPoint(30, 0)));
        }
        const QString slot = session_.scratch() + QStringLiteral("/slot1");
        QVERIFY(QDir().mkpath(slot));
        QVERIFY(session_.user().adopt(slot));
        QVERIFY(session_.pointerMove(kOnNative));
        SessionProgram app(session_, {{QStringLiteral("方案/show"), QStringLiteral("no")},
                                      {QStringLiteral("方案/operate"), QStringLiteral("FileCopy")},
                                      {QStringLiteral("我的文件夹/1"), slot}});
        QString err;
        QVERIFY2(app.start(&err), qPrintable(err));
        const int width = app.geometry().width();
        QVERIFY2(app.reachesLeft(-width), qPrintable(app.describe()));

        QVERIFY(session_.pointerDown());
        QVERIFY(session_.pointerGlide(kOnNative - QPoint(30, 0), 6, 30));
        QVERIFY(session_.pointerGlide(QPoint(0, 300)));
        QVERIFY2(app.reachesLeft(0), qPrintable(app.describe()));
        const QPoint row1 = app.point(QStringLiteral("Edit1"));
        QVERIFY(session_.pointerGlide(row1, 8));
        QVERIFY(session_.pointerMove(row1 + QPoint(1, 0)));
        QVERIFY(session_.pointerMove(row1));
        sleepMs(200);
        QVERIFY(session_.pointerUp());

        const QString copied = slot + QStringLiteral("/notes.txt");
        QVERIFY2(waitUntil([&] { return QFile::exists(copied); }, 10000),
                 qPrintable(app.describe() + QStringLiteral("\nsource: ") +
                            QString::fromUtf8(nativeOut_)));
        QCOMPARE(bytesOf(copied), bytesOf(dragged_));
    }
    // Under Xwayland the board lies over every managed window, so the replace
    // question, the error box and the progress window of a drop come up beside
    // it, whole on the screen, with the board centred and at the left edge, and
    // a click at the centre of each of their buttons reaches that button.
    void operationWindowsBesideTheBoard_data() {
        QTest::addColumn<bool>("atLeftEdge");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("buttons");
        const QStringList replace = {QStringLiteral("是"), QStringLiteral("全部是"),
                                     QStringLiteral("否"), QStringLiteral("全部否"),
                                     QStringLiteral("取消")};
        for (bool edge : {false, true}) {
            const char* where = edge ? "board at the left edge" : "board centred";
            QTest::addRow("replace question, %s", where)
                << edge << QStringLiteral("replaceQuestion") << replace;
            QTest::addRow("error box, %s", where)
                << edge << QStringLiteral("operationError")
                << QStringList{QStringLiteral("跳过"), QStringLiteral("全部跳过"),
                               QStringLiteral("取消")};
            QTest::addRow("progress window, %s", where)
                << edge << QStringLiteral("progressDialog") << QStringList{QStringLiteral("取消")};
        }
    }
    void operationWindowsBesideTheBoard() {
        QFETCH(bool, atLeftEdge);
        QFETCH(QString, window);
        QFETCH(QStringList, buttons);
        const bool question = window == QLatin1String("replaceQuestion");
        const bool progress = window == QLatin1String("progressDialog");
        const QString slot = session_.scratch() + QStringLiteral("/boxes");
        const QString name = QFileInfo(dragged_).fileName();
        const QByteArray offered = bytesOf(dragged_);
        QDir(slot).removeRecursively();
        QVERIFY(QDir().mkpath(slot));
        QVERIFY(session_.user().adopt(slot));
        const QByteArray slotPath = QFile::encodeName(slot);
        const QString back = session_.scratch() + QStringLiteral("/gated");
        const auto restore = qScopeGuard([&] {
            ::chmod(slotPath.constData(), 0755);
            QDir(slot).removeRecursively();
            QDir(back).removeRecursively();
            if (QFileInfo(dragged_).isDir()) {
                QDir(dragged_).removeRecursively();
                writeFile(dragged_, offered);
                session_.user().adopt(dragged_);
            }
        });
        GatedFolder gate; // ends before `restore`, which removes its mount point
        if (window == QLatin1String("operationError")) {
            // A slot folder its owner may not write into: the copy fails.
            QVERIFY(::chmod(slotPath.constData(), 0555) == 0);
        } else if (progress) {
            // The offered name becomes a tree shown through a gate: the copy
            // waits at its first file until the window has been clicked.
            QVERIFY(QFile::remove(dragged_) && QDir().mkpath(dragged_));
            for (int i = 0; i < 50; ++i)
                writeFile(back + QStringLiteral("/%1/f").arg(i), "f");
            QVERIFY(session_.user().adopt(back));
            QString why;
            if (!gate.mount(back, dragged_, &why)) QSKIP(qPrintable(why));
        }
        QVERIFY(session_.pointerMove(kOnNative));
        SessionProgram app(session_, {{QStringLiteral("方案/show"),
                                       atLeftEdge ? QStringLiteral("no") : QStringLiteral("yes")},
                                      {QStringLiteral("方案/operate"), QStringLiteral("FileCopy")},
                                      {QStringLiteral("方案/thesame"),
                                       question ? QStringLiteral("FileReplace")
                                                : QStringLiteral("FileReplaceAoto")},
                                      {QStringLiteral("我的文件夹/1"), slot}});
        QString err;
        QVERIFY2(app.start(&err), qPrintable(err));
        if (atLeftEdge)
            QVERIFY2(app.reachesLeft(-app.geometry().width()), qPrintable(app.describe()));
        const QString title = question ? kBoxTitle + QStringLiteral(" - 替换文件") : kBoxTitle;
        const QRect screen(QPoint(0, 0), session_.size());
        for (const QString& button : buttons) {
            if (question) {
                writeFile(slot + u'/' + name, "old");
                QVERIFY(session_.user().adopt(slot));
            }
            const qsizetype from = app.output().size();
            QVERIFY2(dropOnSlot1(app, atLeftEdge), qPrintable(app.describe()));
            std::optional<QRect> box;
            QVERIFY2(waitUntil([&] { return (box = session_.xWindow(title)).has_value(); }, 15000),
                     qPrintable(app.describe()));
            sleepMs(300); // placed
            box = session_.xWindow(title);
            QVERIFY2(box, qPrintable(window + QStringLiteral(" went before it was looked at")));
            // A desktop that centres the box over the board has the board step aside.
            waitUntil([&] { return !box->intersects(app.geometry()); }, 3000);
            const QRect board = app.geometry();
            const QString where = QStringLiteral("%1 at %2,%3 %4x%5; %6")
                                      .arg(window)
                                      .arg(box->x())
                                      .arg(box->y())
                                      .arg(box->width())
                                      .arg(box->height())
                                      .arg(app.describe());
            QVERIFY2(screen.contains(*box),
                     qPrintable(QStringLiteral("not whole on screen: ") + where));
            QVERIFY2(!box->intersects(board),
                     qPrintable(QStringLiteral("over the board: ") + where));
            QMap<QString, QRect> at;
            QVERIFY2(waitUntil([&] { return (at = app.buttonsOf(window, from)).contains(button); },
                               5000),
                     qPrintable(button + QStringLiteral(" not logged; ") + where));
            const QPoint centre = box->topLeft() + at.value(button).center();
            QVERIFY(session_.pointerClick(centre));
            const QString answer = QStringLiteral("answer of %1 %2").arg(window, button);
            QVERIFY2(waitUntil([&] { return app.output().mid(from).contains(answer); }, 5000),
                     qPrintable(QStringLiteral("no \"%1\" after a click at (%2, %3); ")
                                    .arg(answer)
                                    .arg(centre.x())
                                    .arg(centre.y()) +
                                where +
                                QStringLiteral("; now at %1,%2")
                                    .arg(session_.xWindow(title).value_or(QRect()).x())
                                    .arg(session_.xWindow(title).value_or(QRect()).y())));
            gate.open();
            QVERIFY(waitUntil([&] { return !session_.xWindow(title); }, 15000));
        }
    }

    // Two monitors side by side, the right one at scale 2: a drag to the right
    // monitor's left edge brings the board back there, and the replace question
    // of the drop opens on that monitor, not on the first one.
    void replaceQuestionOnTheBoardsMonitor() {
        if (session_.compositor() != Compositor::Sway) QSKIP("several outputs need sway");
        const QString kReplace = QStringLiteral("replaceQuestion");
        Session two(Compositor::Sway);
        const Output left{QSize(1024, 600), QPoint(0, 0)};
        const Output right{QSize(2560, 1600), QPoint(1024, 0), 2};
        QString err;
        QVERIFY2(two.start(&err, {left, right}), qPrintable(err));
        const QString file = two.scratch() + QStringLiteral("/notes.txt");
        const QString slot = two.scratch() + QStringLiteral("/slot");
        writeFile(file, "new");
        writeFile(slot + QStringLiteral("/notes.txt"), "old");
        QVERIFY(two.user().adopt(two.scratch()));
        QProcess native;
        const auto stopNative = qScopeGuard([&] {
            native.kill();
            native.waitForFinished(3000);
        });
        QProcessEnvironment env = two.environment();
        env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("QB_DRAG_SOURCE_MAXIMIZE"), QStringLiteral("1"));
        native.setProcessChannelMode(QProcess::MergedChannels);
        two.startClient(native, QStringLiteral("/usr/bin/python3"), {kScript, kNative, file}, env);
        std::optional<QRect> source;
        QVERIFY2(waitUntil([&] { return (source = two.swayWindow(kNative)).has_value(); }, 10000),
                 qPrintable(two.log()));
        sleepMs(300);
        source = two.swayWindow(kNative);

        QVERIFY(two.pointerMove(source->center()));
        SessionProgram app(two, {{QStringLiteral("方案/show"), QStringLiteral("no")},
                                 {QStringLiteral("方案/operate"), QStringLiteral("FileCopy")},
                                 {QStringLiteral("方案/thesame"), QStringLiteral("FileReplace")},
                                 {QStringLiteral("我的文件夹/1"), slot}});
        QVERIFY2(app.start(&err), qPrintable(err));
        QVERIFY2(app.reachesLeft(-app.geometry().width()), qPrintable(app.describe()));

        // The right monitor's left edge is exposed below the left monitor.
        const QRect monitor = right.layout();
        QVERIFY(two.pointerDown());
        QVERIFY(two.pointerGlide(source->center() - QPoint(30, 0), 6, 30));
        QVERIFY(two.pointerGlide(QPoint(monitor.left(), 700)));
        QVERIFY2(app.reachesLeft(monitor.left()), qPrintable(app.describe()));
        const QPoint row1 = app.point(QStringLiteral("Edit1"));
        QVERIFY(two.pointerGlide(row1, 8));
        QVERIFY(two.pointerMove(row1 + QPoint(1, 0)));
        QVERIFY(two.pointerMove(row1));
        sleepMs(200);
        QVERIFY(two.pointerUp());

        const QString title = kBoxTitle + QStringLiteral(" - 替换文件");
        std::optional<QRect> box;
        QVERIFY2(waitUntil([&] { return (box = two.xWindow(title)).has_value(); }, 15000),
                 qPrintable(app.describe()));
        sleepMs(500); // placed, the board stepped aside if need be
        box = two.xWindow(title);
        QVERIFY2(box, "the replace question went before it was looked at");
        const QString where = QStringLiteral("question at %1,%2 %3x%4; %5")
                                  .arg(box->x())
                                  .arg(box->y())
                                  .arg(box->width())
                                  .arg(box->height())
                                  .arg(app.describe());
        QVERIFY2(monitor.contains(*box), qPrintable(where));
        QVERIFY2(monitor.contains(app.geometry()), qPrintable(where));
        QVERIFY2(!box->intersects(app.geometry()), qPrintable(where));
        // And answered there.
        QMap<QString, QRect> at;
        const QString cancel = QStringLiteral("取消");
        QVERIFY2(
            waitUntil([&] { return (at = app.buttonsOf(kReplace, 0)).contains(cancel); }, 5000),
            qPrintable(where));
        QVERIFY(two.pointerClick(box->topLeft() + at.value(cancel).center()));
        QVERIFY2(waitUntil([&] { return app.output().contains("answer of replaceQuestion 取消"); },
                           5000),
                 qPrintable(where));
    }
};

QTEST_GUILESS_MAIN(WaylandE2e)
#include "tst_wayland_e2e.moc"
