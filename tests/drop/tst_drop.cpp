// Drops on the board, driven by synthetic drag and drop events through the drop
// controller over a board view held in memory: the three modes, refused drops,
// what each item does, the status line and the row that gets the focus. (Which
// control of the real window is the target: tests/app/tst_mainwin_drop.cpp.)
#include "board/Accounts.h"
#include "board/Board.h"
#include "drop/DropController.h"
#include "drop/DropQueue.h"
#include "drop/SlotDisks.h"
#include "drop/SlotVerify.h"
#include "history/Journal.h"
#include "operation/DropHistory.h"
#include "operation/FileOperation.h"
#include "platform/Handler.h"
#include "store/Settings.h"
#include "tests/support/DropFixture.h"
#include "tests/support/FakeBoardView.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/Files.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace qb::test;
using qb::Choice;

namespace {

// The board's view, the board and its drop controller over the shared drop fixture.
class Fixture : public DropFixture {
public:
    explicit Fixture(bool fakeOperation = true) : DropFixture(fakeOperation) {
        view.board = &board;
        qb::runHandler(&view.window, [this] { board.loadCurrentAccount(); });
    }
    ~Fixture() { drops.reset(); }

    // The window's drag and drop handlers.
    void dragOver(QDragMoveEvent& e) {
        qb::runHandler(&view.window, [&] { drops->answerDrag(&e); });
    }
    void dropOn(QDropEvent& e) {
        qb::runHandler(&view.window, [&] { drops->takeDrop(&e, QPoint(5, 5)); });
    }

    // Drags `mime` over the window and lets go over `on`, a field of the view.
    // Returns whether the window took the drag; waits until the drop has been handled.
    bool drop(QWidget* on, const QMimeData& mime) {
        view.under = on;
        const QPoint at(5, 5);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        dragOver(enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        dragOver(move);
        if (!move.isAccepted()) return false;
        QDropEvent dropped(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        dropOn(dropped);
        lastDropAction = dropped.dropAction();
        if (waitForDrop && !QTest::qWaitFor([this] { return !drops->inProgress(); }, 5000))
            qFatal("drop not finished");
        return dropped.isAccepted();
    }
    bool drop(QWidget* on, const QStringList& paths) {
        QMimeData mime;
        carry(mime, paths);
        return drop(on, mime);
    }

    FakeBoardView view;
    qb::Board board{view};
    std::unique_ptr<qb::DropController> drops = std::make_unique<qb::DropController>(view, board);
    Qt::DropAction lastDropAction = Qt::IgnoreAction;
    bool waitForDrop = true; // drop() returns only once the drop has been handled
};

const QString kConfigured = QStringLiteral("状态：设置目录成功！");
const QString kNotConfigured = QStringLiteral("状态：设置目录失败！");
const QString kNoFolder = QStringLiteral("状态：目录不存在！");
const QString kCopied = QStringLiteral("状态：复制成功！");
const QString kMoved = QStringLiteral("状态：移动成功！");
const QString kCopyFailed = QStringLiteral("状态：复制失败！");
const QString kMoveFailed = QStringLiteral("状态：移动失败！");
const QString kCancelled = QStringLiteral("状态：操作已取消！");

} // namespace

class TestDrop : public QObject {
    Q_OBJECT

private slots:
    void onlyDragsWithLocalFilesAreTaken() {
        Fixture fx;
        const QString file = fx.scratch(QStringLiteral("a.txt"));
        writeFile(file);
        fx.view.applyPathText(5, fx.folder(QStringLiteral("dest")));

        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
        QVERIFY(!fx.drop(fx.view.nameFields[5], web));
        QMimeData text;
        text.setText(file);
        QVERIFY(!fx.drop(fx.view.nameFields[5], text));
        QVERIFY(fx.fake.calls.isEmpty());

        // Of a mixed drop only the local file counts; the source is told "copy"
        // even in move mode, so it never deletes anything itself.
        fx.view.click(Choice::Move);
        QMimeData mixed;
        mixed.setUrls(
            {QUrl(QStringLiteral("https://example.org/b.txt")), QUrl::fromLocalFile(file)});
        QVERIFY(fx.drop(fx.view.nameFields[5], mixed));
        QCOMPARE(fx.lastDropAction, Qt::CopyAction);
        QCOMPARE(fx.fake.calls.size(), 1);
        QCOMPARE(fx.fake.calls[0].source, file);
        QCOMPARE(fx.fake.calls[0].op, qb::Op::Move);
    }

    // A drop whose data the server no longer hands out (Xwayland, a drag from a
    // Wayland window) takes the items the drag carried over the window; the next
    // drag starts afresh.
    void dropWithoutDataTakesTheDragsItems() {
        Fixture fx;
        fx.view.click(Choice::Copy);
        fx.view.applyPathText(4, fx.folder(QStringLiteral("dest")));
        const QString item = fx.scratch(QStringLiteral("carried.txt"));
        writeFile(item);
        QMimeData carried;
        carried.setUrls({QUrl::fromLocalFile(item)});
        QMimeData empty;
        fx.view.under = fx.view.pathFields[4];
        const QPoint at(5, 5);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &carried, Qt::LeftButton, Qt::NoModifier);
        fx.dragOver(enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(at), offered, &empty, Qt::LeftButton, Qt::NoModifier);
        fx.dropOn(dropped);
        QVERIFY(dropped.isAccepted());
        QVERIFY(QTest::qWaitFor([&] { return !fx.drops->inProgress(); }, 5000));
        QCOMPARE(fx.fake.calls.size(), 1);
        QCOMPARE(fx.fake.calls[0].source, item);

