// The Qt front end of the engine, on the offscreen platform.
#include "engine/Posix.h"
#include "operation/FileOperation.h"
#include "operation/Log.h"
#include "operation/OperationText.h"
#include "operation/QueueRows.h"
#include "platform/Translations.h"
#include "tests/engine/EngineTestUtil.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/Locale.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <optional>
#include <thread>

using namespace testutil;
using qb::Op;
using qb::Outcome;
using qb::Policy;
using qb::ReplaceAnswer;
using qb::test::FakePrompts;
using qb::test::hasChinese;
using qb::test::useLocale;

namespace {

qb::ItemInfo info(const std::string& path, bool isDir, std::uint64_t size, std::int64_t mtime) {
    qb::ItemInfo i;
    i.path = path;
    i.isDir = isDir;
    i.size = size;
    i.mtime = mtime;
    return i;
}

QWidget* visibleProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"progressDialog" && w->isVisible()) return w;
    return nullptr;
}

// Whether every label of the last box answered showed its text as plain text.
bool lastBoxPlainText = false;

// Answers the next modal message box by clicking the button with `text`.
void clickWhenShown(const QString& text, QString* shownText = nullptr,
                    QStringList* buttons = nullptr) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        if (shownText) *shownText = box->text() + u'\n' + box->informativeText();
        lastBoxPlainText = true;
        for (const QLabel* l : box->findChildren<QLabel*>())
            if (!l->text().isEmpty() && l->textFormat() != Qt::PlainText) lastBoxPlainText = false;
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->findChildren<QPushButton*>()) { // its rows below too
            if (buttons) *buttons << b->text();
            if (b->text() == text || u'#' + b->objectName() == text) target = b;
        }
        if (target)
            target->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });
    poll->start(10);
}

// Waits, turning the test's event loop, until `ready` holds.
bool waitFor(const std::function<bool()>& ready, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!ready() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return ready();
}

// Starts an operation and waits for its end; the end never comes inside the start.
struct Finished {
    std::optional<qb::OperationResult> result;
    bool calledInside = false;
};
template <typename Start> Finished runToEnd(Start start) {
    auto f = std::make_shared<Finished>();
    bool returned = false;
    start([f, &returned](const qb::OperationResult& r) {
        f->calledInside = f->calledInside || !returned;
        f->result = r;
    });
    returned = true;
    waitFor([f] { return f->result.has_value(); });
    return *f;
}

Outcome runJob(QWidget* owner, Op op, qb::OperationJob job) {
    const Finished f = runToEnd(
        [&](qb::OperationResultDone done) { qb::startOperationJob(owner, op, job, done); });
    if (f.calledInside) qFatal("the result came inside the start");
    return f.result ? f.result->outcome : Outcome::Failed;
}

Outcome runFile(QWidget* owner, Op op, Policy policy, const QString& source, const QString& dest) {
    bool inside = false, returned = false;
    std::optional<Outcome> outcome;
    qb::startFileOperation(owner, op, policy, QFile::encodeName(source), QFile::encodeName(dest),
                           [&](Outcome o) {
                               inside = !returned;
                               outcome = o;
                           });
    returned = true;
    waitFor([&] { return outcome.has_value(); });
    if (inside) qFatal("the outcome came inside the start");
    return outcome.value_or(Outcome::Failed);
}

// The messages of the category "quillbeck.engine" while it lives; the others go on
// to the test's own handler.
struct EngineMessages {
    static inline QStringList seen;
    static inline QtMessageHandler previous = nullptr;
    EngineMessages() {
        seen.clear();
        previous = qInstallMessageHandler(&take);
    }
    ~EngineMessages() {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }
    static void take(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (context.category && qstrcmp(context.category, "quillbeck.engine") == 0)
            seen << text;
        else if (previous)
            previous(type, context, text);
    }
};

// A file system that knows none of the rename flags, while it lives.
struct FlaglessRename {
    qb::engine::SysCalls saved = qb::engine::sys();
    FlaglessRename() {
        qb::engine::sys().renameat2 = [](int od, const char* on, int nd, const char* nn,
                                         unsigned flags) {
            if (flags) return errno = EINVAL, -1;
            return ::renameat2(od, on, nd, nn, 0);
        };
    }
    ~FlaglessRename() { qb::engine::sys() = saved; }
};

