// Drops on the main window, driven by synthetic drag and drop events with the
// pointer placed where a user would let go: the target slot, the three modes,
// refused drops, the status line and the focus after every drop.
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "drop/DropController.h"
#include "drop/FileOperation.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "platform/ProgramFolder.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/Files.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace qb::test;

namespace {

// Answers the real operation's questions without a person, and remembers them.
class Prompts final : public qb::OperationPrompts {
public:
    QStringList errors;
    void askReplace(QWidget*, const qb::ItemInfo&, const qb::ItemInfo&,
                    ReplaceReply answer) override {
        answer(qb::ReplaceAnswer::No);
    }
    void askMerge(QWidget*, const qb::ItemInfo&, const qb::ItemInfo&,
                  ReplaceReply answer) override {
        answer(qb::ReplaceAnswer::No);
    }
    void askError(QWidget*, const qb::OpError& e, const QString&, ErrorReply answer) override {
        errors << QString::fromStdString(e.path);
        answer(qb::ErrorAnswer::Cancel);
    }
};

struct Call {
    qb::Op op;
    qb::Policy policy;
    QString source;
    QString dest;
};

// Stands in for the file operation: records each call and answers, after the call
// has returned, with the next scripted outcome (Done once the script is used up).
struct FakeOperation {
    QList<Call> calls;
    QList<qb::OperationResult> outcomes; // Done once the script is used up
    std::function<void(int)> during;     // runs inside call n (0-based)
};

class Fixture {
public:
    explicit Fixture(bool fakeOperation = true) {
        qb::setProgramFolder(programDir.path());
        qb::accountState() = {};
        qb::setDialogs(&dialogs);
        if (fakeOperation) {
            qb::setDropFileOperation([this](QWidget*, qb::Op op, qb::Policy policy,
                                            const QByteArray& source, const QByteArray& dest,
                                            qb::OperationResultDone done) {
                const int n = int(fake.calls.size());
                fake.calls.append({op, policy, QFile::decodeName(source), QFile::decodeName(dest)});
                if (fake.during) fake.during(n);
                const qb::OperationResult result = n < fake.outcomes.size()
                                                       ? fake.outcomes[n]
                                                       : qb::OperationResult{qb::Outcome::Done};
                QTimer::singleShot(0, [done, result] { done(result); });
            });
        }
        form = std::make_unique<TForm1>();
        qb::runHandler(form.get(), [this] { form->FormCreate(); });
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) qFatal("main window not exposed");
        form->activateWindow();
    }
    ~Fixture() {
        form.reset();
        qb::setDropFileOperation({});
        qb::setDialogs(nullptr);
        qb::setProgramFolder(QString());
        QFile::setPermissions(sysIni(), QFile::ReadOwner | QFile::WriteOwner);
    }