        QDropEvent again(QPointF(at), offered, &empty, Qt::LeftButton, Qt::NoModifier);
        fx.dropOn(again);
        QVERIFY(!again.isAccepted());
        QCOMPARE(fx.fake.calls.size(), 1);
    }

    void configureModeTextOfEachKindOfItem() {
        QTemporaryDir tmp;
        const QString work = tmp.filePath(QStringLiteral("工作 目录"));
        const QString plan = work + QStringLiteral("/计划 1.txt");
        writeFile(plan);
        QVERIFY(QFile::link(work, tmp.filePath(QStringLiteral("to-folder"))));
        QVERIFY(QFile::link(plan, tmp.filePath(QStringLiteral("to-file"))));
        QVERIFY(
            QFile::link(tmp.filePath(QStringLiteral("gone")), work + QStringLiteral("/broken")));

        QCOMPARE(qb::configureModeText(plan), work + u'/');
        QCOMPARE(qb::configureModeText(work), work);
        QCOMPARE(qb::configureModeText(work + u'/'), work + u'/');
        QCOMPARE(qb::configureModeText(QStringLiteral("/")), QStringLiteral("/"));
        const QString missing = tmp.filePath(QStringLiteral("no/such.txt"));
        QCOMPARE(qb::configureModeText(missing), missing);
        // A link stands for what it points to when deciding folder or file, but the
        // folder part is the link's own.
        QCOMPARE(qb::configureModeText(tmp.filePath(QStringLiteral("to-folder"))),
                 tmp.filePath(QStringLiteral("to-folder")));
        QCOMPARE(qb::configureModeText(tmp.filePath(QStringLiteral("to-file"))), tmp.path() + u'/');
        QCOMPARE(qb::configureModeText(work + QStringLiteral("/broken")), work + u'/');
    }

    void configureDropOfAFileStoresItsFolder() {
        Fixture fx;
        fx.view.click(Choice::Set);
        const QString work = fx.folder(QStringLiteral("工作 目录"));
        writeFile(work + QStringLiteral("/计划 1.txt"));
        QVERIFY(fx.drop(fx.view.nameFields[7], {work + QStringLiteral("/计划 1.txt")}));
        QCOMPARE(fx.view.paths[7], work + u'/');
        QCOMPARE(fx.view.names[7], QStringLiteral("工作 目录"));
        QCOMPARE(fx.slotKey(7), work + u'/');
        QCOMPARE(fx.view.status, kConfigured);
        QCOMPARE(fx.view.focused, fx.view.pathFields[7]);

        // A path that is not found is stored as it is, and still reported as set.
        const QString missing = fx.scratch(QStringLiteral("gone/away"));
        fx.view.status.clear();
        QVERIFY(fx.drop(fx.view.pathFields[7], {missing}));
        QCOMPARE(fx.slotKey(7), missing);
        QCOMPARE(fx.view.status, kConfigured);
    }

    // Three folders in one drop: each is saved before the next, the third stays.
    void threeFoldersInOneDrop() {
        Fixture fx;
        fx.view.click(Choice::Set);
        const QStringList dirs = {fx.folder(QStringLiteral("one")),
                                  fx.folder(QStringLiteral("two")),
                                  fx.folder(QStringLiteral("three"))};
        QStringList seen;
        // Runs after the board's change handling, so this sees its result.
        fx.view.pathChanged = [&](int r) {
            if (r == 4) seen << fx.view.paths[4] + u'=' + fx.slotKey(4);
        };
        QVERIFY(fx.drop(fx.view.pathFields[4], dirs));
        QCOMPARE(seen, (QStringList{dirs[0] + u'=' + dirs[0], dirs[1] + u'=' + dirs[1],
                                    dirs[2] + u'=' + dirs[2]}));
        QCOMPARE(fx.view.paths[4], dirs[2]);
        QCOMPARE(fx.view.names[4], QStringLiteral("three"));
        QCOMPARE(fx.view.status, kConfigured);
    }

    // Every configure-mode item runs the change handling exactly once, also when the
    // field already shows its text. A refused settings write makes each run visible
    // as one error box, and does not end the drop.
    void configureRunsTheChangeHandlingOncePerItem() {
        Fixture fx;
        fx.view.click(Choice::Set);
        const QString a = fx.folder(QStringLiteral("a"));
        const QString b = fx.folder(QStringLiteral("b"));
        fx.view.applyPathText(6, a);

        // A key lost from the file comes back when the same folder is dropped again.
        qb::WriteSetting(fx.sysIni(), QStringLiteral("我的文件夹"), QStringLiteral("6"), b);
        QVERIFY(fx.drop(fx.view.pathFields[6], {a}));
        QCOMPARE(fx.slotKey(6), a);

        QFile::setPermissions(fx.sysIni(), QFile::ReadOwner);
        QVERIFY(fx.drop(fx.view.nameFields[6], {a}));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(fx.drop(fx.view.nameFields[6], {b}));
        QCOMPARE(fx.dialogs.errors.size(), 2);
        QVERIFY(fx.drop(fx.view.nameFields[6], {b, b, a}));
        QCOMPARE(fx.dialogs.errors.size(), 5);
        QCOMPARE(fx.view.paths[6], a);
        QCOMPARE(fx.view.status, kConfigured);
        QCOMPARE(fx.view.focused, fx.view.pathFields[6]);
    }

