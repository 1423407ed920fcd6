// Drops on the main window, driven by synthetic drag and drop events with the
// pointer placed where a user would let go: which control is the target, refused
// drops and the focus after them (what the drop does with its items:
// tests/drop/tst_drop.cpp).
#include "app/Unit1.h"
#include "operation/DropHistory.h"
#include "operation/FileOperation.h"
#include "platform/Handler.h"
#include "tests/support/DropFixture.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/Files.h"

#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <sqlite3.h>

using namespace qb::test;

namespace {

// The main window, shown and active, over the shared drop fixture.
class Fixture : public DropFixture {
public:
    explicit Fixture(bool fakeOperation = true) : DropFixture(fakeOperation) {
        form = std::make_unique<TForm1>();
        qb::runHandler(form.get(), [this] { form->FormCreate(); });
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) qFatal("main window not exposed");
        form->activateWindow();
    }
    ~Fixture() { form.reset(); }

    // Unchecks every mode button (none is checked before the first load).
    void noMode() {
        for (QRadioButton* b : {form->Move, form->Copy, form->Set}) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
    }

    // Drags `mime` over the window and lets go with the pointer at `at` in `on`'s
    // coordinates (its centre by default). `eventAt` is where the event itself says
    // the drop is, when that differs from the pointer. Returns whether the window
    // took the drag; waits until the drop has been handled.
    bool drop(QWidget* on, const QMimeData& mime, QPoint at = {-1, -1}, QWidget* eventAt = nullptr,
              bool wait = true) {
        const QPoint global = on->mapToGlobal(at.x() < 0 ? on->rect().center() : at);
        QCursor::setPos(global);
        const QPoint claimed =
            form->mapFromGlobal(eventAt ? eventAt->mapToGlobal(eventAt->rect().center()) : global);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(claimed, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(claimed, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &move);
        if (!move.isAccepted()) return false;
        QDropEvent dropped(QPointF(claimed), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &dropped);
        if (wait && !QTest::qWaitFor([this] { return !form->dropController().inProgress(); }, 5000))
            qFatal("drop not finished");
        return dropped.isAccepted();
    }
    bool drop(QWidget* on, const QStringList& paths, QPoint at = {-1, -1},
              QWidget* eventAt = nullptr) {
        QMimeData mime;
        carry(mime, paths);
        return drop(on, mime, at, eventAt);
    }

    std::unique_ptr<TForm1> form;
};

} // namespace

class TestMainWinDrop : public QObject {
    Q_OBJECT

private slots:

    // Ctrl+Z on the board takes the last drop back once asked, also from the slot
    // field the drop left the focus in, and the status line's tooltip says so.
    void ctrlZUndoesTheLastDrop() {
        qb::closeDropJournal(); // opened afresh in this test's program folder
        FakePrompts prompts;
        qb::setOperationPrompts(&prompts);
        {
            Fixture fx(false);
            const QString dest = fx.folder(QStringLiteral("dest")),
                          src = fx.folder(QStringLiteral("src"));
            writeFile(src + QStringLiteral("/a.txt"), "abc");
            fx.form->Edit[5]->setText(dest);
            fx.form->Move->setChecked(true);
            QVERIFY(fx.drop(fx.form->Edit[5], {src + QStringLiteral("/a.txt")}));
            QVERIFY(QFile::exists(dest + QStringLiteral("/a.txt")));
            QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：移动成功！"));
            QVERIFY2(fx.form->Labeltip->toolTip().contains(QStringLiteral("Ctrl+Z")),
                     qPrintable(fx.form->Labeltip->toolTip()));

            // The focus is on the slot's field after the drop: Ctrl+Z there is the board's.
            QLineEdit* name = fx.form->Edit[5];
            QApplication::setActiveWindow(fx.form.get());
            QTRY_COMPARE(QApplication::focusWidget(), name);
            QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(prompts.undos.size(), 1);
            QTRY_VERIFY(QFile::exists(src + QStringLiteral("/a.txt")));
            QVERIFY(!QFile::exists(dest + QStringLiteral("/a.txt")));
            QTRY_COMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：撤销成功！"));
            // Ctrl+Z steps back through drops, not through undos: none is left.
            QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(prompts.undos.size(), 1);
            QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：没有可撤销的操作！"));
            QVERIFY(QFile::exists(src + QStringLiteral("/a.txt")));
            QCOMPARE(fx.dialogs.shown(), 0);
        }
        qb::setOperationPrompts(nullptr);
        qb::closeDropJournal();
    }