    QString sysIni() const { return programDir.filePath(QStringLiteral("sys.ini")); }
    QString slotKey(int key) const {
        return qb::ReadSetting(sysIni(), QStringLiteral("我的文件夹"), QString::number(key),
                               QStringLiteral("<missing>"));
    }
    // A folder or file below the test's scratch folder.
    QString scratch(const QString& name) const { return files.filePath(name); }
    QString folder(const QString& name) const {
        QDir().mkpath(scratch(name));
        return scratch(name);
    }

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
    bool drop(QWidget* on, const QMimeData& mime, QPoint at = {-1, -1},
              QWidget* eventAt = nullptr) {
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
        lastDropAction = dropped.dropAction();
        if (waitForDrop &&
            !QTest::qWaitFor([this] { return !form->dropController().inProgress(); }, 5000))
            qFatal("drop not finished");
        return dropped.isAccepted();
    }
    bool drop(QWidget* on, const QStringList& paths, QPoint at = {-1, -1},
              QWidget* eventAt = nullptr) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime.setUrls(urls);
        return drop(on, mime, at, eventAt);
    }

    QTemporaryDir programDir;
    QTemporaryDir files;
    qb::FakeDialogs dialogs;
    FakeOperation fake;
    std::unique_ptr<TForm1> form;
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
        fx.form->Edit[5]->setText(fx.folder(QStringLiteral("dest")));

        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
        QVERIFY(!fx.drop(fx.form->Ed[5], web));
        QMimeData text;
        text.setText(file);
        QVERIFY(!fx.drop(fx.form->Ed[5], text));
        QVERIFY(fx.fake.calls.isEmpty());

        // Of a mixed drop only the local file counts; the source is told "copy"
        // even in move mode, so it never deletes anything itself.
        fx.form->Move->setChecked(true);
        QMimeData mixed;
        mixed.setUrls(
            {QUrl(QStringLiteral("https://example.org/b.txt")), QUrl::fromLocalFile(file)});
        QVERIFY(fx.drop(fx.form->Ed[5], mixed));
        QCOMPARE(fx.lastDropAction, Qt::CopyAction);
        QCOMPARE(fx.fake.calls.size(), 1);
        QCOMPARE(fx.fake.calls[0].source, file);
        QCOMPARE(fx.fake.calls[0].op, qb::Op::Move);
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

    // A drop whose data the server no longer hands out (Xwayland, a drag from a
    // Wayland window) takes the items the drag carried over the window; the next
    // drag starts afresh.
    void dropWithoutDataTakesTheDragsItems() {
        Fixture fx;
        fx.form->Copy->setChecked(true);
        fx.form->Edit[4]->setText(fx.folder(QStringLiteral("dest")));
        const QString item = fx.scratch(QStringLiteral("carried.txt"));
        writeFile(item);
        QMimeData carried;
        carried.setUrls({QUrl::fromLocalFile(item)});
        QMimeData empty;
        const QPoint at = fx.form->Edit[4]->mapTo(fx.form.get(), QPoint(5, 5));
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &carried, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fx.form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(at), offered, &empty, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fx.form.get(), &dropped);
        QVERIFY(dropped.isAccepted());
        QVERIFY(QTest::qWaitFor([&] { return !fx.form->dropController().inProgress(); }, 5000));
        QCOMPARE(fx.fake.calls.size(), 1);
        QCOMPARE(fx.fake.calls[0].source, item);

        QDropEvent again(QPointF(at), offered, &empty, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fx.form.get(), &again);
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
        fx.form->Set->setChecked(true);
        const QString work = fx.folder(QStringLiteral("工作 目录"));
        writeFile(work + QStringLiteral("/计划 1.txt"));
        QVERIFY(fx.drop(fx.form->Ed[7], {work + QStringLiteral("/计划 1.txt")}));
        QCOMPARE(fx.form->Edit[7]->text(), work + u'/');
        QCOMPARE(fx.form->Ed[7]->text(), QStringLiteral("工作 目录"));
        QCOMPARE(fx.slotKey(7), work + u'/');
        QCOMPARE(fx.form->Labeltip->text(), kConfigured);
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[7]);

        // A path that is not found is stored as it is, and still reported as set.
        const QString missing = fx.scratch(QStringLiteral("gone/away"));
        fx.form->Labeltip->setText(QString());
        QVERIFY(fx.drop(fx.form->Edit[7], {missing}));
        QCOMPARE(fx.slotKey(7), missing);
        QCOMPARE(fx.form->Labeltip->text(), kConfigured);
    }

    // Three folders in one drop: each is saved before the next, the third stays.
    void threeFoldersInOneDrop() {
        Fixture fx;
        fx.form->Set->setChecked(true);
        const QStringList dirs = {fx.folder(QStringLiteral("one")),
                                  fx.folder(QStringLiteral("two")),
                                  fx.folder(QStringLiteral("three"))};
        QStringList seen;
        // Connected after the window's own change handling, so this sees its result.
        QObject::connect(fx.form->Edit[4], &QLineEdit::textChanged, fx.form.get(),
                         [&](const QString& t) { seen << t + u'=' + fx.slotKey(4); });
        QVERIFY(fx.drop(fx.form->Edit[4], dirs));
        QCOMPARE(seen, (QStringList{dirs[0] + u'=' + dirs[0], dirs[1] + u'=' + dirs[1],
                                    dirs[2] + u'=' + dirs[2]}));
        QCOMPARE(fx.form->Edit[4]->text(), dirs[2]);
        QCOMPARE(fx.form->Ed[4]->text(), QStringLiteral("three"));
        QCOMPARE(fx.form->Labeltip->text(), kConfigured);
    }

    // Every configure-mode item runs the change handling exactly once, also when the
    // field already shows its text. A refused settings write makes each run visible
    // as one error box, and does not end the drop.
    void configureRunsTheChangeHandlingOncePerItem() {
        Fixture fx;
        fx.form->Set->setChecked(true);
        const QString a = fx.folder(QStringLiteral("a"));
        const QString b = fx.folder(QStringLiteral("b"));
        fx.form->Edit[6]->setText(a);

        // A key lost from the file comes back when the same folder is dropped again.
        qb::WriteSetting(fx.sysIni(), QStringLiteral("我的文件夹"), QStringLiteral("6"), b);
        QVERIFY(fx.drop(fx.form->Edit[6], {a}));
        QCOMPARE(fx.slotKey(6), a);

        QFile::setPermissions(fx.sysIni(), QFile::ReadOwner);
        QVERIFY(fx.drop(fx.form->Ed[6], {a}));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(fx.drop(fx.form->Ed[6], {b}));
        QCOMPARE(fx.dialogs.errors.size(), 2);
        QVERIFY(fx.drop(fx.form->Ed[6], {b, b, a}));
        QCOMPARE(fx.dialogs.errors.size(), 5);
        QCOMPARE(fx.form->Edit[6]->text(), a);
        QCOMPARE(fx.form->Labeltip->text(), kConfigured);
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[6]);
    }

    // A configure drop says it set the slot only when the slot's path is stored:
    // not with no group checked, nor when the write was refused.
    void configureDropThatStoresNothingSaysSo() {
        Fixture fx;
        TForm1& f = *fx.form;
        f.Set->setChecked(true);
        const QString a = fx.folder(QStringLiteral("a"));
        for (int g = 1; g <= 10; ++g) {
            f.RadioButton[g]->setAutoExclusive(false);
            f.RadioButton[g]->setChecked(false);
            f.RadioButton[g]->setAutoExclusive(true);
        }
        const QByteArray before = bytesOf(fx.sysIni());
        QVERIFY(fx.drop(f.Ed[3], {a}));
        QCOMPARE(f.Edit[3]->text(), a);
        QCOMPARE(f.Ed[3]->text(), QStringLiteral("a"));
        QCOMPARE(bytesOf(fx.sysIni()), before);
        QCOMPARE(f.Labeltip->text(), kNotConfigured);

        f.RadioButton[1]->setChecked(true);
        QFile::setPermissions(fx.sysIni(), QFile::ReadOwner);
        const QString b = fx.folder(QStringLiteral("b"));
        QVERIFY(fx.drop(f.Ed[3], {b}));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(f.Labeltip->text(), kNotConfigured);
        QCOMPARE(fx.slotKey(3), QStringLiteral("/"));
    }

    // After a login that a read-only account file ended early, a drop finds no
    // group and no path of the previous account: it stores nothing anywhere.
    void dropAfterARefusedLoginActsOnNothingOld() {
        Fixture fx;
        TForm1& f = *fx.form;
        const QString old = fx.folder(QStringLiteral("old"));
        f.Edit[2]->setText(old);
        const QString account = fx.programDir.filePath(QStringLiteral("user/userb.ini"));
        writeFile(account, "[\xb7\xbd\xb0\xb8]\r\noperate=Set\r\n"); // 方案 in GB18030
        QFile::setPermissions(account, QFile::ReadOwner);
        qb::chooseAccount(QStringLiteral("b"));
        qb::runHandler(&f, [&] { f.LoadAccount(); });
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(f.Set->isChecked());
        QCOMPARE(f.Edit[2]->text(), QString());

        const QByteArray sys = bytesOf(fx.sysIni());
        const QString dir = fx.folder(QStringLiteral("new"));
        QVERIFY(fx.drop(f.Ed[2], {dir}));
        QCOMPARE(f.Labeltip->text(), kNotConfigured);
        QCOMPARE(bytesOf(fx.sysIni()), sys);
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QFile::setPermissions(account, QFile::ReadOwner | QFile::WriteOwner);
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

    // One operation per item, in drop order, into the folder the slot shows, with
    // the checked policy.
    void copyAndMoveRunOneOperationPerItem() {
        Fixture fx;
        const QString dest = fx.folder(QStringLiteral("目标 文件夹")) + u'/';
        fx.form->Edit[5]->setText(dest);
        const QStringList items = {fx.scratch(QStringLiteral("b.txt")),
                                   fx.scratch(QStringLiteral("a 文件.txt")),
                                   fx.folder(QStringLiteral("c"))};
        struct Case {
            QRadioButton* mode;
            int policyButton;
            qb::Op op;
            qb::Policy policy;
            QString status;
        };
        const QList<Case> cases = {
            {fx.form->Copy, 14, qb::Op::Copy, qb::Policy::AskReplace, kCopied},
            {fx.form->Move, 13, qb::Op::Move, qb::Policy::AutoRename, kMoved},
            {fx.form->Copy, 15, qb::Op::Copy, qb::Policy::AutoReplace, kCopied},
        };
        for (const Case& c : cases) {
            c.mode->setChecked(true);
            fx.form->RadioButton[c.policyButton]->setChecked(true);
            fx.fake.calls.clear();
            fx.form->Labeltip->setText(QString());
            QVERIFY(fx.drop(fx.form->Ed[5], items));
            QCOMPARE(fx.fake.calls.size(), 3);
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(fx.fake.calls[i].source, items[i]);
                QCOMPARE(fx.fake.calls[i].dest, dest);
                QCOMPARE(fx.fake.calls[i].op, c.op);
                QCOMPARE(fx.fake.calls[i].policy, c.policy);
            }
            QCOMPARE(fx.form->Labeltip->text(), c.status);
            QCOMPARE(fx.form->focusWidget(), fx.form->Edit[5]);
        }
    }

    // An item dropped twice is moved once, and the drop is reported as moved; a
    // copy takes it twice, as asked.
    void anItemDroppedTwice() {
        Fixture fx;
        const QString file = fx.scratch(QStringLiteral("twice.txt"));
        writeFile(file);
        fx.form->Edit[4]->setText(fx.folder(QStringLiteral("dest")));
        for (QRadioButton* mode : {fx.form->Move, fx.form->Copy}) {
            mode->setChecked(true);
            fx.fake.calls.clear();
            QVERIFY(fx.drop(fx.form->Ed[4], {file, fx.scratch(QStringLiteral("./twice.txt"))}));
            QCOMPARE(fx.fake.calls.size(), mode == fx.form->Move ? 1 : 2);
            QCOMPARE(fx.form->Labeltip->text(), mode == fx.form->Move ? kMoved : kCopied);
        }
    }

    // The destination and the policy are read again for every item.
    void destinationAndPolicyAreReadPerItem() {
        Fixture fx;
        const QString first = fx.folder(QStringLiteral("first"));
        const QString second = fx.folder(QStringLiteral("second"));
        fx.form->Edit[9]->setText(first);
        fx.fake.during = [&](int n) {
            if (n != 0) return;
            fx.form->RadioButton[15]->setChecked(true);
            fx.form->Edit[9]->setText(second);
        };
        QVERIFY(fx.drop(fx.form->Edit[9],
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
        (move ? fx.form->Move : fx.form->Copy)->setChecked(true);
        fx.form->Edit[3]->setText(fx.folder(QStringLiteral("dest")));
        for (QChar c : outcomes) {
            qb::OperationResult r;
            r.outcome = c == u'F'   ? qb::Outcome::Failed
                        : c == u'C' ? qb::Outcome::Cancelled
                                    : qb::Outcome::Done;
            r.destroyed = c == u'R' ? 1 : 0;
            fx.fake.outcomes << r;
        }
        QVERIFY(fx.drop(fx.form->Ed[3],
                        {fx.scratch(QStringLiteral("1")), fx.scratch(QStringLiteral("2")),
                         fx.scratch(QStringLiteral("3"))}));
        QCOMPARE(fx.fake.calls.size(), calls);
        QCOMPARE(fx.form->Labeltip->text(), status);
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[3]);
    }

    // A slot that shows no existing folder copies nothing, item by item.
    void missingDestinationFolder() {
        Fixture fx;
        const QString file = fx.scratch(QStringLiteral("plain.txt"));
        writeFile(file);
        for (QRadioButton* mode : {fx.form->Copy, fx.form->Move}) {
            mode->setChecked(true);
            for (const QString& dest : {fx.scratch(QStringLiteral("no/such")), QString(), file}) {
                fx.form->Edit[11]->setText(dest);
                fx.form->Labeltip->setText(QString());
                QVERIFY(fx.drop(fx.form->Ed[11], {file, fx.scratch(QStringLiteral("other"))}));
                QCOMPARE(fx.form->Labeltip->text(), kNoFolder);
                QCOMPARE(fx.form->focusWidget(), fx.form->Edit[11]);
            }
        }
        QVERIFY(fx.fake.calls.isEmpty());
    }

    // While one drop is still running its operations, a second one is turned away.
    void aSecondDropWaitsForTheFirst() {
        Fixture fx;
        fx.form->Edit[2]->setText(fx.folder(QStringLiteral("dest")));
        const QString file = fx.scratch(QStringLiteral("f"));
        writeFile(file);
        bool enterAccepted = true;
        bool dropAccepted = true;
        fx.fake.during = [&](int n) {
            if (n != 0) return;
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(file)});
            const QPointF at = fx.form->mapFromGlobal(QCursor::pos());
            QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(fx.form.get(), &enter);
            enterAccepted = enter.isAccepted();
            QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(fx.form.get(), &drop);
            dropAccepted = drop.isAccepted();
            QCoreApplication::processEvents();
        };
        QVERIFY(fx.drop(fx.form->Ed[2], {file, file}));
        QVERIFY(!enterAccepted);
        QVERIFY(!dropAccepted);
        QCOMPARE(fx.fake.calls.size(), 2);
        // Afterwards drops are welcome again.
        QVERIFY(fx.drop(fx.form->Ed[2], {file}));
        QCOMPARE(fx.fake.calls.size(), 3);
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
        fx.form->Copy->setChecked(true);
        fx.form->Edit[5]->setText(fx.folder(QStringLiteral("dest")));
        const QStringList items = {fx.scratch(QStringLiteral("1")), fx.scratch(QStringLiteral("2")),
                                   fx.scratch(QStringLiteral("3"))};
        fx.waitForDrop = false;
        QVERIFY(fx.drop(fx.form->Ed[5], items));
        QTRY_COMPARE(running.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(running.size(), 1);
        QVERIFY(fx.form->dropController().inProgress());

        const struct {
            qb::Outcome outcome;
            QString status;
        } steps[] = {{qb::Outcome::Done, kCopied},
                     {qb::Outcome::Failed, kCopyFailed},
                     {qb::Outcome::Done, kCopyFailed}}; // the drop as a whole failed
        for (int i = 0; i < 3; ++i) {
            const qb::OperationResultDone done = running[i]; // the call adds to the list
            done(qb::OperationResult{steps[i].outcome});
            QCOMPARE(fx.form->Labeltip->text(), steps[i].status);
            QCOMPARE(running.size(), qMin(i + 2, 3));
        }
        QCOMPARE(sources, items);
        QVERIFY(!fx.form->dropController().inProgress());
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[5]);

        QVERIFY(fx.drop(fx.form->Ed[5], {items[0]}));
        QTRY_COMPARE(running.size(), 4);
        fx.form.reset();
        const qb::OperationResultDone late = running[3];
        late(qb::OperationResult{});
        QVERIFY(fx.dialogs.errors.isEmpty());
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

        fx.form->Edit[2]->setText(QFile::decodeName(dest));
        fx.form->Copy->setChecked(true);
        QVERIFY(fx.drop(fx.form->Ed[2], mime));
        QCOMPARE(fx.form->Labeltip->text(), kCopied);
        struct stat st {};
        QCOMPARE(::stat((dest + '/' + name).constData(), &st), 0);

        const QByteArray ini = bytesOf(fx.sysIni());
        fx.form->Set->setChecked(true);
        const QByteArray iniWithMode = bytesOf(fx.sysIni());
        QVERIFY(fx.drop(fx.form->Ed[2], mime));
        QCOMPARE(fx.form->Labeltip->text(), QStringLiteral("状态：路径含无法保存的字符！"));
        QCOMPARE(fx.form->Edit[2]->text(), QFile::decodeName(dest));
        QCOMPARE(bytesOf(fx.sysIni()), iniWithMode);
        QVERIFY(ini != iniWithMode); // the mode itself was stored
    }

    void realOperationsWithLongPaths() {
        Fixture fx(false);
        Prompts prompts;
        qb::setOperationPrompts(&prompts);
        struct Restore {
            ~Restore() { qb::setOperationPrompts(nullptr); }
        } restore;
        fx.form->RadioButton[13]->setChecked(true);
        const QString part = QString(200, u'p'); // one name may hold 255 bytes
        const QString dest = fx.folder(part + u'/' + part + u'/' + QStringLiteral("目标"));
        QVERIFY(dest.size() > 254);
        const QString tree = fx.folder(QStringLiteral("tree 树"));
        writeFile(tree + QStringLiteral("/sub/inner.bin"), QByteArray(70000, 'q'));
        const QString file = fx.scratch(part + QStringLiteral(".txt"));
        writeFile(file, "hello");

        fx.form->Set->setChecked(true);
        QVERIFY(fx.drop(fx.form->Ed[12], {dest}));
        QCOMPARE(fx.form->Edit[12]->text(), dest);
        QCOMPARE(fx.slotKey(12), dest);

        fx.form->Copy->setChecked(true);
        QVERIFY(fx.drop(fx.form->Ed[12], {file}));
        QCOMPARE(fx.form->Labeltip->text(), kCopied);
        QCOMPARE(bytesOf(dest + u'/' + part + QStringLiteral(".txt")), QByteArray("hello"));
        QVERIFY(QFile::exists(file));

        fx.form->Move->setChecked(true);
        QVERIFY(fx.drop(fx.form->Edit[12], {tree}));
        QCOMPARE(fx.form->Labeltip->text(), kMoved);
        QCOMPARE(bytesOf(dest + QStringLiteral("/tree 树/sub/inner.bin")), QByteArray(70000, 'q'));
        QVERIFY(!QFileInfo::exists(tree));

        // A source that vanished is a failure, not a success.
        QVERIFY(fx.drop(fx.form->Edit[12], {tree}));
        QCOMPARE(fx.form->Labeltip->text(), kMoveFailed);
        QCOMPARE(prompts.errors, QStringList{tree});
        QCOMPARE(fx.form->focusWidget(), fx.form->Edit[12]);
    }
};

QTEST_MAIN(TestDrop)
#include "tst_drop.moc"