// A job that works for `steps` tenths of a second, reporting progress.
qb::OperationJob slowJob(int steps, std::atomic<int>* stepsDone = nullptr) {
    return [=](qb::OperationObserver& obs, const std::atomic<bool>& cancel) {
        qb::OperationResult r;
        qb::Progress p;
        p.item = "数据.bin";
        p.bytesTotal = std::uint64_t(steps) << 20;
        p.filesTotal = std::uint64_t(steps);
        for (int i = 0; i < steps; ++i) {
            if (cancel) {
                r.outcome = Outcome::Cancelled;
                return r;
            }
            p.current = "/src/数据.bin/part" + std::to_string(i);
            p.bytesDone = std::uint64_t(i) << 20;
            p.filesDone = std::uint64_t(i);
            obs.progress(p);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (stepsDone) *stepsDone = i + 1;
        }
        r.outcome = Outcome::Done;
        return r;
    };
}

} // namespace

class TestFileOperation : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    FakePrompts fake;

    template <typename T, typename Ask> static T answerOf(Ask ask) {
        std::optional<T> got;
        ask([&got](T a) { got = a; });
        waitFor([&] { return got.has_value(); });
        return got.value_or(T{});
    }

private slots:
    void initTestCase() { useTestTrash(S(tmp.path())); }
    void init() {
        fake = FakePrompts();
        fake.errorAnswer = qb::ErrorAnswer::Skip;
        qb::setOperationPrompts(&fake);
    }
    void cleanup() {
        qb::setOperationPrompts(nullptr);
        useLocale();
    }

    // The outcome tells done, failed and cancelled apart; questions reach the prompts
    // on the UI thread; the outcome arrives after the start has returned.
    void outcomesOfRealOperations() {
        const QString src = tmp.path() + "/src", dst = tmp.path() + "/dst";
        QDir().mkpath(src);
        QDir().mkpath(dst);
        writeFile(S(src + "/a.txt"), "new");
        writeFile(S(dst + "/a.txt"), "old");
        QWidget owner;

        fake.replaceAnswer = ReplaceAnswer::No;
        QCOMPARE(runFile(&owner, Op::Copy, Policy::AskReplace, src + "/a.txt", dst),
                 Outcome::Skipped);
        QCOMPARE(readFile(S(dst + "/a.txt")), QByteArray("old"));
        QCOMPARE(fake.asked, QStringList{"replace " + dst + "/a.txt"});
        QCOMPARE(fake.lastParent, &owner);

        fake.replaceAnswer = ReplaceAnswer::Cancel;
        QCOMPARE(runFile(&owner, Op::Move, Policy::AskReplace, src + "/a.txt", dst),
                 Outcome::Cancelled);
        QCOMPARE(readFile(S(src + "/a.txt")), QByteArray("new"));

        QCOMPARE(runFile(&owner, Op::Move, Policy::AutoRename, src + "/a.txt", dst), Outcome::Done);
        QCOMPARE(readFile(S(dst + "/a (2).txt")), QByteArray("new"));
        QVERIFY(!QFile::exists(src + "/a.txt"));

        // Refused: a copy onto itself under a replace policy, and a missing folder.
        fake.asked.clear();
        QCOMPARE(runFile(&owner, Op::Copy, Policy::AutoReplace, dst + "/a.txt", dst),
                 Outcome::Failed);
        QCOMPARE(runFile(&owner, Op::Copy, Policy::AutoReplace, dst + "/a.txt",
                         tmp.path() + "/无此文件夹"),
                 Outcome::Failed);
        QCOMPARE(fake.asked.size(), 2);
        QCOMPARE(fake.asked[0],
                 "error 不能用“" + dst + "/a.txt”替换它自身：源和目标是同一个项目。");
        QVERIFY(fake.asked[1].startsWith("error 目标“" + tmp.path() + "/无此文件夹”不是可用的"));
        QVERIFY(!fake.offUiThread);
    }

    // Quiet by default; once "quillbeck.engine" logs information, each operation
    // started after that sends the engine's decisions there, and none once it is quiet.
    void engineLogGoesToItsCategory() {
        QVERIFY(!qb::lcDrop().isInfoEnabled());
        QVERIFY(!qb::lcEngine().isInfoEnabled());
        const EngineMessages messages;
        const FlaglessRename flagless;
        const QString d = tmp.path() + "/log";
        QDir().mkpath(d + "/a");
        QDir().mkpath(d + "/b");
        for (const bool on : {false, true, false}) {
            QLoggingCategory::setFilterRules(on ? QStringLiteral("quillbeck.engine.info=true")
                                                : QString());
            const qsizetype before = messages.seen.size();
            writeFile(S(d + "/a/f"), "f");
            QCOMPARE(runFile(nullptr, Op::Move, Policy::AutoRename, d + "/a/f", d + "/b"),
                     Outcome::Done);
            const QStringList now = messages.seen.mid(before);
            QCOMPARE(now.filter(QStringLiteral("renameat2 without RENAME_NOREPLACE")).size(),
                     on ? 1 : 0);
            QVERIFY(on || now.isEmpty());
        }
        QCOMPARE(QDir(d + "/b").entryList(QDir::Files).size(), 3);
    }

    // "Keep both" for all answers the later items of the same job without asking;
    // another job is asked again.
    void keepBothForAllHoldsForTheRestOfTheJob() {
        fake.replaceAnswer = ReplaceAnswer::KeepBothToAll;
        fake.asked.clear();
        const auto control = std::make_shared<qb::JobControl>();
        std::vector<int> answers;
        const auto item = [&](std::shared_ptr<qb::JobControl> job) {
            runToEnd([&](qb::OperationResultDone done) {
                qb::startOperationJob(
                    nullptr, Op::Copy,
                    [&](qb::OperationObserver& obs, auto&) {
                        const qb::ItemInfo a = info("/x/a", false, 1, 0);
                        answers.push_back(int(obs.askReplace(a, a)));
                        answers.push_back(int(obs.askMerge(a, a)));
                        return qb::OperationResult{};
                    },
                    done, job);
            });
        };
        item(control);
        item(control);
        QCOMPARE(fake.asked, QStringList{"replace /x/a"});
        item(std::make_shared<qb::JobControl>());
        QCOMPARE(fake.asked.size(), 2);
        QCOMPARE(answers, std::vector<int>(6, int(ReplaceAnswer::KeepBothToAll)));
    }

    void questionsFromTheWorkerAreAnsweredOnTheUiThread() {
        fake.replaceAnswer = ReplaceAnswer::YesToAll;
        fake.mergeAnswer = ReplaceAnswer::Yes;
        fake.errorAnswer = qb::ErrorAnswer::Cancel;
        bool onWorker = false;
        std::vector<int> answers;
        const Outcome o = runJob(nullptr, Op::Copy, [&](qb::OperationObserver& obs, auto&) {
            onWorker = QThread::currentThread() != qApp->thread();
            const qb::ItemInfo a = info("/x/a", false, 1, 0), b = info("/y/a", false, 2, 0);
            answers.push_back(int(obs.askReplace(a, b)));
            answers.push_back(int(obs.askMerge(a, b)));
            answers.push_back(
                int(obs.error({qb::ErrorKind::Unsupported, "/x/a", {}, ENOTSUP, true})));
            return qb::OperationResult{};
        });
        QCOMPARE(o, Outcome::Failed);
        QVERIFY(onWorker);
        QVERIFY(!fake.offUiThread);
        QCOMPARE(answers, (std::vector<int>{int(ReplaceAnswer::YesToAll), int(ReplaceAnswer::Yes),
                                            int(qb::ErrorAnswer::Cancel)}));
        QCOMPARE(fake.asked, (QStringList{"replace /x/a", "merge /x/a",
                                          "error 无法复制“/x/a”：不支持这种类型的文件。"}));
        // A job that throws is a failure, not a crash.
        QCOMPARE(runJob(nullptr, Op::Move,
                        [](qb::OperationObserver&, auto&) -> qb::OperationResult {
                            throw std::runtime_error("boom");
                        }),
                 Outcome::Failed);
    }

    // The worker waits for an answer that comes later, while the UI thread runs on;
    // an answer dropped unanswered counts as Cancel.
    void theWorkerWaitsForALaterAnswer() {
        fake.hold = true;
        std::atomic<int> got{-1};
        std::optional<Outcome> outcome;
        const auto job = [&](qb::OperationObserver& obs, auto&) {
            got = int(obs.askReplace(info("/x/a", false, 1, 0), info("/y/a", false, 2, 0)));
            qb::OperationResult r;
            r.outcome = Outcome::Done;
            return r;
        };
        qb::startOperationJob(nullptr, Op::Copy, job,
                              [&](const qb::OperationResult& r) { outcome = r.outcome; });
        QVERIFY(waitFor([&] { return bool(fake.heldReply); }));
        bool ticked = false;
        QTimer::singleShot(50, this, [&] { ticked = true; });
        QVERIFY(waitFor([&] { return ticked; }));
        QCOMPARE(got.load(), -1);
        QVERIFY(!outcome);
        QVERIFY(!visibleProgressDialog()); // no progress dialog over an open question
        fake.heldReply(ReplaceAnswer::No);
        QVERIFY(waitFor([&] { return outcome.has_value(); }));
        QCOMPARE(got.load(), int(ReplaceAnswer::No));

        outcome.reset();
        fake.heldReply = nullptr;
        qb::startOperationJob(nullptr, Op::Copy, job,
                              [&](const qb::OperationResult& r) { outcome = r.outcome; });
        QVERIFY(waitFor([&] { return bool(fake.heldReply); }));
        fake.heldReply = nullptr; // the question went away without an answer
        QVERIFY(waitFor([&] { return outcome.has_value(); }));
        QCOMPARE(got.load(), int(ReplaceAnswer::Cancel));
    }

    // A long operation: timers keep running, the window repaints, the progress
    // dialog comes after about half a second and its Cancel button stops the job.
    void progressDialogAndCancel() {
        QWidget owner;
        owner.resize(244, 694);
        owner.move(-244, 50); // docked beyond the left edge of the screen
        owner.show();
        int paints = 0, ticks = 0;
        struct PaintCounter : QObject {
            int* n;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++*n;
                return false;
            }
        } counter;
        counter.n = &paints;
        owner.installEventFilter(&counter);
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            owner.update();
        });
        timer.start(20);

        bool earlyDialog = true;
        QString item, counts, speed, left;
        QRect dialogRect;
        QTimer::singleShot(300, this, [&] { earlyDialog = visibleProgressDialog() != nullptr; });
        QTimer::singleShot(1300, this, [&] {
            QWidget* d = visibleProgressDialog();
            if (!d) return;
            item = d->findChild<QLabel*>("itemLabel")->text();
            counts = d->findChild<QLabel*>("countLabel")->text();
            speed = d->findChild<QLabel*>("speedLabel")->text();
            left = d->findChild<QLabel*>("timeLeftLabel")->text();
            dialogRect = d->frameGeometry();
            QTest::mouseClick(d->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        });
        std::atomic<int> steps{0};
        QElapsedTimer clock;
        clock.start();
        const Outcome o = runJob(&owner, Op::Copy, slowJob(40, &steps));
        const qint64 took = clock.elapsed();
        timer.stop();

        QCOMPARE(o, Outcome::Cancelled);
        QVERIFY2(steps < 40, "Cancel did not stop the job");
        QVERIFY(took >= 1300);
        QVERIFY(!earlyDialog);
        QCOMPARE(item, QStringLiteral("正在复制“数据.bin”"));
        QVERIFY2(counts.contains(QStringLiteral("/ 40.0 MB，")) &&
                     counts.contains(QStringLiteral(" / 40 个文件")),
                 qPrintable(counts));
        QVERIFY2(speed.contains(QStringLiteral("MB/秒")), qPrintable(speed));
        QVERIFY2(left.contains(QStringLiteral("秒")), qPrintable(left));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(dialogRect), "the progress dialog is off the screen");
        QVERIFY(!visibleProgressDialog()); // gone with the operation
        QVERIFY2(ticks >= took / 20 / 2, qPrintable(QString::number(ticks)));
        QVERIFY2(paints >= 10, qPrintable(QString::number(paints)));
    }

    // Before the job has said anything, and while it counts, the window says what
    // it knows: never an empty name or a count of nothing done.
    void progressBeforeTheCount() {
        std::atomic<bool> named{false};
        const qb::OperationJob job = [&](qb::OperationObserver& obs,
                                         const std::atomic<bool>& cancel) {
            while (!named && !cancel)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            qb::Progress p;
            p.item = "照片";
            p.counting = true;
            obs.progress(p);
            while (!cancel)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            qb::OperationResult r;
            r.outcome = Outcome::Cancelled;
            return r;
        };
        std::optional<Outcome> outcome;
        qb::startOperationJob(nullptr, Op::Move, job,
                              [&](const qb::OperationResult& r) { outcome = r.outcome; });
        QVERIFY(waitFor([] { return visibleProgressDialog() != nullptr; }));
        const auto text = [](const char* label) {
            return visibleProgressDialog()->findChild<QLabel*>(label)->text();
        };
        QCOMPARE(text("itemLabel"), QStringLiteral("正在移动…"));
        named = true;
        QVERIFY(waitFor([&] { return text("itemLabel") == QStringLiteral("正在移动“照片”"); }));
        QCOMPARE(text("countLabel"), QStringLiteral("正在统计…"));
        QTest::mouseClick(visibleProgressDialog()->findChild<QPushButton*>("cancelButton"),
                          Qt::LeftButton);
        QVERIFY(waitFor([&] { return outcome.has_value(); }));
    }

    // A queued job's progress window pauses and resumes it, and lists the other
    // jobs, where only a waiting one can be taken out.
    void progressWindowPausesAndListsTheQueue() {
        auto control = std::make_shared<qb::JobControl>();
        std::atomic<int> steps{0};
        const qb::OperationJob job = [&, inner =
                                             slowJob(30, &steps)](qb::OperationObserver& obs,
                                                                  const std::atomic<bool>& cancel) {
            struct Held final : qb::OperationObserver {
                qb::OperationObserver& to;
                qb::JobControl& c;
                const std::atomic<bool>& cancel;
                Held(qb::OperationObserver& o, qb::JobControl& j, const std::atomic<bool>& x)
                    : to(o), c(j), cancel(x) {}
                void progress(const qb::Progress& p) override {
                    c.pause.waitWhilePaused(cancel); // where the engine would wait
                    to.progress(p);
                }
                ReplaceAnswer askReplace(const qb::ItemInfo& e, const qb::ItemInfo& i) override {
                    return to.askReplace(e, i);
                }
                ReplaceAnswer askMerge(const qb::ItemInfo& e, const qb::ItemInfo& i) override {
                    return to.askMerge(e, i);
                }
                qb::ErrorAnswer error(const qb::OpError& e) override { return to.error(e); }
            } held(obs, *control, cancel);
            return inner(held, cancel);
        };
        int token = 0;
        std::vector<quint64> removed;
        std::vector<qb::QueueRow> rows(3);
        for (quint64 i = 0; i < 3; ++i) {
            rows[i].id = 10 + i;
            rows[i].slot = QStringLiteral("槽%1").arg(i);
            rows[i].state = i == 0 ? qb::QueueRow::Running : qb::QueueRow::Waiting;
        }
        qb::setDropQueue(
            &token, [&] { return rows; }, [&](quint64 id) { removed.push_back(id); });
        int heldSteps = -1, stepsAfterHold = -1;
        QStringList listed;
        bool runningRemovable = true, waitingRemovable = false;
        QTimer::singleShot(900, this, [&] {
            QWidget* d = visibleProgressDialog();
            if (!d) return;
            auto* list = d->findChild<QListWidget*>("DropQueue");
            auto* remove = d->findChild<QPushButton*>("QueueRemove");
            for (int i = 0; i < list->count(); ++i)
                listed << list->item(i)->text();
            list->setCurrentRow(0);
            runningRemovable = remove->isEnabled();
            list->setCurrentRow(2);
            waitingRemovable = remove->isEnabled();
            QTest::mouseClick(remove, Qt::LeftButton);
            QTest::mouseClick(d->findChild<QPushButton*>("QueuePause"), Qt::LeftButton);
            QTimer::singleShot(300, this, [&] { heldSteps = steps; });
            QTimer::singleShot(1000, this, [&, d = QPointer<QWidget>(d)] {
                stepsAfterHold = steps;
                if (d) QTest::mouseClick(d->findChild<QPushButton*>("QueuePause"), Qt::LeftButton);
            });
        });
        const Finished f = runToEnd([&](qb::OperationResultDone done) {
            qb::startOperationJob(nullptr, Op::Copy, job, done, control);
        });
        qb::clearDropQueue(&token);
        QVERIFY(f.result);
        QCOMPARE(f.result->outcome, Outcome::Done);
        QCOMPARE(steps.load(), 30);
        QVERIFY2(heldSteps > 0 && stepsAfterHold == heldSteps,
                 qPrintable(QStringLiteral("%1 %2").arg(heldSteps).arg(stepsAfterHold)));
        QCOMPARE(listed.size(), 3);
        QVERIFY2(listed[1].contains(QStringLiteral("槽1")) && listed[1].contains(u'…') &&
                     listed[1].contains(QStringLiteral("等待中")),
                 qPrintable(listed.join(u'\n')));
        QVERIFY(!runningRemovable);
        QVERIFY(waitingRemovable);
        QCOMPARE(removed, std::vector<quint64>{12});
    }

    void quickOperationShowsNoDialog() {
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] { seen = seen || visibleProgressDialog(); });
        poll.start(20);
        QCOMPARE(runJob(nullptr, Op::Move, slowJob(3)), Outcome::Done);
        QVERIFY(!seen);
    }

    // Clicks meant for the main window wait: no second drop starts meanwhile.
    void inputToOtherWindowsIsHeldOff() {
        QWidget owner;
        auto* button = new QPushButton("slot", &owner);
        owner.show();
        int clicks = 0;
        connect(button, &QPushButton::clicked, this, [&] { ++clicks; });
        QTimer::singleShot(100, this, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        QTimer::singleShot(800, this, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        QCOMPARE(runJob(&owner, Op::Copy, slowJob(10)), Outcome::Done);
        QCOMPARE(clicks, 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    // The real dialogs: what they show and how their buttons answer.
    void qtDialogs() {
        qb::OperationPrompts& qt = qb::qtOperationPrompts();
        const qb::ItemInfo existing = info("/dst/报告.pdf", false, 2048, 1700000000);
        const qb::ItemInfo incoming = info("/src/报告.pdf", false, 3 << 20, 1710000000);
        QString text;
        QStringList buttons;
        const auto replace = [&](const qb::ItemInfo& e, const qb::ItemInfo& i) {
            return answerOf<ReplaceAnswer>(
                [&](auto reply) { qt.askReplace(nullptr, e, i, reply); });
        };
        const auto merge = [&](const qb::ItemInfo& e, const qb::ItemInfo& i) {
            return answerOf<ReplaceAnswer>([&](auto reply) { qt.askMerge(nullptr, e, i, reply); });
        };
        const auto error = [&](const qb::OpError& e, const QString& t) {
            return answerOf<qb::ErrorAnswer>(
                [&](auto reply) { qt.askError(nullptr, e, t, reply); });
        };
        clickWhenShown("全部是", &text, &buttons);
        QCOMPARE(replace(existing, incoming), ReplaceAnswer::YesToAll);
        QStringList want{"是", "全部是", "否", "全部否", "保留两者", "全部保留两者", "取消"};
        want.sort();
        buttons.sort();
        QCOMPARE(buttons, want);
        QVERIFY2(text.contains("“报告.pdf”") && text.contains("/src/报告.pdf") &&
                     text.contains("/dst/报告.pdf") && text.contains("3.0 MB") &&
                     text.contains("2.0 kB") &&
                     text.contains(
                         QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy-MM-dd HH:mm:ss")),
                 qPrintable(text));
        QVERIFY(!text.contains("回收站"));
        clickWhenShown("否");
        QCOMPARE(replace(existing, incoming), ReplaceAnswer::No);
        // No Trash for the old file: the question says so. A link says where it points.
        qb::ItemInfo lost = existing, link = incoming;
        lost.noTrash = true;
        link.isLink = true;
        link.linkTarget = "/elsewhere/报告.pdf";
        clickWhenShown("全部否", &text);
        QCOMPARE(replace(lost, link), ReplaceAnswer::NoToAll);
        QVERIFY2(text.contains("回收站无法接收现有的文件，替换后它将被永久删除") &&
                     text.contains("/src/报告.pdf\n（符号链接，指向“/elsewhere/报告.pdf”）"),
                 qPrintable(text));
        clickWhenShown("是", &text);
        QCOMPARE(merge(info("/dst/照片", true, 0, 0), info("/src/照片", true, 0, 0)),
                 ReplaceAnswer::Yes);
        QVERIFY2(text.contains("名为“照片”的文件夹") && text.contains("/src/照片"),
                 qPrintable(text));
        clickWhenShown("<escape>");
        QCOMPARE(merge(existing, incoming), ReplaceAnswer::Cancel);
        // "Keep both", by the buttons' own names.
        clickWhenShown("#keepBothButton");
        QCOMPARE(replace(existing, incoming), ReplaceAnswer::KeepBoth);
        clickWhenShown("#keepBothAllButton");
        QCOMPARE(merge(existing, incoming), ReplaceAnswer::KeepBothToAll);

        buttons.clear();
        const qb::OpError io{qb::ErrorKind::Transfer, "/src/a", "/dst/a", EIO, true};
        clickWhenShown("跳过", &text, &buttons);
        QCOMPARE(error(io, "无法复制“/src/a”：Input/output error"), qb::ErrorAnswer::Skip);
        buttons.sort();
        want = QStringList{"跳过", "全部跳过", "取消"};
        want.sort();
        QCOMPARE(buttons, want);
        QVERIFY(text.contains("无法复制“/src/a”：Input/output error"));
        clickWhenShown("全部跳过");
        QCOMPARE(error(io, "x"), qb::ErrorAnswer::SkipAll);
        clickWhenShown("<escape>");
        QCOMPARE(error(io, "x"), qb::ErrorAnswer::Cancel);

        // A name is shown as it is, never taken for markup.
        clickWhenShown("否");
        replace(info("/dst/<u>big</u>", false, 1, 0), info("/src/<u>big</u>", false, 2, 0));
        QVERIFY(lastBoxPlainText);
        clickWhenShown("跳过");
        error({qb::ErrorKind::Transfer, "/src/<u>big</u>", "/dst/a", EIO, true},
              "无法复制“/src/<u>big</u>”");
        QVERIFY(lastBoxPlainText);
        buttons.clear();
        clickWhenShown("确定", &text, &buttons);
        error({qb::ErrorKind::ReplaceItself, "/src/a", {}, 0, false}, "不能用“/src/a”替换它自身");
        QCOMPARE(buttons, QStringList{"确定"});
    }

    // The questions and error sentences follow the interface's language; the C
    // locale keeps the program's own Chinese, an English one shows none of it and
    // keeps every file name and the system's reason.
    void textsFollowTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("en_US") << "en_US";
    }
    void textsFollowTheLocale() {
        QFETCH(QString, locale);
        useLocale(locale);
        QString text;
        QStringList buttons;
        clickWhenShown("<escape>", &text, &buttons);
        QCOMPARE(answerOf<ReplaceAnswer>([](auto reply) {
                     qb::qtOperationPrompts().askReplace(nullptr, info("/dst/a.txt", false, 1, 0),
                                                         info("/src/a.txt", false, 2, 0), reply);
                 }),
                 ReplaceAnswer::Cancel);
        const QString eio = QString::fromLocal8Bit(::strerror(EIO));
        const QString error =
            qb::operationErrorText(Op::Move, {qb::ErrorKind::Transfer, "/s/a", "/d/b", EIO, true});
        if (locale == "C") {
            QStringList want{"是", "全部是", "否", "全部否", "保留两者", "全部保留两者", "取消"};
            want.sort();
            buttons.sort();
            QCOMPARE(buttons, want);
            QCOMPARE(error, "无法将“/s/a”移动到“/d/b”：" + eio);
            return;
        }
        QCOMPARE(buttons.size(), 7);
        for (const QString& shown : buttons + QStringList{text, error})
            QVERIFY2(!hasChinese(shown), qPrintable(shown));
        QVERIFY2(text.contains("“a.txt”") &&
                     text.indexOf("/src/a.txt") < text.indexOf("/dst/a.txt"),
                 qPrintable(text));
        QVERIFY2(error.indexOf("/s/a") < error.indexOf("/d/b") && error.endsWith(eio),
                 qPrintable(error));
    }

    // A queue row counts its items as the language says; a slot's name is kept as
    // it is, even one that looks like a placeholder.
    void queueRowFollowsTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("items");
        QTest::addColumn<QString>("text");
        QTest::newRow("C") << "C" << 1 << "%2 docs　复制 1 项，…　等待中";
        QTest::newRow("one") << "en_US" << 1 << "%2 docs: Copy 1 item, … (Waiting)";
        QTest::newRow("several") << "en_US" << 3 << "%2 docs: Copy 3 items, … (Waiting)";
    }
    void queueRowFollowsTheLocale() {
        QFETCH(QString, locale);
        QFETCH(int, items);
        QFETCH(QString, text);
        useLocale(locale);
        qb::QueueRow row;
        row.slot = QStringLiteral("%2 docs");
        row.items = items;
        QCOMPARE(qb::queueRowText(row), text);
        useLocale();
    }

    // Every error reads as one sentence naming its files (and the system's reason).
    void errorTexts_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        using K = qb::ErrorKind;
        const QString eio = QString::fromLocal8Bit(::strerror(EIO));
        const auto row = [](const char* tag, Op op, K kind, int code, const QString& text) {
            QTest::newRow(tag) << int(op) << int(kind) << code << text;
        };
        row("not an item", Op::Copy, K::NotAnItem, EINVAL,
            "无法复制“/s/a”：它不是可以复制的项目。");
        row("destination", Op::Move, K::DestNotFolder, EIO, "目标“/s/a”不是可用的文件夹：" + eio);
        row("missing", Op::Copy, K::SourceMissing, EIO, "找不到“/s/a”：" + eio);
        row("into itself", Op::Move, K::IntoItself, 0,
            "不能把文件夹“/s/a”移动到它自身或它的子文件夹“/d/b”中。");
        row("itself", Op::Copy, K::ReplaceItself, 0,
            "不能用“/s/a”替换它自身：源和目标是同一个项目。");
        row("contains", Op::Move, K::ContainsItem, 0,
            "不能把“/s/a”移动到这里：目标中同名的文件夹“/d/b”包含它自身。");
        row("link", Op::Copy, K::LinkToReplaced, 0,
            "不能用链接“/s/a”替换“/d/b”：链接指向的正是这个文件，替换会毁掉它。");
        row("folder over file", Op::Copy, K::FolderOverFile, 0,
            "“/d/b”是一个文件，不能用同名文件夹“/s/a”替换它。");
        row("file over folder", Op::Copy, K::FileOverFolder, 0,
            "“/d/b”是一个文件夹，不能用同名文件“/s/a”替换它。");
        row("read", Op::Copy, K::ReadFolder, EIO, "无法读取文件夹“/s/a”：" + eio);
        row("create", Op::Copy, K::CreateFolder, EIO, "无法创建文件夹“/s/a”：" + eio);
        row("open", Op::Copy, K::OpenFolder, EIO, "无法打开文件夹“/s/a”：" + eio);
        row("examine", Op::Move, K::Examine, EIO, "无法移动“/s/a”：" + eio);
        row("transfer", Op::Move, K::Transfer, EIO, "无法将“/s/a”移动到“/d/b”：" + eio);
        row("unsupported", Op::Copy, K::Unsupported, ENOTSUP,
            "无法复制“/s/a”：不支持这种类型的文件。");
        row("changed", Op::Copy, K::Changed, 0, "无法复制“/s/a”：它在复制时被换成了别的文件。");
        row("remove", Op::Move, K::Remove, EIO, "无法删除“/s/a”：" + eio);
        row("remove folder", Op::Move, K::RemoveFolder, EIO, "无法删除文件夹“/s/a”：" + eio);
        row("verify, copy", Op::Copy, K::VerifyFailed, 0,
            "校验失败：从磁盘读回的“/d/b”与源文件“/s/a”不一致，已删除这份副本。");
        row("verify, move", Op::Move, K::VerifyFailed, 0,
            "校验失败：从磁盘读回的“/d/b”与源文件“/s/a”不一致，已删除这份副本，源文件保留。");
    }
    void errorTexts() {
        QFETCH(int, op);
        QFETCH(int, kind);
        QFETCH(int, code);
        QFETCH(QString, text);
        const qb::OpError e{qb::ErrorKind(kind), "/s/a", "/d/b", code, true};
        QCOMPARE(qb::operationErrorText(Op(op), e), text);
    }
};

QTEST_MAIN(TestFileOperation)
#include "tst_file_operation.moc"