    // A drop the journal cannot record says so, and Ctrl+Z then takes back nothing
    // rather than the drop before it; a drop recorded after it can be undone again.
    void unrecordedDropIsNeverPassedBy() {
        FakePrompts prompts;
        qb::setOperationPrompts(&prompts);
        {
            Fixture fx(false);
            const QString dest = fx.folder(QStringLiteral("dest")),
                          src = fx.folder(QStringLiteral("src"));
            for (const char* n : {"/a", "/b", "/c"})
                writeFile(src + QLatin1String(n), "x");
            fx.form->Edit[5]->setText(dest);
            fx.form->Move->setChecked(true);
            const auto moved = [&](const char* n) {
                return fx.drop(fx.form->Edit[5], {src + QLatin1String(n)}) &&
                       QFile::exists(dest + QLatin1String(n));
            };
            QVERIFY(moved("/a"));
            QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：移动成功！"));
            // Another process holds the journal's write lock: b's row cannot be written.
            sqlite3* other = nullptr;
            const QString journal = qb::dropJournalFolder() + QStringLiteral("/journal.sqlite");
            QCOMPARE(sqlite3_open(QFile::encodeName(journal).constData(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
            QVERIFY(moved("/b"));
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
            QCOMPARE(fx.form->Labeltip->text(),
                     QStringLiteral("状态：移动成功！（未记录：无法撤销）"));
            QVERIFY(!fx.form->Labeltip->toolTip().contains(QStringLiteral("Ctrl+Z")));
            fx.form->undoLastDrop();
            QCOMPARE(prompts.undos.size(), 0);
            QCOMPARE(fx.form->Labeltip->text(),
                     QStringLiteral("状态：最近一次操作未记录，无法撤销！"));
            QVERIFY(QFile::exists(dest + QStringLiteral("/a")));

            QVERIFY(moved("/c"));
            QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：移动成功！"));
            fx.form->undoLastDrop();
            QCOMPARE(prompts.undos.size(), 1);
            QTRY_VERIFY(QFile::exists(src + QStringLiteral("/c")));
            QVERIFY(QFile::exists(dest + QStringLiteral("/a")));
        }
        qb::setOperationPrompts(nullptr);
        qb::closeDropJournal();
    }

    // A journal file that is no database is kept aside, a fresh one takes the drop
    // (it can be undone), and the status line says so once.
    void brokenJournalIsSetAside() {
        FakePrompts prompts;
        qb::setOperationPrompts(&prompts);
        {
            Fixture fx(false);
            const QString dest = fx.folder(QStringLiteral("dest")),
                          src = fx.folder(QStringLiteral("src"));
            writeFile(src + QStringLiteral("/a"), "x");
            writeFile(src + QStringLiteral("/b"), "x");
            const QDir folder(qb::dropJournalFolder());
            const QByteArray junk = QByteArray("not a database at all").leftJustified(8192, '.');
            writeFile(folder.filePath(QStringLiteral("journal.sqlite")), junk);
            fx.form->Edit[5]->setText(dest);
            fx.form->Move->setChecked(true);
            QVERIFY(fx.drop(fx.form->Edit[5], {src + QStringLiteral("/a")}));
            const QStringList aside =
                folder.entryList({QStringLiteral("journal.sqlite.broken-*")}, QDir::Files);
            QCOMPARE(aside.size(), 1);
            QFile kept(folder.filePath(aside[0]));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), junk);
            QCOMPARE(
                fx.form->Labeltip->text(),
                QStringLiteral("状态：移动成功！（操作记录已损坏，已另存为“%1”并重新开始记录）")
                    .arg(aside[0]));
            QVERIFY(fx.drop(fx.form->Edit[5], {src + QStringLiteral("/b")}));
            QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：移动成功！"));
            fx.form->undoLastDrop();
            QCOMPARE(prompts.undos.size(), 1);
            QTRY_VERIFY(QFile::exists(src + QStringLiteral("/b")));
        }
        qb::setOperationPrompts(nullptr);
        qb::closeDropJournal();
    }

    // "退出" while a job runs (its window holds off other clicks) asks first: no keeps
    // the job running, yes cancels it and ends the program once it has ended.
    void quitAsksWhileAJobRuns_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void quitAsksWhileAJobRuns() {
        QFETCH(bool, yes);
        Fixture fx;
        std::atomic<bool> ended{false};
        qb::setDropFileOperation([&ended](QWidget* owner, qb::Op op, qb::Policy, const QByteArray&,
                                          const QByteArray&, qb::OperationResultDone done) {
            qb::startOperationJob(
                owner, op,
                [&ended](qb::OperationObserver&, const std::atomic<bool>& cancel) {
                    while (!cancel)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    ended = true;
                    return qb::OperationResult{qb::Outcome::Cancelled};
                },
                done);
        });
        fx.form->Edit[5]->setText(fx.folder(QStringLiteral("dest")));
        fx.form->Copy->setChecked(true);
        const QString file = fx.scratch(QStringLiteral("f"));
        writeFile(file);
        QMimeData mime;
        Fixture::carry(mime, {file});
        QVERIFY(fx.drop(fx.form->Edit[5], mime, {-1, -1}, nullptr, false));
        QTRY_COMPARE(qb::runningOperations(), 1);
        fx.dialogs.yes = yes;
        // Whether the program's event loop was told to end within the time.
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, [&loop] { loop.exit(1); });
        QTimer::singleShot(0, [&fx] { QTest::mouseClick(fx.form->Button4, Qt::LeftButton); });
        const bool quit = loop.exec() == 0;
        QCOMPARE(fx.dialogs.questions.size(), 1);
        QCOMPARE(quit, yes);
        QCOMPARE(bool(ended), yes);
        QCOMPARE(fx.form->dropController().inProgress(), !yes);
        fx.form->dropController().cancelAll();
        QTRY_VERIFY(!fx.form->dropController().inProgress());
    }