    // A configure drop says it set the slot only when the slot's path is stored:
    // not with no group checked, nor when the write was refused.
    void configureDropThatStoresNothingSaysSo() {
        Fixture fx;
        fx.view.click(Choice::Set);
        const QString a = fx.folder(QStringLiteral("a"));
        fx.view.uncheckGroups();
        const QByteArray before = bytesOf(fx.sysIni());
        QVERIFY(fx.drop(fx.view.nameFields[3], {a}));
        QCOMPARE(fx.view.paths[3], a);
        QCOMPARE(fx.view.names[3], QStringLiteral("a"));
        QCOMPARE(bytesOf(fx.sysIni()), before);
        QCOMPARE(fx.view.status, kNotConfigured);

        fx.view.clickGroup(1);
        QFile::setPermissions(fx.sysIni(), QFile::ReadOwner);
        const QString b = fx.folder(QStringLiteral("b"));
        QVERIFY(fx.drop(fx.view.nameFields[3], {b}));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(fx.view.status, kNotConfigured);
        QCOMPARE(fx.slotKey(3), QStringLiteral("/"));
    }

    // After a login that a read-only account file ended early, a drop finds no
    // group and no path of the previous account: it stores nothing anywhere.
    void dropAfterARefusedLoginActsOnNothingOld() {
        Fixture fx;
        const QString old = fx.folder(QStringLiteral("old"));
        fx.view.applyPathText(2, old);
        const QString account = fx.programDir.filePath(QStringLiteral("user/userb.ini"));
        writeFile(account, "[\xb7\xbd\xb0\xb8]\r\noperate=Set\r\n"); // 方案 in GB18030
        QFile::setPermissions(account, QFile::ReadOwner);
        qb::chooseAccount(QStringLiteral("b"));
        qb::runHandler(&fx.view.window, [&] { fx.board.loadCurrentAccount(); });
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(fx.view.isChecked(Choice::Set));
        QCOMPARE(fx.view.paths[2], QString());

        const QByteArray sys = bytesOf(fx.sysIni());
        const QString dir = fx.folder(QStringLiteral("new"));
        QVERIFY(fx.drop(fx.view.nameFields[2], {dir}));
        QCOMPARE(fx.view.status, kNotConfigured);
        QCOMPARE(bytesOf(fx.sysIni()), sys);
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QFile::setPermissions(account, QFile::ReadOwner | QFile::WriteOwner);
    }

    // One operation per item, in drop order, into the folder the slot shows, with
    // the checked policy.
    void copyAndMoveRunOneOperationPerItem() {
        Fixture fx;
        const QString dest = fx.folder(QStringLiteral("目标 文件夹")) + u'/';
        fx.view.applyPathText(5, dest);
        const QStringList items = {fx.scratch(QStringLiteral("b.txt")),
                                   fx.scratch(QStringLiteral("a 文件.txt")),
                                   fx.folder(QStringLiteral("c"))};
        struct Case {
            Choice mode;
            Choice policyButton;
            qb::Op op;
            qb::Policy policy;
            QString status;
        };
        const QList<Case> cases = {
            {Choice::Copy, Choice::Replace, qb::Op::Copy, qb::Policy::AskReplace, kCopied},
            {Choice::Move, Choice::Rename, qb::Op::Move, qb::Policy::AutoRename, kMoved},
            {Choice::Copy, Choice::AutoReplace, qb::Op::Copy, qb::Policy::AutoReplace, kCopied},
        };
        for (const Case& c : cases) {
            fx.view.click(c.mode);
            fx.view.click(c.policyButton);
            fx.fake.calls.clear();
            fx.view.status.clear();
            QVERIFY(fx.drop(fx.view.nameFields[5], items));
            QCOMPARE(fx.fake.calls.size(), 3);
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(fx.fake.calls[i].source, items[i]);
                QCOMPARE(fx.fake.calls[i].dest, dest);
                QCOMPARE(fx.fake.calls[i].op, c.op);
                QCOMPARE(fx.fake.calls[i].policy, c.policy);
            }
            QCOMPARE(fx.view.status, c.status);
            QCOMPARE(fx.view.focused, fx.view.pathFields[5]);
        }
    }

    // An item dropped twice is moved once, and the drop is reported as moved; a
    // copy takes it twice, as asked.
    void anItemDroppedTwice() {
        Fixture fx;
        const QString file = fx.scratch(QStringLiteral("twice.txt"));
        writeFile(file);
        fx.view.applyPathText(4, fx.folder(QStringLiteral("dest")));
        for (Choice mode : {Choice::Move, Choice::Copy}) {
            fx.view.click(mode);
            fx.fake.calls.clear();
            QVERIFY(
                fx.drop(fx.view.nameFields[4], {file, fx.scratch(QStringLiteral("./twice.txt"))}));
            QCOMPARE(fx.fake.calls.size(), mode == Choice::Move ? 1 : 2);
            QCOMPARE(fx.view.status, mode == Choice::Move ? kMoved : kCopied);
        }
    }

    // The destination and the policy are read again for every item.
    void destinationAndPolicyAreReadPerItem() {
        Fixture fx;
        const QString first = fx.folder(QStringLiteral("first"));
        const QString second = fx.folder(QStringLiteral("second"));
        fx.view.applyPathText(9, first);
        fx.fake.during = [&](int n) {
            if (n != 0) return;
            fx.view.click(Choice::AutoReplace);
            fx.view.applyPathText(9, second);
        };
        QVERIFY(fx.drop(fx.view.pathFields[9],
                        {fx.scratch(QStringLiteral("x")), fx.scratch(QStringLiteral("y"))}));
        QCOMPARE(fx.fake.calls.size(), 2);
        QCOMPARE(fx.fake.calls[0].dest, first);
        QCOMPARE(fx.fake.calls[0].policy, qb::Policy::AskReplace);
        QCOMPARE(fx.fake.calls[1].dest, second);
        QCOMPARE(fx.fake.calls[1].policy, qb::Policy::AutoReplace);
    }

    // The status line tells what really happened to the whole drop: success only
    // when every item was done; a cancel ends the drop, a failure does not.
    void statusFollowsTheOutcome_data() {
        QTest::addColumn<bool>("move");
        // D done, F failed, C cancelled, R done but a replaced file no Trash took, item by item
        QTest::addColumn<QString>("outcomes");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("status");
        QTest::newRow("copy failed") << false << "DDF" << 3 << kCopyFailed;
        QTest::newRow("move failed") << true << "DDF" << 3 << kMoveFailed;
        QTest::newRow("failure then done") << false << "FDD" << 3 << kCopyFailed;
        QTest::newRow("failure then cancel") << true << "FC" << 2 << kCancelled;
        QTest::newRow("replaced beyond the Trash")
            << false << "DRD" << 3 << kCopied + QStringLiteral("旧文件未能放入回收站");
        QTest::newRow("copy cancelled") << false << "DC" << 2 << kCancelled;
        QTest::newRow("move cancelled first") << true << "C" << 1 << kCancelled;
        QTest::newRow("moved") << true << "" << 3 << kMoved;
    }
    void statusFollowsTheOutcome() {
        QFETCH(bool, move);
        QFETCH(QString, outcomes);
        QFETCH(int, calls);
        QFETCH(QString, status);
        Fixture fx;
        fx.view.click(move ? Choice::Move : Choice::Copy);
        fx.view.applyPathText(3, fx.folder(QStringLiteral("dest")));
        for (QChar c : outcomes) {
            qb::OperationResult r;
            r.outcome = c == u'F'   ? qb::Outcome::Failed
                        : c == u'C' ? qb::Outcome::Cancelled
                                    : qb::Outcome::Done;
            r.destroyed = c == u'R' ? 1 : 0;
            fx.fake.outcomes << r;
        }
        QVERIFY(fx.drop(fx.view.nameFields[3],
                        {fx.scratch(QStringLiteral("1")), fx.scratch(QStringLiteral("2")),
                         fx.scratch(QStringLiteral("3"))}));
        QCOMPARE(fx.fake.calls.size(), calls);
        QCOMPARE(fx.view.status, status);
        QCOMPARE(fx.view.focused, fx.view.pathFields[3]);
    }

    // A slot that shows no existing folder copies nothing, item by item.
    void missingDestinationFolder() {
        Fixture fx;
        const QString file = fx.scratch(QStringLiteral("plain.txt"));
        writeFile(file);
        for (Choice mode : {Choice::Copy, Choice::Move}) {
            fx.view.click(mode);
            for (const QString& dest : {fx.scratch(QStringLiteral("no/such")), QString(), file}) {
                fx.view.applyPathText(11, dest);
                fx.view.status.clear();
                QVERIFY(
                    fx.drop(fx.view.nameFields[11], {file, fx.scratch(QStringLiteral("other"))}));
                QCOMPARE(fx.view.status, kNoFolder);
                QCOMPARE(fx.view.focused, fx.view.pathFields[11]);
            }
        }
        QVERIFY(fx.fake.calls.isEmpty());
    }