    // Either field of a row, at its very corners, targets the row's path field; the
    // position the drop event gives decides, not the pointer (Xwayland does not
    // move the pointer during a drag from a Wayland window).
    void targetIsThePathFieldOfTheRowUnderThePointer() {
        Fixture fx;
        fx.form->Set->setChecked(true);
        int n = 0;
        for (int r : {1, 7, 8, 20}) {
            for (QLineEdit* field : {fx.form->Edit[r], fx.form->Ed[r]}) {
                const QSize s = field->size();
                for (QPoint at : {QPoint(0, 0), QPoint(s.width() - 1, s.height() - 1)}) {
                    const QString dir = fx.folder(QStringLiteral("d%1").arg(++n));
                    QVERIFY(fx.drop(field, {dir}, at));
                    QCOMPARE(fx.form->Edit[r]->text(), dir);
                    QCOMPARE(fx.form->focusWidget(), fx.form->Edit[r]);
                    QCOMPARE(fx.slotKey(r), dir); // group 1: the key is the row
                }
            }
        }
        for (int r = 1; r <= 20; ++r)
            if (r != 1 && r != 7 && r != 8 && r != 20)
                QCOMPARE(fx.form->Edit[r]->text(), QStringLiteral("/"));

        const QString dir = fx.folder(QStringLiteral("pointer"));
        QVERIFY(fx.drop(fx.form->Ed[9], {dir}, {-1, -1}, fx.form->Ed[3]));
        QCOMPARE(fx.form->Edit[3]->text(), dir);
        QCOMPARE(fx.form->Edit[9]->text(), QStringLiteral("/"));
    }