    // While one drop is still running its operations, a second one is taken and
    // queued: it starts once the first is done, and the status line says it waits.
    void aSecondDropWaitsForTheFirst() {
        Fixture fx;
        fx.view.applyPathText(2, fx.folder(QStringLiteral("dest")));
        const QString file = fx.scratch(QStringLiteral("f"));
        const QString other = fx.scratch(QStringLiteral("g"));
        writeFile(file);
        writeFile(other);
        bool enterAccepted = false;
        bool dropAccepted = false;
        QStringList statuses;
        fx.fake.during = [&](int n) {
            statuses << fx.view.status;
            if (n != 0) return;
            fx.view.under = fx.view.nameFields[2];
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(other)});
            const QPoint at(5, 5);
            QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            fx.dragOver(enter);
            enterAccepted = enter.isAccepted();
            QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            fx.dropOn(drop);
            dropAccepted = drop.isAccepted();
            QCoreApplication::processEvents();
        };
        QVERIFY(fx.drop(fx.view.nameFields[2], {file, file}));
        QVERIFY(enterAccepted);
        QVERIFY(dropAccepted);
        QCOMPARE(fx.fake.calls.size(), 3);
        QCOMPARE(fx.fake.calls[2].source, other);
        // The first drop's second item ran while the other waited.
        QCOMPARE(statuses.value(0), QString()); // a lone drop says nothing of a queue
        QCOMPARE(statuses.value(1), QStringLiteral("状态：正在复制…（另有 1 项等待）"));
        QCOMPARE(fx.view.status, kCopied);
    }

    // Which waiting jobs may start beside the running ones.
    void queuePlan_data() {
        QTest::addColumn<QString>("running"); // jobs: op(C/M/R for rename) @devices :paths
        QTest::addColumn<QString>("waiting");
        QTest::addColumn<QString>("starts"); // indices of `waiting`
        // A job: "C1>/d" copies from device 1 into /d; "C12" spans devices 1 and 2.
        const auto row = [](const char* name, const char* running, const char* waiting,
                            const char* starts) {
            QTest::newRow(name) << QString(running) << QString(waiting) << QString(starts);
        };
        row("nothing runs: the first starts, the same disk waits", "", "C1 C1 C2", "0 2");
        row("same disk waits behind a copy", "C1", "C1", "");
        row("other disks run beside", "C1", "C2 C3", "0 1");
        row("a job spanning a busy disk waits", "C1", "C23 C31", "0");
        row("a rename never waits behind a copy", "C1", "R1 C1 R1", "0 2");
        row("a copy does not wait behind a rename", "R1", "C1", "0");
        row("order is kept on one disk", "C2", "C1 C12 C1", "0");
        row("a cross-disk move waits like a copy", "C1", "M12", "");
    }
    void queuePlan() {
        QFETCH(QString, running);
        QFETCH(QString, waiting);
        QFETCH(QString, starts);
        int n = 0;
        const auto parse = [&n](const QString& list) {
            std::vector<qb::JobFootprint> out;
            for (const QString& j : list.split(u' ', Qt::SkipEmptyParts)) {
                qb::JobFootprint f;
                f.move = j[0] != u'C';
                f.rename = j[0] == u'R';
                for (QChar d : j.mid(1))
                    f.devices.push_back(dev_t(d.digitValue()));
                // Unrelated paths: only the disks decide here.
                f.sources = {"/src/" + std::to_string(n)};
                f.dest = "/dest/" + std::to_string(n++);
                out.push_back(f);
            }
            return out;
        };
        const auto r = parse(running);
        QStringList got;
        for (std::size_t i : qb::startable(r, parse(waiting)))
            got << QString::number(i);
        QCOMPARE(got.join(u' '), starts);
    }

    // Jobs that meet at their paths keep their order, even a rename: a move must
    // not take away what a copy reads or writes into.
    void queuePlanKeepsOrderWhereJobsMeet() {
        const auto job = [](bool rename, std::string src, std::string dest) {
            qb::JobFootprint f;
            f.move = f.rename = rename;
            f.devices = {1};
            f.sources = {std::move(src)};
            f.dest = std::move(dest);
            return f;
        };
        const qb::JobFootprint copy = job(false, "/a/tree", "/b");
        QVERIFY(qb::mustWait(job(true, "/a/tree/x", "/c"), copy));  // moves what the copy reads
        QVERIFY(qb::mustWait(job(true, "/b/tree", "/c"), copy));    // moves what it writes
        QVERIFY(qb::mustWait(job(true, "/a", "/c"), copy));         // moves its source's folder
        QVERIFY(qb::mustWait(job(false, "/d/y", "/a/tree"), copy)); // writes into what it reads
        QVERIFY(!qb::mustWait(job(true, "/a/treetop", "/c"), copy));
        QVERIFY(!qb::mustWait(job(true, "/c/z", "/b"),
                              copy)); // into the same folder: placed atomically
    }

    // Every way in gets its plan from one place: copy or move by --copy/--move, then
    // the slot's own action, then the board's mode; the policy the board shows; the
    // verdict of the folder and of the disk it was chosen on.
    void planForEveryWayIn_data() {
        QTest::addColumn<int>("way"); // DropWay, or 3 and 4 for a send with --copy, --move
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("boardMoves");
        QTest::addColumn<int>("verdict"); // 0: works, 1: folder gone, 2: its disk not there
        const char* ways[] = {"drag", "list entry", "send", "send --copy", "send --move"};
        const char* actions[] = {"follows", "copies", "moves"};
        const char* verdicts[] = {"works", "folder gone", "disk gone"};
        for (int w = 0; w < 5; ++w)
            for (int a = 0; a < 3; ++a)
                for (bool m : {false, true})
                    for (int v = 0; v < 3; ++v)
                        QTest::addRow("%s, slot %s, board %s, %s", ways[w], actions[a],
                                      m ? "moves" : "copies", verdicts[v])
                            << w << a << m << v;
    }
    void planForEveryWayIn() {
        QFETCH(int, way);
        QFETCH(int, action);
        QFETCH(bool, boardMoves);
        QFETCH(int, verdict);
        Fixture fx;
        const QString dest = fx.folder(QStringLiteral("slot"));
        const QString sub = fx.folder(QStringLiteral("slot/sub"));
        fx.view.applyPathText(4, dest);
        fx.view.click(Choice::AutoReplace);
        fx.view.click(boardMoves ? Choice::Move : Choice::Copy);
        fx.board.storeSlotAction(4, qb::SlotAction(action));
        if (verdict == 1) QVERIFY(QDir(dest).removeRecursively());
        if (verdict == 2) QVERIFY(qb::storeSlotDisk(1, 4, dest, QStringLiteral("nowhere:1")));

        const qb::DropWay w = way >= 2 ? qb::DropWay::Send : qb::DropWay(way);
        const qb::AskedOp asked = way == 3   ? qb::AskedOp::Copy
                                  : way == 4 ? qb::AskedOp::Move
                                             : qb::AskedOp::Board;
        const qb::DropPlan plan = fx.drops->planner().plan(
            w, {0, 4, w == qb::DropWay::ListEntry ? sub : QString()}, asked, {});

        const bool moves = way == 4 || (way != 3 && (action == 2 || (action == 0 && boardMoves)));
        QCOMPARE(plan.op, moves ? qb::Op::Move : qb::Op::Copy);
        QCOMPARE(plan.slotsOwnAction, way < 3 && action != 0);
        QCOMPARE(plan.policy, qb::Policy::AutoReplace);
        QCOMPARE(plan.followsBoard(), way < 2);
        QCOMPARE(plan.destFolder, w == qb::DropWay::ListEntry ? sub : dest);
        QCOMPARE(plan.group, 1);
        QCOMPARE(plan.row, 4);
        const QString refusal = verdict == 0 ? QString()
                                : verdict == 1
                                    ? kNoFolder
                                    : QStringLiteral("状态：无法放入：文件夹所在的磁盘未连接");
        QCOMPARE(plan.refusal, refusal);
        // What the plan says is what the queue does: a refused one touches nothing.
        const QString item = fx.scratch(QStringLiteral("a.txt"));
        writeFile(item);
        if (w == qb::DropWay::Send) {
            if (!plan.refused()) fx.drops->enqueue(plan, {QFile::encodeName(item)});
        } else if (w == qb::DropWay::Drag) {
            fx.view.status = QStringLiteral("状态：之前");
            QMimeData mime;
            Fixture::carry(mime, {item});
            fx.view.under = fx.view.nameFields[4];
            QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton,
                                Qt::NoModifier);
            fx.drops->hoverDrag(&over, QPoint(5, 5), false);
            QCOMPARE(over.isAccepted(), !plan.refused());
            if (plan.refused()) {
                // Let go over the slot the hover refused: a refused drop, told after it.
                fx.drops->leaveDrag(true);
                QCOMPARE(fx.view.status, refusal);
                QCOMPARE(fx.view.focused, fx.view.pathFields[4]);
            } else {
                QVERIFY(fx.drop(fx.view.nameFields[4], {item}));
            }
        }
        QTRY_VERIFY(!fx.drops->inProgress());
        if (w == qb::DropWay::ListEntry) return;
        QCOMPARE(fx.fake.calls.size(), plan.refused() ? 0 : 1);
        if (!plan.refused()) QCOMPARE(fx.fake.calls[0].op, plan.op);
    }

    // A drop that raced the hover's refusal is refused as it lands; a drag that
    // leaves a refused slot without being let go there says nothing.
    void refusedDropsAndDragsMovedAway() {
        Fixture fx;
        fx.view.click(Choice::Copy);
        fx.view.applyPathText(2, fx.scratch(QStringLiteral("gone")));
        fx.view.status = QStringLiteral("状态：之前");
        const QString item = fx.scratch(QStringLiteral("a.txt"));
        writeFile(item);
        QVERIFY(fx.drop(fx.view.nameFields[2], {item}));
        QCOMPARE(fx.view.status, kNoFolder);
        QCOMPARE(fx.view.focused, fx.view.pathFields[2]);

        fx.view.status = QStringLiteral("状态：之前");
        fx.view.focused = nullptr;
        QMimeData mime;
        Fixture::carry(mime, {item});
        QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        fx.drops->hoverDrag(&over, QPoint(5, 5), false);
        QVERIFY(!over.isAccepted());
        fx.drops->leaveDrag(false);
        QCOMPARE(fx.view.status, QStringLiteral("状态：之前"));
        QCOMPARE(fx.view.focused, nullptr);
        QVERIFY(fx.fake.calls.isEmpty());
    }

    // Verify after copy is each slot's own choice, stored only once made (a folder
    // here is on no removable drive: off until then); a verified drop's report and
    // journal say so.
    void verifyIsTheSlotsChoice() {
        Fixture fx(false);
        const QString dest = fx.folder(QStringLiteral("slot"));
        fx.view.applyPathText(4, dest);
        fx.view.click(Choice::Copy);
        fx.view.click(Choice::Rename);
        const auto stored = [&] {
            return qb::ReadSetting(fx.sysIni(), qb::slotVerifySection(), QStringLiteral("4"),
                                   QStringLiteral("<none>"));
        };
        for (const char* choice : {"", "1", "0"}) {
            if (*choice) qb::storeSlotVerify(1, 4, *choice == '1');
            QCOMPARE(stored(), *choice ? QString::fromLatin1(choice) : QStringLiteral("<none>"));
            const qb::DropPlan plan =
                fx.drops->planner().plan(qb::DropWay::Send, {0, 4, {}}, qb::AskedOp::Board, {});
            QCOMPARE(plan.verify, *choice == '1');
            const QString item = fx.scratch(QStringLiteral("a.txt"));
            writeFile(item);
            std::optional<qb::DropReport> report;
            fx.drops->enqueue(plan, {QFile::encodeName(item)},
                              [&](const qb::DropReport& r, const QString&) { report = r; });
            QTRY_VERIFY(report);
            QCOMPARE(report->verified, plan.verify ? 1u : 0u);
            QCOMPARE(report->done.size(), 1);
            qb::history::Journal* journal = qb::dropJournal();
            QVERIFY(journal);
            QCOMPARE(journal->verified(journal->drops({}, 1).at(0).id), plan.verify);
            const auto notice = qb::dropNotice(*report);
            QVERIFY(notice);
            QCOMPARE(notice->body.contains(QStringLiteral("已校验")), plan.verify);
        }
    }

    // The disk a slot was chosen on is kept beside the journal, never in a settings
    // file; what an older copy kept there is taken over once and left as it is.
    void slotDisksStayOutOfTheSettingsFiles() {
        Fixture fx;
        const QString dest = fx.folder(QStringLiteral("d"));
        qb::WriteSetting(fx.sysIni(), QStringLiteral("槽位磁盘"), QStringLiteral("7"),
                         QStringLiteral("old:disk"));
        qb::WriteSetting(fx.sysIni(), QStringLiteral("槽位磁盘"), QStringLiteral("7路径"), dest);
        QCOMPARE(qb::slotDisk(1, 7, dest), QStringLiteral("old:disk"));
        QCOMPARE(qb::slotDisk(1, 7, dest + QStringLiteral("/x")), QString()); // another path

        fx.view.click(Choice::Set);
        QVERIFY(fx.drop(fx.view.nameFields[3], {dest}));
        QCOMPARE(fx.view.status, kConfigured);
        QVERIFY(!qb::slotDisk(1, 3, dest).isEmpty());
        const auto stored = [&](const char* key) {
            return qb::ReadSetting(fx.sysIni(), QStringLiteral("槽位磁盘"), QString::fromUtf8(key),
                                   QStringLiteral("<none>"));
        };
        QCOMPARE(stored("3"), QStringLiteral("<none>"));
        QCOMPARE(stored("3路径"), QStringLiteral("<none>"));
        // The old section stands as it was, and is not read again.
        QCOMPARE(stored("7"), QStringLiteral("old:disk"));
        qb::WriteSetting(fx.sysIni(), QStringLiteral("槽位磁盘"), QStringLiteral("7"),
                         QStringLiteral("changed:later"));
        QCOMPARE(qb::slotDisk(1, 7, dest), QStringLiteral("old:disk"));
    }

    // The queue through the controller: a same-disk move overtakes a running
    // copy, cancelling one job leaves the next alone, a removed job touches
    // nothing, and each job reports its own outcome.
    void queuedJobs() {
        Fixture fx(false);
        struct Running {
            QString source;
            qb::OperationResultDone done;
        };
        QList<Running> running;
        qb::setDropFileOperation([&](QWidget*, qb::Op, qb::Policy, const QByteArray& source,
                                     const QByteArray&, qb::OperationResultDone done) {
            running.append({QFile::decodeName(source), std::move(done)});
        });
        const QString dest = fx.folder(QStringLiteral("dest"));
        fx.view.applyPathText(1, dest);
        const auto item = [&](const QString& name) {
            writeFile(fx.scratch(name));
            return QFile::encodeName(fx.scratch(name));
        };
        QList<std::pair<qb::Outcome, QString>> ends;
        const auto record = [&](const qb::DropReport& r, const QString& status) {
            ends.append({r.overall(), status});
        };
        const auto send = [&](qb::Op op, const QByteArray& path) {
            const qb::AskedOp asked = op == qb::Op::Move ? qb::AskedOp::Move : qb::AskedOp::Copy;
            return fx.drops->enqueue(
                fx.drops->planner().plan(qb::DropWay::Send, {0, 1, {}}, asked, {}), {path}, record);
        };
        const quint64 copy1 = send(qb::Op::Copy, item("c1"));
        const quint64 copy2 = send(qb::Op::Copy, item("c2"));
        const quint64 copy3 = send(qb::Op::Copy, item("c3"));
        send(qb::Op::Move, item("m"));
        QTRY_COMPARE(running.size(), 2);
        QCOMPARE(running[0].source, fx.scratch(QStringLiteral("c1")));
        QCOMPARE(running[1].source, fx.scratch(QStringLiteral("m"))); // the rename overtook
        QCOMPARE(fx.drops->waitingCount(), 2);
        // What runs is said while others wait, never what ran before.
        const QString copyingWithTwo = QStringLiteral("状态：正在复制…（另有 2 项等待）");
        QCOMPARE(fx.view.status, copyingWithTwo);
        QVERIFY(!fx.drops->removeQueued(copy1)); // running: not removable

        running[1].done(qb::OperationResult{qb::Outcome::Done});
        QCOMPARE(ends.size(), 1);
        QCOMPARE(ends[0], std::make_pair(qb::Outcome::Done, kMoved)); // its own status
        QCOMPARE(fx.view.status, copyingWithTwo);

        // Removing a waiting job ends it untouched, without starting it.
        QVERIFY(fx.drops->removeQueued(copy2));
        QVERIFY(!fx.drops->removeQueued(copy2));
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends[1].first, qb::Outcome::Cancelled);
        QVERIFY(QFileInfo::exists(fx.scratch(QStringLiteral("c2"))));

        // The first copy is cancelled: the third starts, and is not cancelled with it.
        running[0].done(qb::OperationResult{qb::Outcome::Cancelled});
        QCOMPARE(ends[2], std::make_pair(qb::Outcome::Cancelled, kCancelled));
        QTRY_COMPARE(running.size(), 3);
        QCOMPARE(running[2].source, fx.scratch(QStringLiteral("c3")));
        QVERIFY(fx.drops->inProgress());
        QVERIFY(!fx.drops->removeQueued(copy3));
        running[2].done(qb::OperationResult{qb::Outcome::Done});
        QCOMPARE(ends.size(), 4);
        QCOMPARE(ends[3], std::make_pair(qb::Outcome::Done, kCopied));
        QCOMPARE(fx.view.status, kCopied);
        QVERIFY(!fx.drops->inProgress());
    }

    // The items of a drop run one after another: the next starts only once the
    // outcome of the one before has arrived, and the status line follows the
    // drop's outcome so far. An outcome that arrives after the window has gone changes nothing.
    void itemsWaitForTheOutcomeOfTheOneBefore() {
        Fixture fx(false);
        QList<qb::OperationResultDone> running;
        QStringList sources;
        qb::setDropFileOperation([&](QWidget*, qb::Op, qb::Policy, const QByteArray& source,
                                     const QByteArray&, qb::OperationResultDone done) {
            sources << QFile::decodeName(source);
            running << std::move(done);
        });
        fx.view.click(Choice::Copy);
        fx.view.applyPathText(5, fx.folder(QStringLiteral("dest")));
        const QStringList items = {fx.scratch(QStringLiteral("1")), fx.scratch(QStringLiteral("2")),
                                   fx.scratch(QStringLiteral("3"))};
        fx.waitForDrop = false;
        QVERIFY(fx.drop(fx.view.nameFields[5], items));
        QTRY_COMPARE(running.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(running.size(), 1);
        QVERIFY(fx.drops->inProgress());

        const struct {
            qb::Outcome outcome;
            QString status;
        } steps[] = {{qb::Outcome::Done, kCopied},
                     {qb::Outcome::Failed, kCopyFailed},
                     {qb::Outcome::Done, kCopyFailed}}; // the drop as a whole failed
        for (int i = 0; i < 3; ++i) {
            const qb::OperationResultDone done = running[i]; // the call adds to the list
            done(qb::OperationResult{steps[i].outcome});
            QCOMPARE(fx.view.status, steps[i].status);
            QCOMPARE(running.size(), qMin(i + 2, 3));
        }
        QCOMPARE(sources, items);
        QVERIFY(!fx.drops->inProgress());
        QCOMPARE(fx.view.focused, fx.view.pathFields[5]);

        QVERIFY(fx.drop(fx.view.nameFields[5], {items[0]}));
        QTRY_COMPARE(running.size(), 4);
        fx.drops.reset(); // the window is gone
        const qb::OperationResultDone late = running[3];
        late(qb::OperationResult{});
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    // Through the real file operation: paths far beyond 254 characters, a file and
    // a folder tree, copied and moved.
    // A name in another code page (not UTF-8) is copied under its own bytes, and a
    // configure drop of it is refused, since the settings file could not hold it.
    void namesInAnotherCodePage() {
        Fixture fx(false);
        const QByteArray dest = QFile::encodeName(fx.folder(QStringLiteral("dest")));
        const QByteArray name = "\xB7\xBD\xB0\xB8.txt"; // "方案" in code page 936
        const QByteArray source = QFile::encodeName(fx.files.path()) + '/' + name;
        QVERIFY(::close(::open(source.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"),
                     "file://" + source.toPercentEncoding("/") + "\r\n");

        fx.view.applyPathText(2, QFile::decodeName(dest));
        fx.view.click(Choice::Copy);
        QVERIFY(fx.drop(fx.view.nameFields[2], mime));
        QCOMPARE(fx.view.status, kCopied);
        struct stat st {};
        QCOMPARE(::stat((dest + '/' + name).constData(), &st), 0);

        const QByteArray ini = bytesOf(fx.sysIni());
        fx.view.click(Choice::Set);
        const QByteArray iniWithMode = bytesOf(fx.sysIni());
        QVERIFY(fx.drop(fx.view.nameFields[2], mime));
        QCOMPARE(fx.view.status, QStringLiteral("状态：路径含无法保存的字符！"));
        QCOMPARE(fx.view.paths[2], QFile::decodeName(dest));
        QCOMPARE(bytesOf(fx.sysIni()), iniWithMode);
        QVERIFY(ini != iniWithMode); // the mode itself was stored
    }

    void realOperationsWithLongPaths() {
        Fixture fx(false);
        FakePrompts prompts;
        qb::setOperationPrompts(&prompts);
        struct Restore {
            ~Restore() { qb::setOperationPrompts(nullptr); }
        } restore;
        fx.view.click(Choice::Rename);
        const QString part = QString(200, u'p'); // one name may hold 255 bytes
        const QString dest = fx.folder(part + u'/' + part + u'/' + QStringLiteral("目标"));
        QVERIFY(dest.size() > 254);
        const QString tree = fx.folder(QStringLiteral("tree 树"));
        writeFile(tree + QStringLiteral("/sub/inner.bin"), QByteArray(70000, 'q'));
        const QString file = fx.scratch(part + QStringLiteral(".txt"));
        writeFile(file, "hello");

        fx.view.click(Choice::Set);
        QVERIFY(fx.drop(fx.view.nameFields[12], {dest}));
        QCOMPARE(fx.view.paths[12], dest);
        QCOMPARE(fx.slotKey(12), dest);

        fx.view.click(Choice::Copy);
        QVERIFY(fx.drop(fx.view.nameFields[12], {file}));
        QCOMPARE(fx.view.status, kCopied);
        QCOMPARE(bytesOf(dest + u'/' + part + QStringLiteral(".txt")), QByteArray("hello"));
        QVERIFY(QFile::exists(file));

        fx.view.click(Choice::Move);
        QVERIFY(fx.drop(fx.view.pathFields[12], {tree}));
        QCOMPARE(fx.view.status, kMoved);
        QCOMPARE(bytesOf(dest + QStringLiteral("/tree 树/sub/inner.bin")), QByteArray(70000, 'q'));
        QVERIFY(!QFileInfo::exists(tree));

        // A source that vanished is a failure, not a success.
        QVERIFY(fx.drop(fx.view.pathFields[12], {tree}));
        QCOMPARE(fx.view.status, kMoveFailed);
        QCOMPARE(prompts.errors, QStringList{tree});
        QCOMPARE(fx.view.focused, fx.view.pathFields[12]);
    }
};

QTEST_MAIN(TestDrop)
#include "tst_drop.moc"