    // Anything but a slot field refuses the drop: nothing changes, the status line
    // keeps its text, and the focus goes to what the pointer is over.
    void dropsBesideTheSlotsAreRefused() {
        Fixture fx;
        fx.form->Edit[7]->setText(fx.folder(QStringLiteral("dest")));
        const QString file = fx.scratch(QStringLiteral("f.txt"));
        writeFile(file);
        TForm1& f = *fx.form;
        // A point of Panel1 between rows 7 and 8, where no field is.
        const QPoint gap = f.Edit[7]->geometry().bottomLeft() + QPoint(10, 1);
        QCOMPARE(f.Panel1->childAt(gap), nullptr);
        const QPoint free(110, 200); // between the two column captions
        QCOMPARE(f.Client->childAt(free), nullptr);

        struct Place {
            QWidget* on;
            QPoint at;
        };
        const QList<Place> places = {
            {f.RowLabel[7], {-1, -1}}, {f.Panel1, gap},       {f.RadioButton[3], {-1, -1}},
            {f.GroupBox1, {4, 4}},     {f.GroupBox3, {2, 2}}, {f.Labeltip, {-1, -1}},
            {f.Client, free},          {f.Button3, {-1, -1}}, {f.Set, {-1, -1}}};
        for (QRadioButton* mode : {f.Copy, f.Set, f.Move}) {
            mode->setChecked(true);
            for (const Place& p : places) {
                f.Edit[7]->setFocus();
                f.Labeltip->setText(QStringLiteral("before"));
                const QByteArray ini = bytesOf(fx.sysIni());
                QVERIFY(fx.drop(p.on, {file}, p.at));
                // A group frame hands its focus on to a button inside it.
                QWidget* focus = fx.form->focusWidget();
                QVERIFY2(focus == p.on || p.on->isAncestorOf(focus),
                         qPrintable(p.on->objectName()));
                QCOMPARE(f.Labeltip->text(), QStringLiteral("before"));
                QCOMPARE(bytesOf(fx.sysIni()), ini);
            }
        }
        QVERIFY(fx.fake.calls.isEmpty());
        QCOMPARE(f.Edit[7]->text(), fx.scratch(QStringLiteral("dest")));
        QVERIFY(QFile::exists(file));
    }

    // With no mode, even a slot refuses; the focus goes to the field under the
    // pointer itself, the name field included.
    void withoutAModeNothingHappens() {
        Fixture fx;
        fx.noMode();
        const QString dir = fx.folder(QStringLiteral("d"));
        const QByteArray ini = bytesOf(fx.sysIni());
        QVERIFY(fx.drop(fx.form->Ed[7], {dir}));
        QCOMPARE(fx.form->focusWidget(), fx.form->Ed[7]);
        QVERIFY(fx.drop(fx.form->Edit[2], {dir}));
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[2]);
        QVERIFY(fx.fake.calls.isEmpty());
        QCOMPARE(fx.form->Edit[7]->text(), QStringLiteral("/"));
        QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：无操作"));
        QCOMPARE(bytesOf(fx.sysIni()), ini);
    }

    // A drop comes while another program is active: the window takes the focus and
    // the target row shows as current, the row that had the focus no longer.
    void dropFromAnotherWindowHighlightsTheTargetRow() {
        Fixture fx;
        const auto base = [](QWidget* w) { return w->palette().color(QPalette::Base); };
        const QColor normal = base(fx.form->Panel1);
        fx.form->Edit[2]->setFocus(Qt::MouseFocusReason);
        QVERIFY(base(fx.form->Edit[2]) != normal);
        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));

        fx.form->Set->setChecked(true);
        QVERIFY(fx.drop(fx.form->Ed[7], {fx.folder(QStringLiteral("d"))}));
        QCOMPARE(QApplication::focusWidget(), fx.form->Edit[7]);
        QVERIFY(base(fx.form->Edit[7]) != normal);
        QVERIFY(base(fx.form->Ed[7]) != normal);
        QCOMPARE(base(fx.form->Edit[2]), normal);
    }
};

QTEST_MAIN(TestMainWinDrop)
#include "tst_mainwin_drop.moc"
